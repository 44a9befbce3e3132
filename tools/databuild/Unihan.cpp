#include "tools/databuild/Unihan.h"

#include <charconv>
#include <stdexcept>

namespace sumiro::databuild {
namespace {

std::vector<std::string_view> splitWords(std::string_view text) {
    std::vector<std::string_view> words;
    std::size_t pos = 0;
    while (pos < text.size()) {
        while (pos < text.size() && text[pos] == ' ') ++pos;
        const std::size_t end = std::min(text.find(' ', pos), text.size());
        if (end > pos) words.push_back(text.substr(pos, end - pos));
        pos = end;
    }
    return words;
}

bool parseInt(std::string_view text, int base, long& value) {
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    return ec == std::errc() && ptr == text.data() + text.size();
}

}  // namespace

void parseUnihan(std::string_view text, std::string_view source, UnihanTable& table) {
    std::size_t lineNumber = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty() || line.front() == '#') continue;

        auto fail = [&](const std::string& why) {
            throw std::runtime_error(std::string(source) + ":" + std::to_string(lineNumber) + ": " +
                                     why);
        };
        const std::size_t tab1 = line.find('\t');
        const std::size_t tab2 = tab1 == std::string_view::npos ? tab1 : line.find('\t', tab1 + 1);
        if (tab2 == std::string_view::npos) fail("expected code point, field and value");
        const std::string_view field = line.substr(tab1 + 1, tab2 - tab1 - 1);
        const std::string_view value = line.substr(tab2 + 1);

        enum class Field { strokes, radical, on, kun, joyo, jinmeiyo, jis0 } kind;
        if (field == "kTotalStrokes")
            kind = Field::strokes;
        else if (field == "kRSUnicode")
            kind = Field::radical;
        else if (field == "kJapaneseOn")
            kind = Field::on;
        else if (field == "kJapaneseKun")
            kind = Field::kun;
        else if (field == "kJoyoKanji")
            kind = Field::joyo;
        else if (field == "kJinmeiyoKanji")
            kind = Field::jinmeiyo;
        else if (field == "kJis0")
            kind = Field::jis0;
        else
            continue;

        long codePoint = 0;
        const std::string_view code = line.substr(0, tab1);
        if (!code.starts_with("U+") || !parseInt(code.substr(2), 16, codePoint) ||
            codePoint > 0x10FFFF)
            fail("bad code point '" + std::string(code) + "'");
        UnihanEntry& entry = table[static_cast<char32_t>(codePoint)];

        switch (kind) {
            case Field::strokes:
                entry.totalStrokes.clear();
                for (std::string_view word : splitWords(value)) {
                    long strokes = 0;
                    if (!parseInt(word, 10, strokes) || strokes <= 0 || strokes > 200)
                        fail("bad kTotalStrokes value '" + std::string(value) + "'");
                    entry.totalStrokes.push_back(static_cast<int>(strokes));
                }
                if (entry.totalStrokes.empty()) fail("empty kTotalStrokes");
                break;
            case Field::radical:
                // Values look like "75.4" or "120'.3": radical, optional simplified-form
                // apostrophe(s), then residual strokes.
                for (std::string_view word : splitWords(value)) {
                    std::string_view number = word.substr(0, word.find_first_of("'."));
                    long radical = 0;
                    if (!parseInt(number, 10, radical) || radical < 1 || radical > 214)
                        fail("bad kRSUnicode value '" + std::string(value) + "'");
                    entry.radicals.push_back(static_cast<int>(radical));
                }
                break;
            case Field::on:
                for (std::string_view word : splitWords(value)) entry.japaneseOn.emplace_back(word);
                break;
            case Field::kun:
                for (std::string_view word : splitWords(value))
                    entry.japaneseKun.emplace_back(word);
                break;
            case Field::joyo:
                entry.joyo = true;
                break;
            case Field::jinmeiyo:
                entry.jinmeiyo = true;
                break;
            case Field::jis0:
                entry.jis0208 = true;
                break;
        }
    }
}

}  // namespace sumiro::databuild
