#pragma once

#include <cstddef>
#include <vector>

#include "engine/Ink.h"

namespace sumiro {

/// Points per stroke after normalization; every matching kernel relies on it.
inline constexpr std::ptrdiff_t kNormalizedPoints = 16;

/// Resamples a stroke to `count` points spaced evenly along its length (a dot gives copies of
/// its first point). `count` must not be negative.
Stroke resample(const Stroke& stroke, std::ptrdiff_t count = kNormalizedPoints);

/// Centres an ink on the origin and scales it into the unit box, every non-empty stroke
/// resampled to 16 points; thin axes are stretched only up to 35% of the larger extent.
Ink normalized(const Ink& ink);

/// The width and height of an ink's bounding box: -infinity both for an ink without points.
struct InkExtent {
    double width = 0.0, height = 0.0;
};
InkExtent inkExtent(const Ink& ink);

/// The mapping `normalized` applies to every point of an ink, from the ink's bounding box:
/// (x, y) goes to ((x - cx) / sx, (y - cy) / sy).
struct NormalizingBox {
    double cx = 0.0, cy = 0.0, sx = 1.0, sy = 1.0;
};

/// The mapping of `normalized` for `ink`; false when the ink has no point, one that is not
/// finite, or coordinates that `normalized` rescales first (beyond ±2^500, or thinner than
/// 2^-8), where no one box gives its numbers.
bool normalizingBox(const Ink& ink, NormalizingBox& box);

/// A non-empty stroke as `normalized` gives it within an ink of the given box: the same
/// numbers, so strokes of inks that share a box can be normalized one at a time.
Stroke normalizedStroke(const Stroke& stroke, const NormalizingBox& box);

/// `normalizedStroke` into `out`, with `lengths` as scratch: once both have grown, normalizing
/// more strokes allocates nothing.
void normalizeStrokeInto(const Stroke& stroke, const NormalizingBox& box, Stroke& out,
                         std::vector<double>& lengths);

}  // namespace sumiro
