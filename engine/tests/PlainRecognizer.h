#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "engine/CharacterDatabase.h"

namespace sumiro {

/// The recognizer written the straightforward way: every template that passes the stroke-count
/// filter gets its coarse score from strokeDistance, in database order, then a stable sort.
/// The reference that the optimized recognizer must match candidate for candidate.
std::vector<std::string> plainRecognize(const CharacterDatabase& db, const Ink& ink,
                                        std::ptrdiff_t limit = CharacterDatabase::kDefaultLimit);

}  // namespace sumiro
