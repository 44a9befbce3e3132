#include "engine/MatchingKernels.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <utility>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "engine/JoinedStrokes.h"
#include "engine/StrokeMatching.h"
#include "engine/TemplateSet.h"

namespace sumiro::kernels {

namespace {
constexpr float kInf = std::numeric_limits<float>::infinity();
}  // namespace

// Lanes are template strokes; each lane sums its points in order, as strokeDistance does.
void portableStrokeDistances(const float* __restrict ax, const float* __restrict ay, std::size_t n,
                             const float* __restrict x, const float* __restrict y,
                             std::size_t stride, std::size_t begin, std::size_t count,
                             std::size_t pitch, float* __restrict out, float* __restrict scratch) {
    const std::size_t lanes = lanesFor(count);
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = 0; j < lanes; ++j) {
            out[i * pitch + j] = 0.0f;
            scratch[i * pitch + j] = 0.0f;
        }
    }
    for (std::size_t p = 0; p < kStrokePoints; ++p) {
        const float* fx = x + p * stride + begin;
        const float* fy = y + p * stride + begin;
        const float* rx = x + (kStrokePoints - 1 - p) * stride + begin;
        const float* ry = y + (kStrokePoints - 1 - p) * stride + begin;
        for (std::size_t i = 0; i < n; ++i) {
            const float px = ax[i * kStrokePoints + p];
            const float py = ay[i * kStrokePoints + p];
            float* forward = out + i * pitch;
            float* reverse = scratch + i * pitch;
            for (std::size_t j = 0; j < lanes; ++j) {
                const float dx = px - fx[j];
                const float dy = py - fy[j];
                const float ex = px - rx[j];
                const float ey = py - ry[j];
                forward[j] += std::sqrt(dx * dx + dy * dy);
                reverse[j] += std::sqrt(ex * ex + ey * ey);
            }
        }
    }
    constexpr auto penalty = static_cast<float>(kReversalPenalty);
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = 0; j < lanes; ++j) {
            const float reversed = scratch[i * pitch + j] + penalty;
            const float forward = out[i * pitch + j];
            const float best = reversed < forward ? reversed : forward;
            out[i * pitch + j] = best * (1.0f / kStrokePoints);
        }
    }
}

