#include "tools/databuild/DataBuilder.h"

#include <unicode/normalizer2.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "tools/JsonString.h"
#include "tools/databuild/KanaTransliterator.h"

namespace sumiro::databuild {
namespace {

constexpr std::string_view kReadingSeparator = "、";

bool hasLatin(std::string_view text) {
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); });
}

std::string readingOf(const UnihanEntry& unihan, const KanjidicEntry* kanjidic,
                      const KanaTransliterator& kana) {
    std::vector<std::string> parts;
    // Two marked readings may be written the same (こ and -こ).
    const auto add = [&](std::string part) {
        if (!part.empty() && std::find(parts.begin(), parts.end(), part) == parts.end())
            parts.push_back(std::move(part));
    };
    if (kanjidic) {
        for (const std::string& on : kanjidic->on) add(writtenReading(on));
        for (const std::string& kun : kanjidic->kun) add(writtenReading(kun));
    }
    if (parts.empty()) {
        // A romanization that the transform cannot fully turn into kana would show as a
        // garbled mix; such a reading is left out rather than shown wrong.
        for (const std::string& on : unihan.japaneseOn) {
            std::string converted = kana.katakana(on);
            if (!hasLatin(converted)) add(std::move(converted));
        }
        for (const std::string& kun : unihan.japaneseKun) {
            std::string converted = kana.hiragana(kun);
            if (!hasLatin(converted)) add(std::move(converted));
        }
    }
    std::string reading;
    for (const std::string& part : parts) {
        if (!reading.empty()) reading += kReadingSeparator;
        reading += part;
    }
    return reading;
}

CharacterRecord kanjiRecord(char32_t codePoint, const UnihanEntry& unihan,
                            const KanjidicEntry* kanjidic, const KanaTransliterator& kana) {
    CharacterRecord record;
    record.codePoint = codePoint;
    // Where Unihan gives two counts the second is the traditional form's, closer to Japanese use.
    record.count =
        kanjidic && kanjidic->strokeCount > 0 ? kanjidic->strokeCount : unihan.totalStrokes.back();
    auto addRadical = [&](int radical) {
        if (radical > 0 && std::find(record.radicals.begin(), record.radicals.end(), radical) ==
                               record.radicals.end())
            record.radicals.push_back(radical);
    };
    if (kanjidic) addRadical(kanjidic->classicalRadical);
    for (int radical : unihan.radicals) addRadical(radical);
    record.reading = readingOf(unihan, kanjidic, kana);
    if (kanjidic) record.meanings = kanjidic->meanings;
    const int grade = kanjidic ? kanjidic->grade : 0;
    const bool joyo = unihan.joyo || (grade >= 1 && grade <= 8);
    const bool jinmeiyo = unihan.jinmeiyo || grade == 9 || grade == 10;
    const bool jis0208 = unihan.jis0208 || (kanjidic && kanjidic->jis208);
    record.common = joyo;
    record.japanese = joyo || jinmeiyo || jis0208;
    return record;
}

/// The unified ideograph that a compatibility ideograph is canonically equivalent to, or 0.
char32_t canonicalEquivalent(char32_t codePoint) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
    if (U_FAILURE(status)) throw std::runtime_error("ICU NFC data unavailable");
    icu::UnicodeString decomposition;
    if (!nfc->getDecomposition(static_cast<UChar32>(codePoint), decomposition)) return 0;
    return decomposition.countChar32() == 1 ? static_cast<char32_t>(decomposition.char32At(0)) : 0;
}

void appendTenths(std::string& out, double value) {
    long long tenths = std::llround(value * 10.0);
    if (tenths < 0) {
        out += '-';
        tenths = -tenths;
    }
    out += std::to_string(tenths / 10);
    if (tenths % 10 != 0) {
        out += '.';
        out += static_cast<char>('0' + tenths % 10);
    }
}

}  // namespace

std::string writtenReading(std::string_view marked) {
    std::string stem;
    std::string okurigana;
    bool marks = false;
    for (const char c : marked) {
        if (c == '-') continue;
        if (c == '.' && !marks) {
            marks = true;
            continue;
        }
        (marks ? okurigana : stem) += c;
    }
    if (stem.empty() || okurigana.empty()) return stem + okurigana;
    return stem + '(' + okurigana + ')';
}

TemplateRecord buildTemplate(char32_t codePoint, const std::vector<std::string>& pathData) {
    TemplateRecord record{codePoint, {}};
    record.strokes.reserve(pathData.size());
    for (const std::string& data : pathData)
        record.strokes.push_back(
            SvgPath::parse(data).sample(kSampleSpacing, kMinStrokePoints, kMaxStrokePoints));
    return record;
}

bool isKana(char32_t c) {
    return (c >= 0x3041 && c <= 0x3096) || c == 0x309D || c == 0x309E ||
           (c >= 0x30A1 && c <= 0x30FA) || (c >= 0x30FC && c <= 0x30FE);
}

bool isObsoleteKana(char32_t c) { return c >= 0x30F7 && c <= 0x30FA; }

bool isSmallKana(char32_t c) {
    static constexpr char32_t small[] = {0x3041, 0x3043, 0x3045, 0x3047, 0x3049, 0x3063,
                                         0x3083, 0x3085, 0x3087, 0x308E, 0x3095, 0x3096,
                                         0x30A1, 0x30A3, 0x30A5, 0x30A7, 0x30A9, 0x30C3,
                                         0x30E3, 0x30E5, 0x30E7, 0x30EE, 0x30F5, 0x30F6};
    return std::find(std::begin(small), std::end(small), c) != std::end(small);
}

