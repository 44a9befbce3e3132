#pragma once

// Drawings for measuring recognition: ordinary ones, and ones written with strokes joined.
//
// Three models, so that what is tuned on one is measured on the others:
// - the tuning model draws from the sampled points of templates.json with the distortions of
//   the engine's test inks (engine/tests/DistortedInk.h): a small rotation and shear, jitter,
//   joins as straight pen paths, ordinary drawings with one stroke backwards and two strokes
//   swapped;
// - the test model draws from KanjiVG's own SVG paths: strokes sampled at a varying pen speed,
//   each stroke moved, scaled and turned a little on its own, a smooth elastic warp, another
//   affine distortion, smoothed jitter, and joins as curved pen paths sampled sparsely as a
//   fast-moving pen gives them;
// - the writer model draws the same way from another source's strokes, the stroke medians of
//   Make Me a Hanzi (hanzi-writer-data), whose shapes and proportions differ from KanjiVG's as a
//   person's hand does, and adds the faults of real writers: parts out of proportion, strokes
//   swapped (neighbours or not), strokes drawn backwards, and in sets of their own one stroke
//   left out or one stroke drawn in two.
// Which pairs of strokes are joined is the same in all three, the engine's model of connected
// writing (JoinedStrokes.h): consecutive pairs drawn one after another without replacement, a
// pair the likelier the shorter the pen's way from one stroke to the next.

#include <cstddef>
#include <random>
#include <vector>

#include "engine/Ink.h"

namespace sumiro::evaluation {

/// `count` distinct consecutive pairs of `model` (pair i joins stroke i and i + 1), ascending;
/// fewer when the model has fewer pairs.
std::vector<std::size_t> pickJoins(const Ink& model, std::size_t count, std::mt19937& random);

/// A drawing from strokes given as dense, evenly spaced points along KanjiVG's paths (KanjiVG
/// units), on a 300-point canvas, with the pairs `joins` drawn joined; an ordinary one
/// sometimes has two neighbouring strokes swapped or one stroke drawn backwards.
Ink testDrawing(const Ink& paths, const std::vector<std::size_t>& joins, std::mt19937& random);

/// The stroke-count faults of the writer model.
enum class WriterFault { none, strokeFewer, strokeMore };

/// A drawing from stroke medians (polylines through a few points, in KanjiVG's 109-unit box, y
/// downward), on a 300-point canvas, with the pairs `joins` drawn joined. Any drawing may have
/// parts out of proportion; an ordinary one (no joins) may have strokes swapped and drawn
/// backwards, and `fault` leaves one stroke out or splits one at its sharpest bend.
Ink writerDrawing(const Ink& medians, const std::vector<std::size_t>& joins, WriterFault fault,
                  std::mt19937& random);

}  // namespace sumiro::evaluation