namespace {

#if defined(__x86_64__)
// The variants for processors with vector instructions take their square roots from the
// reciprocal square root estimate refined by one Newton step, not from the square root
// instruction: that one takes several cycles per vector, and the 32 of each pair of strokes kept
// the distances waiting on it (a third less time without). For r = (1 + e) / sqrt(x) and
// s = x * r, the step s * (3 - s * r) / 2 leaves a relative error of 1.5 e^2 plus a few
// roundings: with the AVX2 estimate's |e| <= 1.5 * 2^-12, under 4e-7 of the root (AVX-512's
// is closer, 2^-14). A point distance between normalized strokes is at most sqrt(2), so it and
// the mean of 16 are off by under 6e-7, which leaves the whole error well within
// kDistanceError. The halving is left to the end: each lane sums s * (3 - s * r), twice the
// distances, one multiply-add a point, and the sums are scaled once (by a power of two, exact).
// The square gets 1e-30 added, so that the estimate of a zero distance stays finite: its root
// comes out 1e-15, not 0 * infinity. Coordinates stay within kFarAway, so squares stay finite.
// Each lane still sums its points in order, and the pairing is chosen as strokeDistance
// chooses it (a NaN sum keeps the forward one).
constexpr float kTinySquare = 1e-30f;

// sum + twice the root of dx * dx + dy * dy, as above.
__attribute__((target("avx2,fma"))) inline __m256 addTwiceLength(__m256 sum, __m256 dx, __m256 dy) {
    const __m256 square =
        _mm256_fmadd_ps(dy, dy, _mm256_fmadd_ps(dx, dx, _mm256_set1_ps(kTinySquare)));
    const __m256 r = _mm256_rsqrt_ps(square);
    const __m256 s = _mm256_mul_ps(square, r);
    return _mm256_fmadd_ps(s, _mm256_fnmadd_ps(s, r, _mm256_set1_ps(3.0f)), sum);
}

// Eight template strokes at a time, each drawn stroke's sums kept in registers.
__attribute__((target("avx2,fma"))) void avx2StrokeDistances(
    const float* __restrict ax, const float* __restrict ay, std::size_t n,
    const float* __restrict x, const float* __restrict y, std::size_t stride, std::size_t begin,
    std::size_t count, std::size_t pitch, float* __restrict out, float*) {
    // Both in units of twice the distance.
    const __m256 penalty = _mm256_set1_ps(static_cast<float>(2.0 * kReversalPenalty));
    const __m256 mean = _mm256_set1_ps(0.5f / kStrokePoints);
    for (std::size_t j = 0; j < lanesFor(count); j += kLanes) {
        const float* bx = x + begin + j;
        const float* by = y + begin + j;
        for (std::size_t i = 0; i < n; ++i) {
            __m256 forward = _mm256_setzero_ps();
            __m256 reverse = _mm256_setzero_ps();
            for (std::size_t p = 0; p < kStrokePoints; ++p) {
                const std::size_t back = kStrokePoints - 1 - p;
                const __m256 px = _mm256_set1_ps(ax[i * kStrokePoints + p]);
                const __m256 py = _mm256_set1_ps(ay[i * kStrokePoints + p]);
                forward =
                    addTwiceLength(forward, _mm256_sub_ps(px, _mm256_loadu_ps(bx + p * stride)),
                                   _mm256_sub_ps(py, _mm256_loadu_ps(by + p * stride)));
                reverse =
                    addTwiceLength(reverse, _mm256_sub_ps(px, _mm256_loadu_ps(bx + back * stride)),
                                   _mm256_sub_ps(py, _mm256_loadu_ps(by + back * stride)));
            }
            // min(a, b) is b unless a < b: the reversed pairing only where it is less.
            const __m256 best = _mm256_min_ps(_mm256_add_ps(reverse, penalty), forward);
            _mm256_storeu_ps(out + i * pitch + j, _mm256_mul_ps(best, mean));
        }
    }
}

// GCC 12's AVX-512 intrinsics start some vectors from _mm512_undefined_*() on purpose, which its
// -Wmaybe-uninitialized then reports wherever they are inlined.
#if !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
// The same with AVX-512, sixteen template strokes at a time; the last eight of a run, if it
// has an odd number of eights, as above.
__attribute__((target("avx512f,avx2,fma"))) inline __m512 addTwiceLength(__m512 sum, __m512 dx,
                                                                         __m512 dy) {
    const __m512 square =
        _mm512_fmadd_ps(dy, dy, _mm512_fmadd_ps(dx, dx, _mm512_set1_ps(kTinySquare)));
    const __m512 r = _mm512_rsqrt14_ps(square);
    const __m512 s = _mm512_mul_ps(square, r);
    return _mm512_fmadd_ps(s, _mm512_fnmadd_ps(s, r, _mm512_set1_ps(3.0f)), sum);
}

__attribute__((target("avx512f,avx2,fma"))) void avx512StrokeDistances(
    const float* __restrict ax, const float* __restrict ay, std::size_t n,
    const float* __restrict x, const float* __restrict y, std::size_t stride, std::size_t begin,
    std::size_t count, std::size_t pitch, float* __restrict out, float* scratch) {
    constexpr std::size_t wide = 2 * kLanes;
    const __m512 penalty = _mm512_set1_ps(static_cast<float>(2.0 * kReversalPenalty));
    const __m512 mean = _mm512_set1_ps(0.5f / kStrokePoints);
    const std::size_t lanes = lanesFor(count);
    std::size_t j = 0;
    for (; j + wide <= lanes; j += wide) {
        const float* bx = x + begin + j;
        const float* by = y + begin + j;
        for (std::size_t i = 0; i < n; ++i) {
            __m512 forward = _mm512_setzero_ps();
            __m512 reverse = _mm512_setzero_ps();
            for (std::size_t p = 0; p < kStrokePoints; ++p) {
                const std::size_t back = kStrokePoints - 1 - p;
                const __m512 px = _mm512_set1_ps(ax[i * kStrokePoints + p]);
                const __m512 py = _mm512_set1_ps(ay[i * kStrokePoints + p]);
                forward =
                    addTwiceLength(forward, _mm512_sub_ps(px, _mm512_loadu_ps(bx + p * stride)),
                                   _mm512_sub_ps(py, _mm512_loadu_ps(by + p * stride)));
                reverse =
                    addTwiceLength(reverse, _mm512_sub_ps(px, _mm512_loadu_ps(bx + back * stride)),
                                   _mm512_sub_ps(py, _mm512_loadu_ps(by + back * stride)));
            }
            const __m512 best = _mm512_min_ps(_mm512_add_ps(reverse, penalty), forward);
            _mm512_storeu_ps(out + i * pitch + j, _mm512_mul_ps(best, mean));
        }
    }
    if (j < lanes) {
        avx2StrokeDistances(ax, ay, n, x, y, stride, begin + j, lanes - j, pitch, out + j, scratch);
    }
}
#if !defined(__clang__)
#pragma GCC diagnostic pop
#endif
#endif

}  // namespace

std::vector<StrokeDistancesFunction> strokeDistancesVariants() {
    std::vector<StrokeDistancesFunction> variants{portableStrokeDistances};
#if defined(__x86_64__)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma")) {
        variants.push_back(avx2StrokeDistances);
        if (__builtin_cpu_supports("avx512f")) {
            variants.push_back(avx512StrokeDistances);
        }
    }
#endif
    return variants;
}

void strokeDistances(const float* ax, const float* ay, std::size_t n, const float* x,
                     const float* y, std::size_t stride, std::size_t begin, std::size_t count,
                     std::size_t pitch, float* out, float* scratch) {
    static const StrokeDistancesFunction chosen = strokeDistancesVariants().back();
    chosen(ax, ay, n, x, y, stride, begin, count, pitch, out, scratch);
}

