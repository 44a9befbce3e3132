#pragma once

// Inner loops of the recognizer over the structure-of-arrays layout of TemplateSet. Each
// compares drawn strokes with a run of template strokes at once; SIMD variants are picked at
// run time from the processor.

#include <cstddef>

namespace sumiro::kernels {

/// Strokes a kernel call handles in one vector; runs are processed rounded up to a multiple.
inline constexpr std::size_t kLanes = 4;

/// Rounds a run length up to whole vectors.
constexpr std::size_t lanesFor(std::size_t count) { return (count + kLanes - 1) / kLanes * kLanes; }

/// Exactly `strokeDistance(a, b)`, bit for bit, for the n drawn strokes a = i (point p at
/// (ax[i * 16 + p], ay[i * 16 + p])) and the template strokes b = g in [begin, begin + count)
/// of a group laid out with `stride` (point p of stroke g at x[p * stride + g]); the group must
/// hold `lanesFor(count)` readable strokes from `begin`. Distance (i, g) goes to
/// out[i * pitch + g - begin]; `out` and `scratch` hold n * pitch entries, pitch at least
/// `lanesFor(count)`. Entries past `count` in a row are garbage.
void strokeDistances(const double* ax, const double* ay, std::size_t n, const double* x,
                     const double* y, std::size_t stride, std::size_t begin, std::size_t count,
                     std::size_t pitch, double* out, double* scratch);

/// Lower bounds of the same distances for one drawn stroke and the strokes g in [0, count),
/// from chunk centroids: `a` holds the drawn stroke's chunk centroids (all x, then all y), `cx`
/// and `cy` the template strokes' (chunk c of stroke g at [c * stride + g]). Each bound may
/// exceed the true distance by float rounding only (well below 1e-5).
void strokeBounds(const float* a, const float* cx, const float* cy, std::size_t stride,
                  std::size_t count, float* out);

}  // namespace sumiro::kernels
