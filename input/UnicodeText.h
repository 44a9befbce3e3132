#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace sumiro {

// The pad's text as the platforms type it: Unicode scalar values, decoded strictly by Qt.

/// Decodes UTF-16 into scalar values; nullopt on a lone or misordered surrogate.
std::optional<std::u32string> scalarsFromUtf16(std::u16string_view text);

/// Decodes strict UTF-8 (no overlongs, surrogates or values past U+10FFFF); nullopt when invalid.
std::optional<std::u32string> scalarsFromUtf8(std::string_view text);

}  // namespace sumiro
