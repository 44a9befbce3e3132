#include "engine/TemplateSet.h"

#include <algorithm>

#include "engine/Contract.h"

namespace sumiro {

std::array<double, 2 * kChunks> chunkCentroids(const Stroke& stroke) {
    std::array<double, 2 * kChunks> centroids{};
    for (std::size_t c = 0; c < kChunks; ++c) {
        double sx = 0.0;
        double sy = 0.0;
        for (std::size_t p = c * kChunkPoints; p < (c + 1) * kChunkPoints; ++p) {
            sx += stroke[p].x;
            sy += stroke[p].y;
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
        const std::size_t strokes = members[m] * m;
        group.x.resize((strokes + kStrokePadding) * kStrokePoints);
        group.y.resize((strokes + kStrokePadding) * kStrokePoints);
        group.chunkX.resize(strokes * kChunks);
        group.chunkY.resize(strokes * kChunks);
    }
    for (std::size_t id = 0; id < templates.size(); ++id) {
        const Ink& ink = templates[id].strokes;
        const std::size_t m = ink.size();
        Group& group = groups_[m];
        const std::size_t k = group.ids.size();
        const std::size_t strokes = members[m] * m;
        const std::size_t stride = strokes + kStrokePadding;
        group.ids.push_back(static_cast<std::uint32_t>(id));
        for (std::size_t j = 0; j < m; ++j) {
            const Stroke& stroke = ink[j];
            SUMIRO_EXPECTS(stroke.size() == kStrokePoints,
                           "TemplateSet: strokes must be normalized");
            for (std::size_t p = 0; p < kStrokePoints; ++p) {
                group.x[p * stride + k * m + j] = static_cast<float>(stroke[p].x);
                group.y[p * stride + k * m + j] = static_cast<float>(stroke[p].y);
            }
            const auto centroids = chunkCentroids(stroke);
            for (std::size_t c = 0; c < kChunks; ++c) {
                const std::size_t at = c * strokes + j * members[m] + k;
                group.chunkX[at] = static_cast<float>(centroids[c]);
                group.chunkY[at] = static_cast<float>(centroids[kChunks + c]);
            }
        }
    }
}

}  // namespace sumiro
