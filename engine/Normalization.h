#pragma once

#include <cstddef>

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

}  // namespace sumiro
