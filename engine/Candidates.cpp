#include "engine/Candidates.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <utility>

#include "engine/Text.h"

namespace sumiro {

std::vector<std::string> distinctCandidates(const std::vector<std::string>& ranked) {
    std::vector<std::string> result;
    std::vector<std::string> seen;  // canonical keys of `result`; lists are short
    for (const std::string& candidate : ranked) {
        std::string key = canonicalKey(candidate);
        if (std::find(seen.begin(), seen.end(), key) == seen.end()) {
            seen.push_back(std::move(key));
            result.push_back(candidate);
        }
    }
    return result;
}

void orderKanaBySize(std::vector<std::string>& ranked, bool small) {
    // Each small kana, its full-size twin, and a kanji of the same shape if there is one.
    struct Twins {
        std::string_view small, full, kanji;
    };
    static constexpr std::array<Twins, 24> kTwins{{
        {"ぁ", "あ", ""},   {"ぃ", "い", ""},   {"ぅ", "う", ""},   {"ぇ", "え", ""},
        {"ぉ", "お", ""},   {"っ", "つ", ""},   {"ゃ", "や", ""},   {"ゅ", "ゆ", ""},
        {"ょ", "よ", ""},   {"ゎ", "わ", ""},   {"ゕ", "か", ""},   {"ゖ", "け", ""},
        {"ァ", "ア", ""},   {"ィ", "イ", "亻"}, {"ゥ", "ウ", ""},   {"ェ", "エ", "工"},
        {"ォ", "オ", "才"}, {"ッ", "ツ", ""},   {"ャ", "ヤ", ""},   {"ュ", "ユ", ""},
        {"ョ", "ヨ", ""},   {"ヮ", "ワ", ""},   {"ヵ", "カ", "力"}, {"ヶ", "ケ", ""},
    }};
    const auto at = [&](std::string_view character) {
        return character.empty() ? ranked.end()
                                 : std::find(ranked.begin(), ranked.end(), character);
    };
    for (const Twins& twins : kTwins) {
        const auto wanted = at(small ? twins.small : twins.full);
        // A kanji is hardly ever written small: a small drawing of its shape is the kana.
        const auto other = small ? std::min(at(twins.full), at(twins.kanji)) : at(twins.small);
        if (wanted != ranked.end() && other < wanted) {
            std::rotate(other, wanted, wanted + 1);
        }
    }
}

}  // namespace sumiro