namespace {

#if defined(__x86_64__)
// Four drawn strokes of 16 points at a time, each lane doing what strokeDistance does: the
// products and sums separately (the build contracts nothing), correctly rounded roots, the
// sums in point order, the reversed pairing only where it is less.
__attribute__((target("avx2"))) void avx2ExactStrokeDistances(const Ink& a,
                                                              std::span<const InkPoint> b,
                                                              double* out, std::size_t pitch) {
    const std::size_t n = a.size();
    std::size_t i = 0;
    if (b.size() == kStrokePoints) {
        for (; i + 4 <= n; i += 4) {
            const Stroke& a0 = a[i];
            const Stroke& a1 = a[i + 1];
            const Stroke& a2 = a[i + 2];
            const Stroke& a3 = a[i + 3];
            if (a0.size() != kStrokePoints || a1.size() != kStrokePoints ||
                a2.size() != kStrokePoints || a3.size() != kStrokePoints) {
                break;
            }
            __m256d forward = _mm256_setzero_pd();
            __m256d reverse = _mm256_setzero_pd();
            for (std::size_t p = 0; p < kStrokePoints; ++p) {
                const __m256d ax = _mm256_set_pd(a3[p].x, a2[p].x, a1[p].x, a0[p].x);
                const __m256d ay = _mm256_set_pd(a3[p].y, a2[p].y, a1[p].y, a0[p].y);
                const InkPoint& f = b[p];
                const InkPoint& r = b[kStrokePoints - 1 - p];
                const __m256d fx = _mm256_sub_pd(ax, _mm256_set1_pd(f.x));
                const __m256d fy = _mm256_sub_pd(ay, _mm256_set1_pd(f.y));
                const __m256d rx = _mm256_sub_pd(ax, _mm256_set1_pd(r.x));
                const __m256d ry = _mm256_sub_pd(ay, _mm256_set1_pd(r.y));
                forward = _mm256_add_pd(
                    forward,
                    _mm256_sqrt_pd(_mm256_add_pd(_mm256_mul_pd(fx, fx), _mm256_mul_pd(fy, fy))));
                reverse = _mm256_add_pd(
                    reverse,
                    _mm256_sqrt_pd(_mm256_add_pd(_mm256_mul_pd(rx, rx), _mm256_mul_pd(ry, ry))));
            }
            const __m256d reversed = _mm256_add_pd(reverse, _mm256_set1_pd(kReversalPenalty));
            const __m256d best =
                _mm256_blendv_pd(forward, reversed, _mm256_cmp_pd(reversed, forward, _CMP_LT_OQ));
            alignas(32) double lanes[4];
            _mm256_store_pd(lanes, _mm256_div_pd(best, _mm256_set1_pd(kStrokePoints)));
            for (std::size_t l = 0; l < 4; ++l) {
                out[(i + l) * pitch] = lanes[l];
            }
        }
    }
    for (; i < n; ++i) {
        out[i * pitch] = strokeDistance(a[i], b);
    }
}
#endif

void portableExactStrokeDistances(const Ink& a, std::span<const InkPoint> b, double* out,
                                  std::size_t pitch) {
    for (std::size_t i = 0; i < a.size(); ++i) {
        out[i * pitch] = strokeDistance(a[i], b);
    }
}

using ExactFunction = void (*)(const Ink&, std::span<const InkPoint>, double*, std::size_t);

ExactFunction exactForThisProcessor() {
#if defined(__x86_64__)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2")) {
        return avx2ExactStrokeDistances;
    }
#endif
    return portableExactStrokeDistances;
}

}  // namespace

void exactStrokeDistances(const Ink& a, std::span<const InkPoint> b, double* out,
                          std::size_t pitch) {
    static const ExactFunction chosen = exactForThisProcessor();
    chosen(a, b, out, pitch);
}

namespace {

// The smaller of two values; a NaN in `b` leaves `a`.
inline float lesser(float a, float b) { return b < a ? b : a; }

// The bounds' fixed point. An octagonal length is max(|dx|, |dy|, (|dx| + |dy|) * 46340 / 65536),
// 46340 / 65536 being just below 1 / sqrt(2): at most the Euclidean length, within 8% of it. A
// pair's bound is kept as four times the mean chunk distance (the sum of the four chunk
// lengths), so rows and columns come out in units of length at 1 / (4 * 8192).
constexpr std::uint16_t kDiagonal = 46340;
// The reversal penalty per chunk sum, rounded down.
constexpr auto kFixedReversal =
    static_cast<std::uint16_t>(kReversalPenalty / kChunkPoints * kBoundScale);
constexpr float kFixedUnit = static_cast<float>(1.0 / (kChunks * kBoundScale));
constexpr std::uint16_t kFixedFar = 0xffff;

// |a - b| of a saturated difference, as an unsigned 16-bit number (32768 for -32768).
inline std::uint16_t fixedLength(std::int16_t a, std::int16_t b) {
    const int d = std::clamp(int{a} - int{b}, -32768, 32767);
    return static_cast<std::uint16_t>(d < 0 ? -d : d);
}

inline std::uint16_t addSaturated(std::uint16_t a, std::uint16_t b) {
    return static_cast<std::uint16_t>(std::min(unsigned{a} + unsigned{b}, 65535u));
}

inline std::uint16_t fixedOctagon(std::int16_t ax, std::int16_t bx, std::int16_t ay,
                                  std::int16_t by) {
    const std::uint16_t dx = fixedLength(ax, bx);
    const std::uint16_t dy = fixedLength(ay, by);
    const auto diagonal =
        static_cast<std::uint16_t>((std::uint32_t{addSaturated(dx, dy)} * kDiagonal) >> 16);
    return std::max({dx, dy, diagonal});
}

// Clears the outputs of one vector of templates.
void startBlock(std::size_t lanes, std::size_t j, std::size_t layers, std::size_t slots,
                float* rows, std::uint16_t* column) {
    for (std::size_t l = 0; l < layers; ++l) {
        std::fill_n(rows + l * lanes + j, kBoundLanes, 0.0f);
    }
    std::fill_n(column, slots * kBoundLanes, kFixedFar);
}

// Writes one vector of templates' column bounds in units of length.
void finishBlock(std::size_t lanes, std::size_t j, std::size_t slots, float* columns,
                 const std::uint16_t* column) {
    for (std::size_t q = 0; q < slots; ++q) {
        for (std::size_t k = 0; k < kBoundLanes; ++k) {
            columns[q * lanes + j + k] =
                static_cast<float>(column[q * kBoundLanes + k]) * kFixedUnit;
        }
    }
}

void scaleRows(std::size_t lanes, std::size_t layers, float* rows) {
    for (std::size_t k = 0; k < layers * lanes; ++k) {
        rows[k] *= kFixedUnit;
    }
}

}  // namespace

