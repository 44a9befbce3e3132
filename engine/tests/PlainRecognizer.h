#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "engine/CharacterDatabase.h"

namespace sumiro {

/// Sums over the strokes of `drawn` of the distance to the nearest stroke of `model` (rows),
/// and over the strokes of `model` of the distance to the nearest stroke of `drawn` (columns),
/// both by strokeDistance(drawn stroke, model stroke).
struct NearestSums {
    double rows = 0.0;
    double columns = 0.0;
};
NearestSums nearestSums(const Ink& drawn, const Ink& model);

/// The recognizer written the straightforward way: every template, and every number of joins
/// it may be written with, that passes the stroke-count filter gets its coarse score from
/// strokeDistance, its joins chosen by chooseJoins from its pieces' nearest drawn strokes, in
/// database order, then a stable sort. The reference that the optimized recognizer must match
/// candidate for candidate.
std::vector<std::string> plainRecognize(const CharacterDatabase& db, const Ink& ink,
                                        std::ptrdiff_t limit = CharacterDatabase::kDefaultLimit);

}  // namespace sumiro
