#include "engine/MatchingKernels.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "engine/StrokeMatching.h"
#include "engine/TemplateSet.h"

namespace sumiro::kernels {

namespace {
// Largest float below 1/sqrt(2): (|dx| + |dy|) times it never exceeds the Euclidean length.
constexpr float kOctagon = 0.70710677f;
constexpr float kInf = std::numeric_limits<float>::infinity();
}  // namespace

// Lanes are template strokes; each lane sums its points in order, as strokeDistance does.
__attribute__((target_clones("avx2", "default"))) void strokeDistances(
    const float* __restrict ax, const float* __restrict ay, std::size_t n,
    const float* __restrict x, const float* __restrict y, std::size_t stride, std::size_t begin,
    std::size_t count, std::size_t pitch, float* __restrict out, float* __restrict scratch) {
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

// Bounds of one drawn stroke's distances to `count` strokes from `first`, in a group with
// `strokes` strokes.
__attribute__((target_clones("avx2", "default"))) void chunkBounds(
    const float* __restrict a, const float* __restrict cx, const float* __restrict cy,
    std::size_t strokes, std::size_t first, std::size_t count, float* __restrict bound) {
    constexpr auto reversal = static_cast<float>(kReversalPenalty / kChunkPoints);
    const float a0 = a[0], a1 = a[1], a2 = a[2], a3 = a[3];
    const float b0 = a[4], b1 = a[5], b2 = a[6], b3 = a[7];
    const float* __restrict x0 = cx + first;
    const float* __restrict x1 = cx + strokes + first;
    const float* __restrict x2 = cx + 2 * strokes + first;
    const float* __restrict x3 = cx + 3 * strokes + first;
    const float* __restrict y0 = cy + first;
    const float* __restrict y1 = cy + strokes + first;
    const float* __restrict y2 = cy + 2 * strokes + first;
    const float* __restrict y3 = cy + 3 * strokes + first;
    const auto norm = [](float dx, float dy) {
        dx = std::fabs(dx);
        dy = std::fabs(dy);
        const float larger = dx > dy ? dx : dy;
        const float diagonal = (dx + dy) * kOctagon;
        return larger > diagonal ? larger : diagonal;
    };
    for (std::size_t g = 0; g < count; ++g) {
        const float forward = norm(a0 - x0[g], b0 - y0[g]) + norm(a1 - x1[g], b1 - y1[g]) +
                              norm(a2 - x2[g], b2 - y2[g]) + norm(a3 - x3[g], b3 - y3[g]);
        const float reverse = norm(a0 - x3[g], b0 - y3[g]) + norm(a1 - x2[g], b1 - y2[g]) +
                              norm(a2 - x1[g], b2 - y1[g]) + norm(a3 - x0[g], b3 - y0[g]);
        const float reversed = reverse + reversal;
        const float b = (forward < reversed ? forward : reversed) * (1.0f / kChunks);
        // A pair with a NaN coordinate has no distance to bound; zero keeps the minima below
        // those of every other pair.
        bound[g] = b == b ? b : 0.0f;
    }
}

}  // namespace

// The sum of point distances over a chunk is at least the chunk's size times the distance of
// the chunk centroids (triangle inequality), and the octagonal norm is at most the Euclidean
// one; the reversed pairing matches chunk c with the template's chunk 3 - c.
__attribute__((target_clones("avx2", "default"))) void templateBounds(
    const float* __restrict a, std::size_t n, const float* __restrict cx,
    const float* __restrict cy, std::size_t templates, std::size_t first, std::size_t count,
    std::size_t m, float* __restrict rows, float* __restrict columns, float* __restrict scratch) {
    const std::size_t strokes = templates * m;
    // Stroke j of template first + k at [j * count + k].
    float* __restrict bound = scratch;
    float* __restrict nearestDrawn = scratch + count * m;
    float* __restrict nearestStroke = scratch + 2 * count * m;
    for (std::size_t g = 0; g < count * m; ++g) {
        nearestDrawn[g] = kInf;
    }
    for (std::size_t k = 0; k < count; ++k) {
        rows[k] = 0.0f;
    }
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = 0; j < m; ++j) {
            chunkBounds(a + i * 2 * kChunks, cx, cy, strokes, j * templates + first, count,
                        bound + j * count);
        }
        for (std::size_t g = 0; g < count * m; ++g) {
            nearestDrawn[g] = std::min(nearestDrawn[g], bound[g]);
        }
        for (std::size_t k = 0; k < count; ++k) {
            nearestStroke[k] = bound[k];
        }
        for (std::size_t j = 1; j < m; ++j) {
            for (std::size_t k = 0; k < count; ++k) {
                nearestStroke[k] = std::min(nearestStroke[k], bound[j * count + k]);
            }
        }
        for (std::size_t k = 0; k < count; ++k) {
            rows[k] += nearestStroke[k];
        }
    }
    for (std::size_t k = 0; k < count; ++k) {
        columns[k] = 0.0f;
    }
    for (std::size_t j = 0; j < m; ++j) {
        for (std::size_t k = 0; k < count; ++k) {
            columns[k] += nearestDrawn[j * count + k];
        }
    }
}

// Shortest augmenting paths with row and column potentials. Columns already on the path are
// kept out of the search by an infinite `blocked` addend instead of a branch, and their
// `minv` is infinite, so the scans over all columns vectorize.
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
    w.minv.resize(n + 1);
    w.blocked.resize(n + 1);
    w.used.reserve(n + 1);
    double* __restrict u = w.u.data();
    double* __restrict v = w.v.data();
    double* __restrict minv = w.minv.data();
    double* __restrict blocked = w.blocked.data();
    std::uint32_t* __restrict p = w.p.data();
    std::uint32_t* __restrict way = w.way.data();

    for (std::size_t i = 1; i <= n; ++i) {
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
        // -v[0] is the cost of the best matching of the rows so far.
        if (-v[0] / static_cast<double>(n) > giveUp) {
            break;
        }
    }
    return -v[0] / static_cast<double>(n);
}

}  // namespace sumiro::kernels
