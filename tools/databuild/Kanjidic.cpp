#include "tools/databuild/Kanjidic.h"

#include <charconv>
#include <optional>
#include <stdexcept>

#include "tools/databuild/XmlReader.h"

namespace sumiro::databuild {
namespace {

int toInt(const std::string& text) {
    int value = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && ptr == text.data() + text.size() ? value : -1;
}

}  // namespace

KanjidicTable parseKanjidic(std::string_view xml, std::string_view source) {
    KanjidicTable table;
    XmlReader reader(xml, source);
    std::optional<KanjidicEntry> entry;
    // No code point reaches this value; it marks a character whose literal is still unknown.
    constexpr char32_t kNoLiteral = 0xFFFFFFFF;
    char32_t codePoint = kNoLiteral;
    bool sawRoot = false;

    auto number = [&](std::string_view what, int low, int high) {
        const std::string text = reader.text();
        const int value = toInt(text);
        if (value < low || value > high)
            reader.fail("bad " + std::string(what) + " '" + text + "'");
        return value;
    };

    while (reader.next()) {
        const std::string_view name = reader.name();
        if (!reader.isElementStart()) {
            if (name == "character" && entry) {
                if (codePoint == kNoLiteral) reader.fail("character without a literal");
                table[codePoint] = std::move(*entry);
                entry.reset();
            }
            continue;
        }
        if (name == "kanjidic2") {
            sawRoot = true;
        } else if (name == "character") {
            entry.emplace();
            codePoint = kNoLiteral;
        } else if (!entry) {
            continue;
        } else if (name == "literal") {
            const std::string literal = reader.text();
            const auto single = singleCodePoint(literal);
            if (!single) reader.fail("literal '" + literal + "' is not one character");
            codePoint = *single;
        } else if (name == "cp_value") {
            if (reader.attribute("cp_type") == "jis208") entry->jis208 = true;
        } else if (name == "rad_value") {
            if (reader.attribute("rad_type") == "classical")
                entry->classicalRadical = number("classical radical", 1, 214);
        } else if (name == "grade") {
            entry->grade = number("grade", 1, 10);
        } else if (name == "stroke_count") {
            // Later counts are common miscounts; the first is the accepted one.
            if (entry->strokeCount == 0) entry->strokeCount = number("stroke count", 1, 200);
        } else if (name == "reading") {
            const auto type = reader.attribute("r_type");
            if (type == "ja_on")
                entry->on.push_back(reader.text());
            else if (type == "ja_kun")
                entry->kun.push_back(reader.text());
        } else if (name == "meaning") {
            // Meanings in other languages carry their language; English ones carry none.
            if (!reader.attribute("m_lang")) {
                std::string meaning = reader.text();
                if (!meaning.empty()) entry->meanings.push_back(std::move(meaning));
            }
        }
    }
    if (!sawRoot) throw std::runtime_error(std::string(source) + ": not a KANJIDIC2 file");
    return table;
}

}  // namespace sumiro::databuild
