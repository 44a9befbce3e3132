#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "tools/databuild/Kanjidic.h"
#include "tools/databuild/SvgPath.h"
#include "tools/databuild/Unihan.h"

namespace sumiro::databuild {

class KanaTransliterator;

/// One record of characters.json.
struct CharacterRecord {
    char32_t codePoint = 0;
    int count = 0;
    std::vector<int> radicals;
    std::string reading;
    bool common = false;
    bool japanese = false;
    std::vector<std::string> meanings;
    friend bool operator==(const CharacterRecord&, const CharacterRecord&) = default;
};

/// One record of templates.json: the strokes of one KanjiVG drawing, sampled.
struct TemplateRecord {
    char32_t codePoint = 0;
    std::vector<std::vector<PathPoint>> strokes;
};

/// Template sampling: about one point every this many units of length (KanjiVG draws in a
/// 109-unit box)...
inline constexpr double kSampleSpacing = 4.0;
/// ...but never fewer or more points than these per stroke. The engine resamples every stroke
/// to 16 points, so denser data would only cost load time.
inline constexpr int kMinStrokePoints = 12;
inline constexpr int kMaxStrokePoints = 24;

/// Samples every stroke's path data. Throws std::invalid_argument on bad path data.
TemplateRecord buildTemplate(char32_t codePoint, const std::vector<std::string>& pathData);

/// A KANJIDIC2 reading as people write it: the okurigana after its "." in parentheses
/// (み.る gives み(る)) and no "-" marking a prefix or suffix (ひと- gives ひと, -こ gives こ).
std::string writtenReading(std::string_view marked);

/// Whether a code point is hiragana or katakana that gets a record of its own.
bool isKana(char32_t codePoint);
/// Whether a kana is a small form (ぁ, ッ, ゕ...), which must not outrank its ordinary form.
bool isSmallKana(char32_t codePoint);

/// Merges the sources into the records of characters.json, in ascending code point order: one
/// per Unihan code point with a total stroke count, plus one per kana that has a template.
std::vector<CharacterRecord> buildCharacters(const UnihanTable& unihan,
                                             const KanjidicTable& kanjidic,
                                             const std::vector<TemplateRecord>& templates,
                                             const KanaTransliterator& kana);

/// The UTF-8 encoding of a code point.
std::string toUtf8(char32_t codePoint);

/// characters.json: a JSON array, one record per line, keys in a fixed order.
std::string charactersJson(const std::vector<CharacterRecord>& records);
/// templates.json: a JSON array, one template per line, coordinates rounded to 0.1.
std::string templatesJson(const std::vector<TemplateRecord>& templates);

}  // namespace sumiro::databuild
