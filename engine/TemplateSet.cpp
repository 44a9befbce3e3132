#include "engine/TemplateSet.h"

#include <algorithm>

#include "engine/Contract.h"

namespace sumiro {

std::array<double, 2 * kChunks> chunkCentroids(const double* x, const double* y,
                                               std::size_t stride) {
    std::array<double, 2 * kChunks> centroids{};
    for (std::size_t c = 0; c < kChunks; ++c) {
        double sx = 0.0;
        double sy = 0.0;
        for (std::size_t p = c * kChunkPoints; p < (c + 1) * kChunkPoints; ++p) {
            sx += x[p * stride];
            sy += y[p * stride];
        }
        centroids[c] = sx / static_cast<double>(kChunkPoints);
        centroids[kChunks + c] = sy / static_cast<double>(kChunkPoints);
    }
    return centroids;
}

TemplateSet::TemplateSet(const std::vector<InkTemplate>& templates) : size_(templates.size()) {
    std::size_t most = 0;
    for (const InkTemplate& t : templates) {
        most = std::max(most, t.strokes.size());
    }
    groups_.resize(templates.empty() ? 0 : most + 1);
    std::vector<std::size_t> members(groups_.size(), 0);
    for (const InkTemplate& t : templates) {
        ++members[t.strokes.size()];
    }
    for (std::size_t m = 0; m < groups_.size(); ++m) {
        Group& group = groups_[m];
        group.strokeCount = m;
        group.ids.reserve(members[m]);
        const std::size_t stride = members[m] * m + kStrokePadding;
        group.x.resize(stride * kStrokePoints);
        group.y.resize(stride * kStrokePoints);
        group.chunkX.resize(stride * kChunks);
        group.chunkY.resize(stride * kChunks);
    }
    for (std::size_t id = 0; id < templates.size(); ++id) {
        const Ink& ink = templates[id].strokes;
        Group& group = groups_[ink.size()];
        const std::size_t stride = members[ink.size()] * ink.size() + kStrokePadding;
        std::size_t g = group.ids.size() * ink.size();
        group.ids.push_back(static_cast<std::uint32_t>(id));
        for (const Stroke& stroke : ink) {
            SUMIRO_EXPECTS(stroke.size() == kStrokePoints,
                           "TemplateSet: strokes must be normalized");
            for (std::size_t p = 0; p < kStrokePoints; ++p) {
                group.x[p * stride + g] = stroke[p].x;
                group.y[p * stride + g] = stroke[p].y;
            }
            const auto centroids = chunkCentroids(&group.x[g], &group.y[g], stride);
            for (std::size_t c = 0; c < kChunks; ++c) {
                group.chunkX[c * stride + g] = static_cast<float>(centroids[c]);
                group.chunkY[c * stride + g] = static_cast<float>(centroids[kChunks + c]);
            }
            ++g;
        }
    }
}

}  // namespace sumiro
