#include "engine/MatchingKernels.h"

#include <algorithm>
#include <cmath>
#include <limits>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "engine/JoinedStrokes.h"
#include "engine/StrokeMatching.h"
#include "engine/TemplateSet.h"

namespace sumiro::kernels {

namespace {
// Largest float below 1/sqrt(2): (|dx| + |dy|) times it never exceeds the Euclidean length.
constexpr float kOctagon = 0.70710677f;
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
// The variant for processors with AVX2 takes its square roots from the reciprocal square root
// estimate refined by one Newton step, not from the square root instruction: that one takes
// several cycles per vector, and the 32 of each pair of strokes kept the distances waiting on
// it (a third less time without). For r = (1 + e) / sqrt(x) and s = x * r, the step
// s + (r / 2) * (x - s * s) leaves a relative error of 1.5 e^2 plus a few roundings: with the
// estimate's |e| <= 1.5 * 2^-12, under 4e-7 of the root. A point distance between normalized
// strokes is at most sqrt(2), so it and the mean of 16 are off by under 6e-7, which leaves the
// whole error well within kDistanceError. The square gets 1e-30 added, so that the estimate
// of a zero distance stays finite: its root comes out 1e-15, not 0 * infinity. Coordinates stay
// within kFarAway, so squares stay finite. Each lane still sums its points in order, and the
// pairing is chosen as strokeDistance chooses it (a NaN sum keeps the forward one).
constexpr float kTinySquare = 1e-30f;

// The root of dx * dx + dy * dy, as above.
__attribute__((target("avx2,fma"))) inline __m256 length(__m256 dx, __m256 dy) {
    const __m256 square =
        _mm256_fmadd_ps(dy, dy, _mm256_fmadd_ps(dx, dx, _mm256_set1_ps(kTinySquare)));
    const __m256 r = _mm256_rsqrt_ps(square);
    const __m256 s = _mm256_mul_ps(square, r);
    const __m256 error = _mm256_fnmadd_ps(s, s, square);
    return _mm256_fmadd_ps(_mm256_mul_ps(r, _mm256_set1_ps(0.5f)), error, s);
}

// Eight template strokes at a time, each drawn stroke's sums kept in registers.
__attribute__((target("avx2,fma"))) void avx2StrokeDistances(
    const float* __restrict ax, const float* __restrict ay, std::size_t n,
    const float* __restrict x, const float* __restrict y, std::size_t stride, std::size_t begin,
    std::size_t count, std::size_t pitch, float* __restrict out, float*) {
    const __m256 penalty = _mm256_set1_ps(static_cast<float>(kReversalPenalty));
    const __m256 mean = _mm256_set1_ps(1.0f / kStrokePoints);
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
                forward = _mm256_add_ps(
                    forward, length(_mm256_sub_ps(px, _mm256_loadu_ps(bx + p * stride)),
                                    _mm256_sub_ps(py, _mm256_loadu_ps(by + p * stride))));
                reverse = _mm256_add_ps(
                    reverse, length(_mm256_sub_ps(px, _mm256_loadu_ps(bx + back * stride)),
                                    _mm256_sub_ps(py, _mm256_loadu_ps(by + back * stride))));
            }
            // min(a, b) is b unless a < b: the reversed pairing only where it is less.
            const __m256 best = _mm256_min_ps(_mm256_add_ps(reverse, penalty), forward);
            _mm256_storeu_ps(out + i * pitch + j, _mm256_mul_ps(best, mean));
        }
    }
}
#endif

using StrokeDistancesFunction = void (*)(const float*, const float*, std::size_t, const float*,
                                         const float*, std::size_t, std::size_t, std::size_t,
                                         std::size_t, float*, float*);

StrokeDistancesFunction strokeDistancesForThisProcessor() {
#if defined(__x86_64__)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma")) {
        return avx2StrokeDistances;
    }
#endif
    return portableStrokeDistances;
}

}  // namespace

void strokeDistances(const float* ax, const float* ay, std::size_t n, const float* x,
                     const float* y, std::size_t stride, std::size_t begin, std::size_t count,
                     std::size_t pitch, float* out, float* scratch) {
    static const StrokeDistancesFunction chosen = strokeDistancesForThisProcessor();
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

// The octagonal norm: at most the Euclidean one, within 8% of it, without a square root.
inline float octagon(float dx, float dy) {
    dx = std::fabs(dx);
    dy = std::fabs(dy);
    const float larger = dx > dy ? dx : dy;
    const float diagonal = (dx + dy) * kOctagon;
    return larger > diagonal ? larger : diagonal;
}

// The smaller of two values; a NaN in `b` leaves `a`.
inline float lesser(float a, float b) { return b < a ? b : a; }

}  // namespace

