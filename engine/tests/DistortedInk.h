#pragma once

#include <random>

#include "engine/InkTemplate.h"

namespace sumiro {

/// A drawing of a template as a hand might give it, on a 300-point canvas with mouse-like point
/// density: a small rotation and shear, jitter on every point, one stroke drawn backwards and
/// two strokes drawn in swapped order, all chosen from `random`.
Ink distortedInk(const InkTemplate& model, std::mt19937& random);

}  // namespace sumiro
