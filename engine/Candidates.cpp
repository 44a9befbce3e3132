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
    static constexpr std::array<std::pair<std::string_view, std::string_view>, 24> kTwins{{
        {"ぁ", "あ"}, {"ぃ", "い"}, {"ぅ", "う"}, {"ぇ", "え"}, {"ぉ", "お"}, {"っ", "つ"},
        {"ゃ", "や"}, {"ゅ", "ゆ"}, {"ょ", "よ"}, {"ゎ", "わ"}, {"ゕ", "か"}, {"ゖ", "け"},
        {"ァ", "ア"}, {"ィ", "イ"}, {"ゥ", "ウ"}, {"ェ", "エ"}, {"ォ", "オ"}, {"ッ", "ツ"},
        {"ャ", "ヤ"}, {"ュ", "ユ"}, {"ョ", "ヨ"}, {"ヮ", "ワ"}, {"ヵ", "カ"}, {"ヶ", "ケ"},
    }};
    for (const auto& [smallForm, fullForm] : kTwins) {
        const auto wanted = std::find(ranked.begin(), ranked.end(), small ? smallForm : fullForm);
        const auto other = std::find(ranked.begin(), ranked.end(), small ? fullForm : smallForm);
        if (wanted != ranked.end() && other < wanted) {
            std::rotate(other, wanted, wanted + 1);
        }
    }
}

}  // namespace sumiro