// Lanes are templates of one group.
__attribute__((target_clones("avx2", "default"))) void templateBounds(
    const float* __restrict a, const float* __restrict centroids, std::size_t n,
    const BoundedGroup& g, std::size_t first, std::size_t count,
    const std::uint32_t* __restrict layerEnd, std::size_t layers, float* __restrict rows,
    float* __restrict columns, float* __restrict scratch) {
    constexpr auto reversal = static_cast<float>(kReversalPenalty / kChunkPoints);
    const std::size_t lanes = lanesFor(count);
    const std::size_t stride = g.stride;
    const std::size_t chunkRow = g.slotCount * stride;
    const float* __restrict cx = g.chunkX;
    const float* __restrict cy = g.chunkY;
    const float* __restrict px = g.centroidX;
    const float* __restrict py = g.centroidY;
    float* __restrict nearest = scratch;
    for (std::size_t k = 0; k < layers * lanes; ++k) {
        rows[k] = 0.0f;
    }
    for (std::size_t k = 0; k < layerEnd[layers - 1] * lanes; ++k) {
        columns[k] = kInf;
    }
    for (std::size_t i = 0; i < n; ++i) {
        const float* c = a + i * 2 * kChunks;
        const float a0 = c[0], a1 = c[1], a2 = c[2], a3 = c[3];
        const float b0 = c[4], b1 = c[5], b2 = c[6], b3 = c[7];
        const float ax = centroids[2 * i];
        const float ay = centroids[2 * i + 1];
        for (std::size_t k = 0; k < lanes; ++k) {
            nearest[k] = kInf;
        }
        std::size_t q = 0;
        for (std::size_t l = 0; l < layers; ++l) {
            if (l < g.chunkLayers) {
                for (; q < layerEnd[l]; ++q) {
                    const std::size_t at = q * stride + first;
                    const float* __restrict x0 = cx + at;
                    const float* __restrict x1 = cx + chunkRow + at;
                    const float* __restrict x2 = cx + 2 * chunkRow + at;
                    const float* __restrict x3 = cx + 3 * chunkRow + at;
                    const float* __restrict y0 = cy + at;
                    const float* __restrict y1 = cy + chunkRow + at;
                    const float* __restrict y2 = cy + 2 * chunkRow + at;
                    const float* __restrict y3 = cy + 3 * chunkRow + at;
                    float* __restrict column = columns + q * lanes;
                    for (std::size_t k = 0; k < lanes; ++k) {
                        const float forward =
                            octagon(a0 - x0[k], b0 - y0[k]) + octagon(a1 - x1[k], b1 - y1[k]) +
                            octagon(a2 - x2[k], b2 - y2[k]) + octagon(a3 - x3[k], b3 - y3[k]);
                        const float reverse =
                            octagon(a0 - x3[k], b0 - y3[k]) + octagon(a1 - x2[k], b1 - y2[k]) +
                            octagon(a2 - x1[k], b2 - y1[k]) + octagon(a3 - x0[k], b3 - y0[k]);
                        const float reversed = reverse + reversal;
                        float b = (forward < reversed ? forward : reversed) * (1.0f / kChunks);
                        // A pair with a NaN coordinate has no distance to bound: zero keeps the
                        // minima below those of every other pair.
                        b = b == b ? b : 0.0f;
                        nearest[k] = lesser(nearest[k], b);
                        column[k] = lesser(column[k], b);
                    }
                }
            } else {
                for (; q < layerEnd[l]; ++q) {
                    const float* __restrict x = px + q * stride + first;
                    const float* __restrict y = py + q * stride + first;
                    float* __restrict column = columns + q * lanes;
                    for (std::size_t k = 0; k < lanes; ++k) {
                        float b = octagon(ax - x[k], ay - y[k]);
                        b = b == b ? b : 0.0f;
                        nearest[k] = lesser(nearest[k], b);
                        column[k] = lesser(column[k], b);
                    }
                }
            }
            float* __restrict row = rows + l * lanes;
            for (std::size_t k = 0; k < lanes; ++k) {
                row[k] += nearest[k];
            }
        }
    }
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
__attribute__((target_clones("avx2", "default"))) double assignment(const double* cells,
                                                                    std::size_t n,
                                                                    AssignmentScratch& w,
                                                                    double giveUp) {
    constexpr double inf = std::numeric_limits<double>::infinity();
    if (n == 0) {
        return 0.0;
    }
    for (std::size_t k = 0; k < n * n; ++k) {
        if (!std::isfinite(cells[k])) {
            return inf;
        }
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
    std::uint32_t* __restrict way = w.way.data();
    std::uint32_t* __restrict matched = w.matched.data();

    // Rows and columns count from 1 below; row i is cells[(i - 1) * n, + n).
    double start = 0.0;
    for (std::size_t j = 1; j <= n; ++j) {
        double least = cells[j - 1];
        std::uint32_t at = 1;
        for (std::size_t i = 2; i <= n; ++i) {
            const double c = cells[(i - 1) * n + j - 1];
            if (c < least) {
                least = c;
                at = static_cast<std::uint32_t>(i);
            }
        }
        v[j] = least;
        start += least;
        if (matched[at] == 0) {
            matched[at] = static_cast<std::uint32_t>(j);
            p[j] = at;
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
            const std::uint32_t j1 = way[j0];
            p[j0] = p[j1];
            j0 = j1;
        } while (j0 != 0);
    }
    return lowerBound();
}

}  // namespace sumiro::kernels
