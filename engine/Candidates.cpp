#include "engine/Candidates.h"

#include <algorithm>

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

}  // namespace sumiro
