#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace sumiro::databuild {

/// What the builder takes from the Unihan database for one code point.
struct UnihanEntry {
    /// kTotalStrokes: one value, or two (simplified form first, traditional second).
    std::vector<int> totalStrokes;
    /// Radical numbers of every kRSUnicode value, in order, the simplified-form marks dropped.
    std::vector<int> radicals;
    /// kJapaneseOn and kJapaneseKun: romanized readings in capitals.
    std::vector<std::string> japaneseOn;
    std::vector<std::string> japaneseKun;
    bool joyo = false;      ///< kJoyoKanji present.
    bool jinmeiyo = false;  ///< kJinmeiyoKanji present.
    bool jis0208 = false;   ///< kJis0 present: in JIS X 0208.
};

/// Unihan entries by code point, in ascending order.
using UnihanTable = std::map<char32_t, UnihanEntry>;

/// Adds the fields the builder uses from one Unihan_*.txt file to `table`; other fields are
/// ignored. Throws std::runtime_error naming `source` and the line of a malformed record.
void parseUnihan(std::string_view text, std::string_view source, UnihanTable& table);

}  // namespace sumiro::databuild
