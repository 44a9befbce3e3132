#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace sumiro {

class CharacterDatabase;

/// Most strokes an ink may have, as on the pad's canvas: the assignment grows with their cube.
inline constexpr std::size_t kMaxStrokes = 64;

/// Microseconds on a monotonic clock; injected so tests can pin the reported time.
using MicrosecondClock = std::function<long long()>;

/// Answers one JSON Lines request `{"id": …, "strokes": [[[x, y], …], …]}` with one line
/// (without its newline): `{"id": …, "candidates": [...], "us": N}`, or `{"id": …, "error": …}`
/// when the request is malformed. An optional "box": [width, height] gives the area the ink was
/// written in, in its units, which tells small kana from their full-size twins. Other keys are
/// ignored. With
/// `distinct`, each character of the first `limit` candidates is listed once, at its best rank.
std::string answerRequest(std::string_view line, const CharacterDatabase& database,
                          std::ptrdiff_t limit, const MicrosecondClock& clock,
                          bool distinct = false);

}  // namespace sumiro