std::int16_t boundCoordinate(double v) {
    if (std::isnan(v)) {
        return 0;
    }
    return static_cast<std::int16_t>(
        std::clamp(std::nearbyint(v * kBoundScale), -32767.0, 32767.0));
}

// Lanes are templates of one group; one vector of them at a time, every drawn stroke against
// every slot, so that a vector's column minima stay in the scratch.
void portableTemplateBounds(const std::int16_t* __restrict a,
                            const std::int16_t* __restrict centroids, std::size_t n,
                            const BoundedGroup& g, std::size_t first, std::size_t count,
                            const std::uint32_t* __restrict layerEnd, std::size_t layers,
                            float* __restrict rows, float* __restrict columns,
                            std::uint16_t* __restrict scratch) {
    const std::size_t lanes = boundLanesFor(count);
    const std::size_t slots = layerEnd[layers - 1];
    const std::size_t chunkRow = g.slotCount * g.stride;
    std::uint16_t* __restrict column = scratch;
    std::uint16_t* __restrict nearest = scratch + slots * kBoundLanes;
    for (std::size_t j = 0; j < lanes; j += kBoundLanes) {
        startBlock(lanes, j, layers, slots, rows, column);
        for (std::size_t i = 0; i < n; ++i) {
            const std::int16_t* c = a + i * 2 * kChunks;
            std::fill_n(nearest, kBoundLanes, kFixedFar);
            std::size_t q = 0;
            for (std::size_t l = 0; l < layers; ++l) {
                for (; q < layerEnd[l]; ++q) {
                    const std::size_t at = q * g.stride + first + j;
                    for (std::size_t k = 0; k < kBoundLanes; ++k) {
                        std::uint16_t bound = 0;
                        if (l < g.chunkLayers) {
                            std::uint16_t forward = 0;
                            std::uint16_t reverse = kFixedReversal;
                            for (std::size_t h = 0; h < kChunks; ++h) {
                                const std::size_t to = h * chunkRow + at + k;
                                const std::size_t back = (kChunks - 1 - h) * chunkRow + at + k;
                                forward = addSaturated(
                                    forward,
                                    fixedOctagon(c[h], g.chunkX[to], c[kChunks + h], g.chunkY[to]));
                                reverse = addSaturated(
                                    reverse, fixedOctagon(c[h], g.chunkX[back], c[kChunks + h],
                                                          g.chunkY[back]));
                            }
                            bound = std::min(forward, reverse);
                        } else {
                            const std::uint16_t length =
                                fixedOctagon(centroids[2 * i], g.centroidX[at + k],
                                             centroids[2 * i + 1], g.centroidY[at + k]);
                            const std::uint16_t twice = addSaturated(length, length);
                            bound = addSaturated(twice, twice);
                        }
                        nearest[k] = std::min(nearest[k], bound);
                        column[q * kBoundLanes + k] = std::min(column[q * kBoundLanes + k], bound);
                    }
                }
                for (std::size_t k = 0; k < kBoundLanes; ++k) {
                    rows[l * lanes + j + k] += static_cast<float>(nearest[k]);
                }
            }
        }
        finishBlock(lanes, j, slots, columns, column);
    }
    scaleRows(lanes, layers, rows);
}

namespace {

#if defined(__x86_64__)
__attribute__((target("avx2"))) inline __m256i octagonOf(__m256i ax, __m256i bx, __m256i ay,
                                                         __m256i by) {
    const __m256i dx = _mm256_abs_epi16(_mm256_subs_epi16(ax, bx));
    const __m256i dy = _mm256_abs_epi16(_mm256_subs_epi16(ay, by));
    const __m256i diagonal = _mm256_mulhi_epu16(_mm256_adds_epu16(dx, dy),
                                                _mm256_set1_epi16(static_cast<short>(kDiagonal)));
    return _mm256_max_epu16(_mm256_max_epu16(dx, dy), diagonal);
}

__attribute__((target("avx2"))) inline __m256i load(const std::int16_t* at) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
}

