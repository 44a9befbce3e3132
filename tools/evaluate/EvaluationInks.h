#pragma once

// Drawings for measuring recognition: ordinary ones, and ones written with strokes joined.
//
// Two models that share no code path, so that what is tuned on one is measured on the other:
// - the tuning model draws from the sampled points of templates.json: a small rotation and
//   shear, jitter, joins as straight pen paths, ordinary drawings with one stroke backwards and
//   two strokes swapped (the model of the engine's distorted test inks);
// - the test model draws from KanjiVG's own SVG paths: strokes sampled at a varying pen speed,
//   each stroke moved, scaled and turned a little on its own, a smooth elastic warp, another
//   affine distortion, smoothed jitter, and joins as curved pen paths sampled sparsely as a
//   fast-moving pen gives them.
// Which pairs of strokes are joined is the same in both, the engine's model of connected writing
// (JoinedStrokes.h): consecutive pairs drawn one after another without replacement, a pair the
// likelier the shorter the pen's way from one stroke to the next.

#include <cstddef>
#include <random>
#include <string>
#include <vector>

#include "engine/Ink.h"

namespace sumiro::evaluation {

/// `count` distinct consecutive pairs of `model` (pair i joins stroke i and i + 1), ascending;
/// fewer when the model has fewer pairs.
std::vector<std::size_t> pickJoins(const Ink& model, std::size_t count, std::mt19937& random);

/// A drawing from a template's sampled points (KanjiVG units), on a 300-point canvas, with the
/// pairs `joins` drawn joined; an ordinary one (no joins) also has one stroke drawn backwards
/// and two strokes swapped.
Ink tuningDrawing(const Ink& model, const std::vector<std::size_t>& joins, std::mt19937& random);

/// A drawing from strokes given as dense, evenly spaced points along KanjiVG's paths (KanjiVG
/// units), on a 300-point canvas, with the pairs `joins` drawn joined; an ordinary one
/// sometimes has two neighbouring strokes swapped or one stroke drawn backwards.
Ink testDrawing(const Ink& paths, const std::vector<std::size_t>& joins, std::mt19937& random);

}  // namespace sumiro::evaluation
