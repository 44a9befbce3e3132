#pragma once

#include <string>
#include <string_view>

namespace sumiro {

/// Appends `text` (UTF-8) to `out` as a JSON string literal; non-ASCII text is kept as is.
inline void appendJsonString(std::string& out, std::string_view text) {
    constexpr char hex[] = "0123456789abcdef";
    out += '"';
    for (const char c : text) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    out += "\\u00";
                    out += hex[(c >> 4) & 0xF];
                    out += hex[c & 0xF];
                } else {
                    out += c;
                }
        }
    }
    out += '"';
}

/// `text` (UTF-8) as a JSON string literal.
inline std::string jsonString(std::string_view text) {
    std::string out;
    appendJsonString(out, text);
    return out;
}

}  // namespace sumiro