__attribute__((target("avx2"))) void avx2TemplateBounds(
    const std::int16_t* __restrict a, const std::int16_t* __restrict centroids, std::size_t n,
    const BoundedGroup& g, std::size_t first, std::size_t count,
    const std::uint32_t* __restrict layerEnd, std::size_t layers, float* __restrict rows,
    float* __restrict columns, std::uint16_t* __restrict scratch) {
    const std::size_t lanes = boundLanesFor(count);
    const std::size_t slots = layerEnd[layers - 1];
    const std::size_t chunkRow = g.slotCount * g.stride;
    const __m256i reversal = _mm256_set1_epi16(static_cast<short>(kFixedReversal));
    std::uint16_t* __restrict column = scratch;
    for (std::size_t j = 0; j < lanes; j += kBoundLanes) {
        startBlock(lanes, j, layers, slots, rows, column);
        for (std::size_t i = 0; i < n; ++i) {
            const std::int16_t* c = a + i * 2 * kChunks;
            const __m256i a0 = _mm256_set1_epi16(c[0]), a1 = _mm256_set1_epi16(c[1]);
            const __m256i a2 = _mm256_set1_epi16(c[2]), a3 = _mm256_set1_epi16(c[3]);
            const __m256i b0 = _mm256_set1_epi16(c[4]), b1 = _mm256_set1_epi16(c[5]);
            const __m256i b2 = _mm256_set1_epi16(c[6]), b3 = _mm256_set1_epi16(c[7]);
            const __m256i px = _mm256_set1_epi16(centroids[2 * i]);
            const __m256i py = _mm256_set1_epi16(centroids[2 * i + 1]);
            __m256i nearest = _mm256_set1_epi16(-1);
            std::size_t q = 0;
            for (std::size_t l = 0; l < layers; ++l) {
                if (l < g.chunkLayers) {
                    for (; q < layerEnd[l]; ++q) {
                        const std::size_t at = q * g.stride + first + j;
                        const __m256i x0 = load(g.chunkX + at);
                        const __m256i x1 = load(g.chunkX + chunkRow + at);
                        const __m256i x2 = load(g.chunkX + 2 * chunkRow + at);
                        const __m256i x3 = load(g.chunkX + 3 * chunkRow + at);
                        const __m256i y0 = load(g.chunkY + at);
                        const __m256i y1 = load(g.chunkY + chunkRow + at);
                        const __m256i y2 = load(g.chunkY + 2 * chunkRow + at);
                        const __m256i y3 = load(g.chunkY + 3 * chunkRow + at);
                        const __m256i forward = _mm256_adds_epu16(
                            _mm256_adds_epu16(octagonOf(a0, x0, b0, y0), octagonOf(a1, x1, b1, y1)),
                            _mm256_adds_epu16(octagonOf(a2, x2, b2, y2),
                                              octagonOf(a3, x3, b3, y3)));
                        const __m256i reverse = _mm256_adds_epu16(
                            _mm256_adds_epu16(
                                _mm256_adds_epu16(octagonOf(a0, x3, b0, y3), reversal),
                                octagonOf(a1, x2, b1, y2)),
                            _mm256_adds_epu16(octagonOf(a2, x1, b2, y1),
                                              octagonOf(a3, x0, b3, y0)));
                        const __m256i bound = _mm256_min_epu16(forward, reverse);
                        nearest = _mm256_min_epu16(nearest, bound);
                        auto* slot = reinterpret_cast<__m256i*>(column + q * kBoundLanes);
                        _mm256_storeu_si256(slot,
                                            _mm256_min_epu16(_mm256_loadu_si256(slot), bound));
                    }
                } else {
                    for (; q < layerEnd[l]; ++q) {
                        const std::size_t at = q * g.stride + first + j;
                        const __m256i length =
                            octagonOf(px, load(g.centroidX + at), py, load(g.centroidY + at));
                        const __m256i twice = _mm256_adds_epu16(length, length);
                        const __m256i bound = _mm256_adds_epu16(twice, twice);
                        nearest = _mm256_min_epu16(nearest, bound);
                        auto* slot = reinterpret_cast<__m256i*>(column + q * kBoundLanes);
                        _mm256_storeu_si256(slot,
                                            _mm256_min_epu16(_mm256_loadu_si256(slot), bound));
                    }
                }
                float* row = rows + l * lanes + j;
                const __m256 low =
                    _mm256_cvtepi32_ps(_mm256_cvtepu16_epi32(_mm256_castsi256_si128(nearest)));
                const __m256 high =
                    _mm256_cvtepi32_ps(_mm256_cvtepu16_epi32(_mm256_extracti128_si256(nearest, 1)));
                _mm256_storeu_ps(row, _mm256_add_ps(_mm256_loadu_ps(row), low));
                _mm256_storeu_ps(row + 8, _mm256_add_ps(_mm256_loadu_ps(row + 8), high));
            }
        }
        finishBlock(lanes, j, slots, columns, column);
    }
    scaleRows(lanes, layers, rows);
}
#endif

using TemplateBoundsFunction = void (*)(const std::int16_t*, const std::int16_t*, std::size_t,
                                        const BoundedGroup&, std::size_t, std::size_t,
                                        const std::uint32_t*, std::size_t, float*, float*,
                                        std::uint16_t*);

TemplateBoundsFunction templateBoundsForThisProcessor() {
#if defined(__x86_64__)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2")) {
        return avx2TemplateBounds;
    }
#endif
    return portableTemplateBounds;
}

}  // namespace

void templateBounds(const std::int16_t* a, const std::int16_t* centroids, std::size_t n,
                    const BoundedGroup& g, std::size_t first, std::size_t count,
                    const std::uint32_t* layerEnd, std::size_t layers, float* rows, float* columns,
                    std::uint16_t* scratch) {
    static const TemplateBoundsFunction chosen = templateBoundsForThisProcessor();
    chosen(a, centroids, n, g, first, count, layerEnd, layers, rows, columns, scratch);
}

