#include "engine/MatchingKernels.h"

#include <algorithm>
#include <cmath>

#include "engine/StrokeMatching.h"
#include "engine/TemplateSet.h"

namespace sumiro::kernels {

namespace {
// Largest float below 1/sqrt(2): (|dx| + |dy|) times it never exceeds the Euclidean length.
constexpr float kOctagon = 0.70710677f;
}  // namespace

// Lanes are template strokes: each lane sums its points in the same order and with the same
// operations as strokeDistance, so the vector code gives identical bits. No contraction into
// fused multiply-adds (the engine builds with -ffp-contract=off), since that would round
// differently.
__attribute__((target_clones("avx2", "default"))) void strokeDistances(
    const double* __restrict ax, const double* __restrict ay, std::size_t n,
    const double* __restrict x, const double* __restrict y, std::size_t stride, std::size_t begin,
    std::size_t count, std::size_t pitch, double* __restrict out, double* __restrict scratch) {
    const std::size_t lanes = lanesFor(count);
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = 0; j < lanes; ++j) {
            out[i * pitch + j] = 0.0;
            scratch[i * pitch + j] = 0.0;
        }
    }
    for (std::size_t p = 0; p < kStrokePoints; ++p) {
        const double* fx = x + p * stride + begin;
        const double* fy = y + p * stride + begin;
        const double* rx = x + (kStrokePoints - 1 - p) * stride + begin;
        const double* ry = y + (kStrokePoints - 1 - p) * stride + begin;
        for (std::size_t i = 0; i < n; ++i) {
            const double px = ax[i * kStrokePoints + p];
            const double py = ay[i * kStrokePoints + p];
            double* forward = out + i * pitch;
            double* reverse = scratch + i * pitch;
            for (std::size_t j = 0; j < lanes; ++j) {
                const double dx = px - fx[j];
                const double dy = py - fy[j];
                const double ex = px - rx[j];
                const double ey = py - ry[j];
                forward[j] += std::sqrt(dx * dx + dy * dy);
                reverse[j] += std::sqrt(ex * ex + ey * ey);
            }
        }
    }
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = 0; j < lanes; ++j) {
            const double reversed = scratch[i * pitch + j] + kReversalPenalty;
            const double forward = out[i * pitch + j];
            const double best = reversed < forward ? reversed : forward;
            out[i * pitch + j] = best / static_cast<double>(kStrokePoints);
        }
    }
}

// The sum of point distances over a chunk is at least the chunk's size times the distance of
// the chunk centroids (triangle inequality), and the octagonal norm is at most the Euclidean
// one; the reversed pairing matches chunk c with the template's chunk 3 - c.
__attribute__((target_clones("avx2", "default"))) void strokeBounds(
    const float* __restrict a, const float* __restrict cx, const float* __restrict cy,
    std::size_t stride, std::size_t count, float* __restrict out) {
    constexpr auto reversal = static_cast<float>(kReversalPenalty / kChunkPoints);
    for (std::size_t g = 0; g < count; ++g) {
        float forward = 0.0f;
        float reverse = 0.0f;
        for (std::size_t c = 0; c < kChunks; ++c) {
            const std::size_t r = kChunks - 1 - c;
            const float dx = std::fabs(a[c] - cx[c * stride + g]);
            const float dy = std::fabs(a[kChunks + c] - cy[c * stride + g]);
            const float ex = std::fabs(a[c] - cx[r * stride + g]);
            const float ey = std::fabs(a[kChunks + c] - cy[r * stride + g]);
            forward += std::max(std::max(dx, dy), (dx + dy) * kOctagon);
            reverse += std::max(std::max(ex, ey), (ex + ey) * kOctagon);
        }
        out[g] = std::min(forward, reverse + reversal) * (1.0f / kChunks);
    }
}

}  // namespace sumiro::kernels