std::vector<CharacterRecord> buildCharacters(const UnihanTable& unihan,
                                             const KanjidicTable& kanjidic,
                                             const std::vector<TemplateRecord>& templates,
                                             const KanaTransliterator& kana) {
    std::vector<CharacterRecord> records;
    records.reserve(unihan.size() + 200);
    for (const auto& [codePoint, entry] : unihan) {
        if (entry.totalStrokes.empty()) continue;
        const auto found = kanjidic.find(codePoint);
        records.push_back(kanjiRecord(codePoint, entry,
                                      found == kanjidic.end() ? nullptr : &found->second, kana));
    }
    for (const TemplateRecord& drawing : templates) {
        const auto inUnihan = unihan.find(drawing.codePoint);
        if (!isKana(drawing.codePoint) ||
            (inUnihan != unihan.end() && !inUnihan->second.totalStrokes.empty()))
            continue;
        CharacterRecord record;
        record.codePoint = drawing.codePoint;
        record.count = static_cast<int>(drawing.strokes.size());
        record.reading = toUtf8(drawing.codePoint);
        // Kana stay out of the kanji lists (japanese false); the ordinary forms get the common
        // bonus so that a drawn あ ranks above ぁ, which normalizes to the same shape. The
        // voiced ヷヸヹヺ of obsolete kana are not written today.
        record.common = !isSmallKana(drawing.codePoint) && !isObsoleteKana(drawing.codePoint);
        records.push_back(std::move(record));
    }
    // Every other drawing (digits, Latin letters, punctuation, radical forms) gets a record of
    // its own, so that its details can be shown: its drawing's strokes, no reading, in no list
    // of Japanese characters. Digits are written as often as kana, so they are common: a drawn
    // "1" then ranks above the vertical strokes of l, I and 丨.
    std::vector<char32_t> known;
    known.reserve(records.size());
    for (const CharacterRecord& record : records) known.push_back(record.codePoint);
    std::sort(known.begin(), known.end());
    for (const TemplateRecord& drawing : templates) {
        if (std::binary_search(known.begin(), known.end(), drawing.codePoint)) continue;
        CharacterRecord record;
        record.codePoint = drawing.codePoint;
        record.count = static_cast<int>(drawing.strokes.size());
        record.common = drawing.codePoint >= U'0' && drawing.codePoint <= U'9';
        records.push_back(std::move(record));
        known.insert(std::upper_bound(known.begin(), known.end(), drawing.codePoint),
                     drawing.codePoint);
    }
    std::stable_sort(records.begin(), records.end(),
                     [](const CharacterRecord& a, const CharacterRecord& b) {
                         return a.codePoint < b.codePoint;
                     });
    // Compatibility ideographs (欄 U+F91D, a Jinmeiyō form) are read like the unified ideograph
    // they stand for, but neither source gives them readings; without these a reading search
    // would never find them.
    for (CharacterRecord& record : records) {
        if (!record.reading.empty()) continue;
        const char32_t unified = canonicalEquivalent(record.codePoint);
        if (unified == 0) continue;
        const auto found =
            std::lower_bound(records.begin(), records.end(), unified,
                             [](const CharacterRecord& r, char32_t c) { return r.codePoint < c; });
        if (found != records.end() && found->codePoint == unified) record.reading = found->reading;
    }
    return records;
}

std::string toUtf8(char32_t c) {
    std::string out;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
    return out;
}

std::string charactersJson(const std::vector<CharacterRecord>& records) {
    std::string out;
    out.reserve(records.size() * 96);
    out += "[\n";
    for (std::size_t i = 0; i < records.size(); ++i) {
        const CharacterRecord& r = records[i];
        out += "{\"character\":";
        appendJsonString(out, toUtf8(r.codePoint));
        out += ",\"count\":";
        out += std::to_string(r.count);
        out += ",\"radicals\":[";
        for (std::size_t k = 0; k < r.radicals.size(); ++k) {
            if (k) out += ',';
            out += std::to_string(r.radicals[k]);
        }
        out += "],\"reading\":";
        appendJsonString(out, r.reading);
        out += ",\"common\":";
        out += r.common ? "true" : "false";
        out += ",\"japanese\":";
        out += r.japanese ? "true" : "false";
        if (!r.meanings.empty()) {
            out += ",\"meanings\":[";
            for (std::size_t k = 0; k < r.meanings.size(); ++k) {
                if (k) out += ',';
                appendJsonString(out, r.meanings[k]);
            }
            out += ']';
        }
        out += i + 1 < records.size() ? "},\n" : "}\n";
    }
    out += "]\n";
    return out;
}

std::string templatesJson(const std::vector<TemplateRecord>& templates) {
    std::string out;
    out.reserve(templates.size() * 1600);
    out += "[\n";
    for (std::size_t i = 0; i < templates.size(); ++i) {
        const TemplateRecord& t = templates[i];
        out += "{\"character\":";
        appendJsonString(out, toUtf8(t.codePoint));
        out += ",\"strokes\":[";
        for (std::size_t s = 0; s < t.strokes.size(); ++s) {
            if (s) out += ',';
            out += '[';
            for (std::size_t p = 0; p < t.strokes[s].size(); ++p) {
                if (p) out += ',';
                out += '[';
                appendTenths(out, t.strokes[s][p].x);
                out += ',';
                appendTenths(out, t.strokes[s][p].y);
                out += ']';
            }
            out += ']';
        }
        out += i + 1 < templates.size() ? "]},\n" : "]}\n";
    }
    out += "]\n";
    return out;
}

}  // namespace sumiro::databuild
