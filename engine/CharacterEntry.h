#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sumiro {

/// One record of the character inventory (characters.json).
struct CharacterEntry {
    std::string character;               ///< One user-perceived character, UTF-8.
    std::int64_t count = 0;              ///< Total stroke count.
    std::vector<std::int64_t> radicals;  ///< Classical radical numbers (1 to 214); may be empty.
    std::string reading;                 ///< Readings as one display text; empty when unknown.
    bool common = false;                 ///< In common use: listed first by lookups.
    bool japanese = false;               ///< Used in Japanese.
    friend bool operator==(const CharacterEntry&, const CharacterEntry&) = default;
};

}  // namespace sumiro
