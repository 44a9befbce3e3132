#pragma once

#include <random>

#include "engine/Ink.h"

namespace sumiro {

/// A drawing of `model` (normalized coordinates: centred on the origin, about one unit across,
/// y downward) as a hand might give it, on a 300-point canvas with mouse-like point density: a
/// small rotation and shear and jitter on every point, all chosen from `random`; with
/// `reorder`, also one stroke drawn backwards and two strokes drawn in swapped order.
/// The recognizer's tests and benchmark draw their inks with it, and sumiro-evaluate its
/// tuning drawings.
Ink distortedInk(const Ink& model, std::mt19937& random, bool reorder = true);

}  // namespace sumiro
