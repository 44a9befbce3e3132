#pragma once

// Inner loops of the recognizer over the single-precision layout of TemplateSet. Each compares
// drawn strokes with many template strokes at once; SIMD variants are picked at run time from
// the processor.

#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <vector>

#include "engine/Ink.h"

namespace sumiro::kernels {

/// Strokes a kernel call handles in one vector; runs are processed rounded up to a multiple.
inline constexpr std::size_t kLanes = 8;

/// Rounds a run length up to whole vectors.
constexpr std::size_t lanesFor(std::size_t count) { return (count + kLanes - 1) / kLanes * kLanes; }

/// Largest difference between a distance of `strokeDistances` and `strokeDistance` of the
/// same strokes in double precision, for normalized strokes (coordinates within +-0.5); the
/// worst case of the single-precision rounding is below 1.5e-6 (16 additions of half an ulp
/// at sums below 32, plus rounded coordinates), typically 1e-8, and the square roots from an
/// estimate (MatchingKernels.cpp) add under 6e-7.
inline constexpr double kDistanceError = 5e-6;

/// `strokeDistance(a, b)` in single precision for the n drawn strokes a = i (point p at
/// (ax[i * 16 + p], ay[i * 16 + p])) and the template strokes b = g in [begin, begin + count)
/// of a group laid out with `stride` (point p of stroke g at x[p * stride + g]); the group must
/// hold `lanesFor(count)` readable strokes from `begin`. Distance (i, g) goes to
/// out[i * pitch + g - begin]; `out` and `scratch` hold n * pitch entries, pitch at least
/// `lanesFor(count)`. Entries past `count` in a row are garbage.
void strokeDistances(const float* ax, const float* ay, std::size_t n, const float* x,
                     const float* y, std::size_t stride, std::size_t begin, std::size_t count,
                     std::size_t pitch, float* out, float* scratch);

/// `strokeDistances` as processors without AVX2 compute it, for tests on processors with it.
void portableStrokeDistances(const float* ax, const float* ay, std::size_t n, const float* x,
                             const float* y, std::size_t stride, std::size_t begin,
                             std::size_t count, std::size_t pitch, float* out, float* scratch);

using StrokeDistancesFunction = void (*)(const float*, const float*, std::size_t, const float*,
                                         const float*, std::size_t, std::size_t, std::size_t,
                                         std::size_t, float*, float*);

/// Every variant of `strokeDistances` this processor can run, the portable one first, for tests:
/// `strokeDistances` runs the last.
std::vector<StrokeDistancesFunction> strokeDistancesVariants();

/// strokeDistance(a[i], b) for every drawn stroke i, to out[i * pitch]: the same operations in
/// the same order, so the same bits, four strokes at a time on processors with AVX2.
void exactStrokeDistances(const Ink& a, std::span<const InkPoint> b, double* out,
                          std::size_t pitch);

/// Templates one vector of the bound kernels handles: bounds work in 16-bit fixed point.
inline constexpr std::size_t kBoundLanes = 16;

/// Rounds a count of templates up to whole vectors of the bound kernels.
constexpr std::size_t boundLanesFor(std::size_t count) {
    return (count + kBoundLanes - 1) / kBoundLanes * kBoundLanes;
}

/// Fixed-point units per unit of length in the bounds. Normalized coordinates lie within +-0.5,
/// so differences stay far inside 16 bits and the sum of four chunk distances within 16
/// unsigned bits (at most 4 * sqrt(2) * 8192 = 46341).
inline constexpr double kBoundScale = 8192.0;

/// A coordinate in the bounds' fixed point: rounded to the nearest unit, clamped to +-32767
/// (kFarAway lands there), a NaN to 0. Clamping never lengthens a difference, and a pair whose
/// distance is not a number is never any stroke's nearest, so its bound may be anything.
std::int16_t boundCoordinate(double v);

/// How far a pair's bound may exceed the distance it bounds: rounding to fixed point moves a
/// difference by at most one unit on each axis, which moves an octagonal length by at most
/// sqrt(2) units, four chunk lengths by 5.66 units in all, that is 5.66 / (4 * 8192) of the
/// mean point distance.
inline constexpr double kBoundExcess = 1.8e-4;

/// Where the bounds of one group's templates read them (TemplateSet::Group), in fixed point:
/// chunk c of slot q of template k at chunkX/chunkY[(c * slotCount + q) * stride + k], the
/// slot's centroid at centroidX/centroidY[q * stride + k]. The slots of the first `chunkLayers`
/// layers are bounded from their chunks, those of later layers from their centroids alone.
struct BoundedGroup {
    const std::int16_t* chunkX;
    const std::int16_t* chunkY;
    const std::int16_t* centroidX;
    const std::int16_t* centroidY;
    std::size_t stride;
    std::size_t slotCount;
    std::size_t chunkLayers;
};

/// Lower bounds of the nearest-stroke sums of the coarse score, for the templates k in
/// [first, first + count) of a group, `first` a multiple of kBoundLanes, whose piece slots end
/// their layers at layerEnd[0 .. layers) (layer l: the slots of drawings with l joins). A
/// pair's bound comes from chunk centroids in the first g.chunkLayers layers (the sum of point
/// distances over a chunk is at least its size times the distance of the chunk centroids; the
/// reversed pairing matches chunk c with chunk 3 - c), from stroke centroids in the others (the
/// mean distance of two strokes, either pairing, is at least the distance of their centroids:
/// looser, at an eighth of the work). Lengths are octagonal (at most Euclidean, within 8%, no
/// square root) and in fixed point (boundCoordinate), sums saturating, which only lowers them.
/// `a` holds the n drawn strokes' chunk centroids (per stroke all x, then all y),
/// `centroids` their centroids (x, y), both in fixed point. With lanes = boundLanesFor(count):
/// rows[l * lanes + k - first] gets the sum over drawn strokes of the nearest slot of layers up
/// to l, columns[q * lanes + k - first] the nearest drawn stroke of slot q, for the slots of
/// those layers, in units of length. `scratch` holds (layerEnd[layers - 1] + 1) * kBoundLanes
/// entries. Each pair's bound may exceed its distance by kBoundExcess, a row's sum by float
/// rounding besides (relative 1e-6 at most).
void templateBounds(const std::int16_t* a, const std::int16_t* centroids, std::size_t n,
                    const BoundedGroup& g, std::size_t first, std::size_t count,
                    const std::uint32_t* layerEnd, std::size_t layers, float* rows, float* columns,
                    std::uint16_t* scratch);

/// `templateBounds` as processors without AVX2 compute it: the same integers, the same sums.
void portableTemplateBounds(const std::int16_t* a, const std::int16_t* centroids, std::size_t n,
                            const BoundedGroup& g, std::size_t first, std::size_t count,
                            const std::uint32_t* layerEnd, std::size_t layers, float* rows,
                            float* columns, std::uint16_t* scratch);

/// For `lanes` templates side by side (a multiple of kLanes) of `strokes` strokes and at most
/// `joins` joins, slot q's cost of template k at costs[q * lanes + k]: the least total cost of
/// the pieces of any set of exactly j joins, for j = 0 .. joins, to out[j * lanes + k] (slots
/// of runs that may not be joined must cost kFarAway or more, which then never yields less).
/// `scratch` holds (strokes + 1) * (joins + 1) * lanes floats.
void leastJoinedCosts(const float* costs, std::size_t strokes, std::size_t joins, std::size_t lanes,
                      float* out, float* scratch);

/// Working storage of `assignment`, reused between calls.
struct AssignmentScratch {
    std::vector<double> u, v, minv, blocked;
    std::vector<std::uint32_t> p, used, matched;
    std::vector<std::uint64_t> way;  // as wide as the doubles beside it, so both go in vectors
};

/// The cost of the best one-to-one pairing of rows with columns of the row-major square matrix
/// `cells` of the given side, divided by the side: the same method as assignmentCost, arranged
/// for vector instructions, so equal up to rounding (about 1e-13) but not bit for bit.
/// +infinity when an entry is not finite. Its potentials bound the cost from below all along,
/// so the search stops early, returning a value above `giveUp`, once that bound divided by the
/// side exceeds `giveUp`.
double assignment(const double* cells, std::size_t side, AssignmentScratch& scratch,
                  double giveUp = std::numeric_limits<double>::infinity());

using AssignmentFunction = double (*)(const double*, std::size_t, AssignmentScratch&, double);

/// Every variant of `assignment` this processor can run, for tests: `assignment` runs the last.
std::vector<AssignmentFunction> assignmentVariants();

}  // namespace sumiro::kernels
