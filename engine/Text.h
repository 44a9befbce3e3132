#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace sumiro {

/// The canonical composition (NFC) of a UTF-8 text: canonically equivalent texts give the same
/// key, and comparing keys bytewise orders them by Unicode scalar values.
std::string canonicalKey(std::string_view utf8);

/// The text's Unicode scalars written "U+%04X" and joined by single blanks ("U+6728 U+20BB7").
std::string codeList(std::string_view utf8);

/// Number of UTF-16 code units the text takes (two for a supplementary-plane character).
std::size_t utf16Length(std::string_view utf8);

}  // namespace sumiro