// Stroke by stroke, the least cost of covering the first s strokes with j joins, for every
// template at once.
__attribute__((target_clones("avx2", "default"))) void leastJoinedCosts(
    const float* __restrict costs, std::size_t strokes, std::size_t joins, std::size_t lanes,
    float* __restrict out, float* __restrict scratch) {
    const std::size_t states = (strokes + 1) * (joins + 1);
    float* __restrict least = scratch;
    for (std::size_t k = 0; k < states * lanes; ++k) {
        least[k] = kInf;
    }
    for (std::size_t k = 0; k < lanes; ++k) {
        least[k] = 0.0f;
    }
    for (std::size_t s = 0; s < strokes; ++s) {
        for (std::size_t j = 0; j <= joins; ++j) {
            const float* __restrict from = least + (s * (joins + 1) + j) * lanes;
            for (std::size_t length = 1; s + length <= strokes && j + length - 1 <= joins;
                 ++length) {
                const float* __restrict cost = costs + pieceSlot(strokes, s, length) * lanes;
                float* __restrict to =
                    least + ((s + length) * (joins + 1) + j + length - 1) * lanes;
                for (std::size_t k = 0; k < lanes; ++k) {
                    to[k] = lesser(to[k], from[k] + cost[k]);
                }
            }
        }
    }
    for (std::size_t j = 0; j <= joins; ++j) {
        const float* __restrict total = least + (strokes * (joins + 1) + j) * lanes;
        for (std::size_t k = 0; k < lanes; ++k) {
            out[j * lanes + k] = total[k];
        }
    }
}

