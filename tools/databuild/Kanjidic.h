#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace sumiro::databuild {

/// What the builder takes from KANJIDIC2 for one kanji.
struct KanjidicEntry {
    int strokeCount = 0;           ///< The first (accepted) stroke count; 0 when absent.
    int classicalRadical = 0;      ///< The classical radical number; 0 when absent.
    int grade = 0;                 ///< 1-6 kyōiku, 8 other Jōyō, 9-10 Jinmeiyō; 0 when absent.
    bool jis208 = false;           ///< Has a JIS X 0208 code.
    std::vector<std::string> on;   ///< On readings in katakana.
    std::vector<std::string> kun;  ///< Kun readings in hiragana, "." and "-" marks kept.
    std::vector<std::string> meanings;  ///< English meanings (no m_lang), in the file's order.
};

/// KANJIDIC2 entries by code point, in ascending order.
using KanjidicTable = std::map<char32_t, KanjidicEntry>;

/// Parses a KANJIDIC2 XML document. Throws std::runtime_error naming `source` and the line of
/// the first problem (malformed XML, a character whose literal is not one code point).
KanjidicTable parseKanjidic(std::string_view xml, std::string_view source);

}  // namespace sumiro::databuild