namespace {

// Shortest augmenting paths with row and column potentials, started from the columns' least
// entries: each column's potential is its least entry (with every row's zero, a feasible dual
// solution), and a column whose least entry lies in a row not yet matched is matched to it. A
// drawing usually lies nearest to different strokes of a close template, so most rows start
// matched and only the others need a path. Columns already on a path are kept out of the search
// by an infinite `blocked` addend instead of a branch, and their `minv` is infinite, so the scans
// over all columns vectorize.
//
// Every step keeps the potentials feasible (u[i] + v[j] <= cell(i, j) for all rows and columns),
// so their sum bounds the cost from below all along; each step of a path raises it by the step's
// delta, which v[0] (the path's root) records with its sign changed.
__attribute__((target_clones("avx2", "default"))) double anySideAssignment(const double* cells,
                                                                           std::size_t n,
                                                                           AssignmentScratch& w,
                                                                           double giveUp) {
    constexpr double inf = std::numeric_limits<double>::infinity();
    if (n == 0) {
        return 0.0;
    }
    w.u.assign(n + 1, 0.0);
    w.v.assign(n + 1, 0.0);
    w.p.assign(n + 1, 0);
    w.way.assign(n + 1, 0);
    w.matched.assign(n + 1, 0);
    w.minv.resize(n + 1);
    w.blocked.resize(n + 1);
    w.used.reserve(n + 1);
    double* __restrict u = w.u.data();
    double* __restrict v = w.v.data();
    double* __restrict minv = w.minv.data();
    double* __restrict blocked = w.blocked.data();
    std::uint32_t* __restrict p = w.p.data();
    std::uint64_t* __restrict way = w.way.data();
    std::uint32_t* __restrict matched = w.matched.data();

    // Rows and columns count from 1 below; row i is cells[(i - 1) * n, + n). Each column's
    // least entry and its first row, row by row so that the columns go in vectors, and whether
    // every entry is finite (a product with zero is zero only for those).
    double* __restrict least = v + 1;
    std::uint64_t* __restrict at = way + 1;
    double finite = 0.0;
    for (std::size_t j = 0; j < n; ++j) {
        least[j] = cells[j];
        at[j] = 1;
        finite += cells[j] * 0.0;
    }
    for (std::size_t i = 2; i <= n; ++i) {
        const double* __restrict row = cells + (i - 1) * n;
        for (std::size_t j = 0; j < n; ++j) {
            const bool less = row[j] < least[j];
            least[j] = less ? row[j] : least[j];
            at[j] = less ? i : at[j];
            finite += row[j] * 0.0;
        }
    }
    if (finite != 0.0) {
        return inf;
    }
    double start = 0.0;
    for (std::size_t j = 1; j <= n; ++j) {
        start += v[j];
        const auto row = static_cast<std::uint32_t>(way[j]);
        if (matched[row] == 0) {
            matched[row] = static_cast<std::uint32_t>(j);
            p[j] = row;
        }
    }
    const auto lowerBound = [&] { return (start - v[0]) / static_cast<double>(n); };
    for (std::size_t i = 1; i <= n; ++i) {
        if (lowerBound() > giveUp) {
            break;
        }
        if (matched[i] != 0) {
            continue;
        }
        p[0] = static_cast<std::uint32_t>(i);
        std::uint32_t j0 = 0;
        for (std::size_t j = 0; j <= n; ++j) {
            minv[j] = inf;
            blocked[j] = 0.0;
        }
        w.used.clear();
        do {
            w.used.push_back(j0);
            blocked[j0] = inf;
            minv[j0] = inf;
            const std::uint32_t i0 = p[j0];
            const double ui = u[i0];
            const double* row = cells + (i0 - 1) * n - 1;
            for (std::size_t j = 1; j <= n; ++j) {
                const double cur = row[j] - ui - v[j] + blocked[j];
                const bool better = cur < minv[j];
                minv[j] = better ? cur : minv[j];
                way[j] = better ? j0 : way[j];
            }
            double delta = inf;
            for (std::size_t j = 1; j <= n; ++j) {
                delta = std::min(delta, minv[j]);
            }
            std::uint32_t j1 = 0;
            for (std::size_t j = 1; j <= n; ++j) {
                if (minv[j] == delta) {
                    j1 = static_cast<std::uint32_t>(j);
                    break;
                }
            }
            if (j1 == 0) {
                return inf;  // only with overflowing potentials
            }
            for (const std::uint32_t j : w.used) {
                u[p[j]] += delta;
                v[j] -= delta;
            }
            for (std::size_t j = 1; j <= n; ++j) {
                minv[j] -= delta;
            }
            j0 = j1;
        } while (p[j0] != 0);
        do {
            const auto j1 = static_cast<std::uint32_t>(way[j0]);
            p[j0] = p[j1];
            j0 = j1;
        } while (j0 != 0);
    }
    return lowerBound();
}

#if defined(__x86_64__)
// anySideAssignment for sides up to 32 (every matrix of nearly every recognition), with the
// columns' potentials, least reduced costs and path links held in vectors of four lanes: a
// step of a path is then a few vector operations where the loops over the columns took a few
// hundred cycles (the least reduced cost and its first column alone, scalar, a quarter of
// them). The same operations on the same values in the same order, so the same bits: lanes of
// columns already on the path, or past the side, are masked out instead of made infinite.
// Column j (from 1) is lane (j - 1) % 4 of vector (j - 1) / 4, bit j - 1 of a mask; a mask's
// vector comes from a table, and the first column of the least cost from the sign bits. (Eight
// lanes with AVX-512 were no faster here: the sides average 12.)
alignas(32) constexpr std::int64_t kLaneMasks[16][4] = {
    {0, 0, 0, 0},   {-1, 0, 0, 0},   {0, -1, 0, 0},   {-1, -1, 0, 0},
    {0, 0, -1, 0},  {-1, 0, -1, 0},  {0, -1, -1, 0},  {-1, -1, -1, 0},
    {0, 0, 0, -1},  {-1, 0, 0, -1},  {0, -1, 0, -1},  {-1, -1, 0, -1},
    {0, 0, -1, -1}, {-1, 0, -1, -1}, {0, -1, -1, -1}, {-1, -1, -1, -1}};

__attribute__((target("avx2"))) inline __m256d laneMask(std::uint32_t mask, std::size_t k) {
    return _mm256_castsi256_pd(
        _mm256_load_si256(reinterpret_cast<const __m256i*>(kLaneMasks[(mask >> (4 * k)) & 15])));
}

template <std::size_t K>
__attribute__((target("avx2"))) double vectorAssignment(const double* cells, std::size_t n,
                                                        double giveUp) {
    constexpr double inf = std::numeric_limits<double>::infinity();
    const std::uint32_t valid = n == 32 ? ~0u : (1u << n) - 1;
    const auto load = [&](std::size_t i, __m256d * row) __attribute__((target("avx2"))) {
        for (std::size_t k = 0; k < K; ++k) {
            row[k] = _mm256_maskload_pd(cells + (i - 1) * n + 4 * k,
                                        _mm256_castpd_si256(laneMask(valid, k)));
        }
    };

    // The columns' least entries and their first rows; whether every entry is finite.
    __m256d v[K];
    __m256d at[K];  // rows, as integers
    load(1, v);
    const __m256d zero = _mm256_setzero_pd();
    __m256d finite = zero;
    for (std::size_t k = 0; k < K; ++k) {
        at[k] = _mm256_castsi256_pd(_mm256_set1_epi64x(1));
        finite = _mm256_add_pd(finite, _mm256_mul_pd(v[k], zero));
    }
    for (std::size_t i = 2; i <= n; ++i) {
        __m256d row[K];
        load(i, row);
        const __m256d index = _mm256_castsi256_pd(_mm256_set1_epi64x(static_cast<long long>(i)));
        for (std::size_t k = 0; k < K; ++k) {
            const __m256d less = _mm256_cmp_pd(row[k], v[k], _CMP_LT_OQ);
            v[k] = _mm256_blendv_pd(v[k], row[k], less);
            at[k] = _mm256_blendv_pd(at[k], index, less);
            finite = _mm256_add_pd(finite, _mm256_mul_pd(row[k], zero));
        }
    }
    if (_mm256_movemask_pd(_mm256_cmp_pd(finite, zero, _CMP_NEQ_UQ)) != 0) {
        return inf;
    }
    alignas(32) std::array<double, 4 * K> least;
    alignas(32) std::array<std::uint64_t, 4 * K> way;
    for (std::size_t k = 0; k < K; ++k) {
        _mm256_store_pd(&least[4 * k], v[k]);
        _mm256_store_pd(reinterpret_cast<double*>(&way[4 * k]), at[k]);
    }
    std::array<double, 4 * K + 1> u{};
    std::array<std::uint32_t, 4 * K + 1> p{};
    std::array<std::uint32_t, 4 * K + 1> matched{};
    double start = 0.0;
    for (std::size_t j = 1; j <= n; ++j) {
        start += least[j - 1];
        const auto row = static_cast<std::uint32_t>(way[j - 1]);
        if (matched[row] == 0) {
            matched[row] = static_cast<std::uint32_t>(j);
            p[j] = row;
        }
    }
    double root = 0.0;  // v[0]
    const auto lowerBound = [&] { return (start - root) / static_cast<double>(n); };
    const __m256d far = _mm256_set1_pd(inf);
    for (std::size_t i = 1; i <= n; ++i) {
        if (lowerBound() > giveUp) {
            break;
        }
        if (matched[i] != 0) {
            continue;
        }
        p[0] = static_cast<std::uint32_t>(i);
        std::uint32_t j0 = 0;
        std::uint32_t used = 0;  // the columns on the path
        __m256d minv[K];
        __m256d links[K];
        for (std::size_t k = 0; k < K; ++k) {
            minv[k] = far;
            links[k] = zero;
        }
        do {
            if (j0 != 0) {
                used |= 1u << (j0 - 1);
            }
            const std::uint32_t open = valid & ~used;
            const std::uint32_t i0 = p[j0];
            const __m256d ui = _mm256_set1_pd(u[i0]);
            const __m256d from = _mm256_castsi256_pd(_mm256_set1_epi64x(j0));
            __m256d row[K];
            load(i0, row);
            // The least over the open columns, and the first column that has it.
            __m256d smallest = far;
            __m256d candidates[K];
            for (std::size_t k = 0; k < K; ++k) {
                const __m256d openLanes = laneMask(open, k);
                const __m256d cur = _mm256_sub_pd(_mm256_sub_pd(row[k], ui), v[k]);
                const __m256d better =
                    _mm256_and_pd(_mm256_cmp_pd(cur, minv[k], _CMP_LT_OQ), openLanes);
                minv[k] = _mm256_blendv_pd(minv[k], cur, better);
                links[k] = _mm256_blendv_pd(links[k], from, better);
                candidates[k] = _mm256_blendv_pd(far, minv[k], openLanes);
                smallest = _mm256_min_pd(smallest, candidates[k]);
            }
            smallest = _mm256_min_pd(smallest, _mm256_permute2f128_pd(smallest, smallest, 1));
            smallest = _mm256_min_pd(smallest, _mm256_permute_pd(smallest, 5));
            const double delta = _mm256_cvtsd_f64(smallest);
            const __m256d deltas = _mm256_set1_pd(delta);
            std::uint32_t reaching = 0;
            for (std::size_t k = 0; k < K; ++k) {
                const __m256d equal = _mm256_and_pd(
                    _mm256_cmp_pd(candidates[k], deltas, _CMP_EQ_OQ), laneMask(open, k));
                reaching |= static_cast<std::uint32_t>(_mm256_movemask_pd(equal)) << (4 * k);
            }
            if (reaching == 0) {
                return inf;  // only with overflowing potentials
            }
            const auto j1 = static_cast<std::uint32_t>(__builtin_ctz(reaching) + 1);
            // The potentials of the path's rows and columns, the root's included.
            u[p[0]] += delta;
            root -= delta;
            for (std::uint32_t rest = used; rest != 0; rest &= rest - 1) {
                u[p[__builtin_ctz(rest) + 1]] += delta;
            }
            for (std::size_t k = 0; k < K; ++k) {
                v[k] = _mm256_blendv_pd(v[k], _mm256_sub_pd(v[k], deltas), laneMask(used, k));
                minv[k] =
                    _mm256_blendv_pd(minv[k], _mm256_sub_pd(minv[k], deltas), laneMask(open, k));
            }
            j0 = j1;
        } while (p[j0] != 0);
        for (std::size_t k = 0; k < K; ++k) {
            _mm256_store_pd(reinterpret_cast<double*>(&way[4 * k]), links[k]);
        }
        do {
            const auto j1 = static_cast<std::uint32_t>(way[j0 - 1]);
            p[j0] = p[j1];
            j0 = j1;
        } while (j0 != 0);
    }
    return lowerBound();
}

// vectorAssignment<k> for k = 1 to 8 vectors, that is sides up to 32.
template <std::size_t... K>
constexpr auto vectorAssignments(std::index_sequence<K...>) {
    return std::array<double (*)(const double*, std::size_t, double), sizeof...(K)>{
        vectorAssignment<K + 1>...};
}

__attribute__((target("avx2"))) double avx2Assignment(const double* cells, std::size_t n,
                                                      AssignmentScratch& w, double giveUp) {
    static constexpr auto bySize = vectorAssignments(std::make_index_sequence<8>());
    const std::size_t vectors = (n + 3) / 4;
    if (n == 0 || vectors > bySize.size()) {
        return anySideAssignment(cells, n, w, giveUp);
    }
    return bySize[vectors - 1](cells, n, giveUp);
}
#endif

}  // namespace

std::vector<AssignmentFunction> assignmentVariants() {
    std::vector<AssignmentFunction> variants{anySideAssignment};
#if defined(__x86_64__)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2")) {
        variants.push_back(avx2Assignment);
    }
#endif
    return variants;
}

double assignment(const double* cells, std::size_t side, AssignmentScratch& scratch,
                  double giveUp) {
    static const AssignmentFunction chosen = assignmentVariants().back();
    return chosen(cells, side, scratch, giveUp);
}

}  // namespace sumiro::kernels
