#include "engine/TemplateSet.h"

#include <algorithm>

#include "engine/Contract.h"
#include "engine/HelperThread.h"
#include "engine/MatchingKernels.h"

namespace sumiro {

std::array<double, 2 * kChunks> chunkCentroids(std::span<const InkPoint> stroke) {
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

TemplateSet::TemplateSet(const std::vector<InkTemplate>& templates) {
    std::vector<Shape> shapes;
    shapes.reserve(templates.size());
    for (const InkTemplate& t : templates) {
        shapes.push_back({static_cast<std::uint32_t>(t.strokes.size()), {}});
    }
    listMembers(shapes);
    fill(
        [&templates](std::size_t id, std::vector<std::span<const InkPoint>>& pieces, Ink&) {
            pieces.assign(templates[id].strokes.begin(), templates[id].strokes.end());
        },
        nullptr);
}

TemplateSet::TemplateSet(const std::vector<Shape>& shapes, const PieceSource& source,
                         HelperThread* helper) {
    listMembers(shapes);
    fill(source, helper);
}

void TemplateSet::listMembers(const std::vector<Shape>& shapes) {
    const std::size_t templates = shapes.size();
    layouts_.resize(templates);
    std::size_t most = 0;
    std::size_t floats = 0;
    for (std::size_t id = 0; id < templates; ++id) {
        const Shape& shape = shapes[id];
        Layout& layout = layouts_[id];
        layout.strokes = shape.strokes;
        layout.joins = static_cast<std::uint32_t>(shape.joins.maxJoins);
        layout.pairs = shape.joins.pairs;
        layout.slotCount = static_cast<std::uint32_t>(pieceSlots(layout.strokes, layout.joins));
        layout.first = static_cast<std::uint32_t>(floats);
        floats += blockSize(layout.slotCount);
        most = std::max<std::size_t>(most, layout.strokes);
    }
    poolSize_ = floats;

    // Groups by stroke count, then joins, members in database order.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> kinds;
    for (const Layout& layout : layouts_) {
        kinds.emplace_back(layout.strokes, layout.joins);
    }
    std::sort(kinds.begin(), kinds.end());
    kinds.erase(std::unique(kinds.begin(), kinds.end()), kinds.end());
    groups_.assign(kinds.size(), {});
    groupStart_.assign(templates == 0 ? 0 : most + 2, 0);
    for (std::size_t g = 0; g < kinds.size(); ++g) {
        groups_[g].strokeCount = kinds[g].first;
        groups_[g].joins = kinds[g].second;
        groups_[g].slotCount = pieceSlots(kinds[g].first, kinds[g].second);
        ++groupStart_[kinds[g].first + 1];
    }
    for (std::size_t m = 1; m < groupStart_.size(); ++m) {
        groupStart_[m] += groupStart_[m - 1];
    }
    member_.resize(templates);
    for (std::size_t id = 0; id < templates; ++id) {
        Layout& layout = layouts_[id];
        const auto kind =
            std::lower_bound(kinds.begin(), kinds.end(), std::pair{layout.strokes, layout.joins});
        layout.group = static_cast<std::uint32_t>(kind - kinds.begin());
        Group& group = groups_[layout.group];
        member_[id] = static_cast<std::uint32_t>(group.ids.size());
        group.ids.push_back(static_cast<std::uint32_t>(id));
    }
    for (Group& group : groups_) {
        group.stride = kernels::boundLanesFor(group.ids.size());
    }

    block_.resize(poolSize_ + kPoolPadding);
    pool_ = std::span<float>(block_);
    std::size_t coordinates = 0;
    for (const Group& group : groups_) {
        coordinates += 2 * (kChunks + 1) * group.slotCount * group.stride;
    }
    boundBlock_.resize(coordinates);
    std::span<std::int16_t> rest(boundBlock_);
    const auto take = [&rest](std::size_t count) {
        const std::span<std::int16_t> taken = rest.first(count);
        rest = rest.subspan(count);
        return taken;
    };
    const std::int16_t far = kernels::boundCoordinate(kFarAway);
    for (Group& group : groups_) {
        group.chunkX = take(kChunks * group.slotCount * group.stride);
        group.chunkY = take(kChunks * group.slotCount * group.stride);
        group.centroidX = take(group.slotCount * group.stride);
        group.centroidY = take(group.slotCount * group.stride);
        // The tails of the rows are written here, the rest by fillTemplate.
        for (std::size_t row = 0; row < kChunks * group.slotCount; ++row) {
            for (std::size_t k = group.ids.size(); k < group.stride; ++k) {
                group.chunkX[row * group.stride + k] = far;
                group.chunkY[row * group.stride + k] = far;
            }
        }
        for (std::size_t row = 0; row < group.slotCount; ++row) {
            for (std::size_t k = group.ids.size(); k < group.stride; ++k) {
                group.centroidX[row * group.stride + k] = far;
                group.centroidY[row * group.stride + k] = far;
            }
        }
    }
}

// Lays out the slots of one template: its pool strokes and their chunk centroids in its group.
// Templates own distinct slots, so two threads fill them at once.
void TemplateSet::fillTemplate(std::size_t id, const PieceSource& source,
                               std::vector<std::span<const InkPoint>>& pieces, Ink& scratch) {
    const Layout& layout = layouts_[id];
    source(id, pieces, scratch);
    SUMIRO_EXPECTS(pieces.size() == layout.slotCount,
                   "TemplateSet: a template's pieces must match its slots");
    Group& group = groups_[layout.group];
    const std::size_t k = member_[id];
    for (std::size_t q = 0; q < layout.slotCount; ++q) {
        const std::span<const InkPoint> piece = pieces[q];
        SUMIRO_EXPECTS(piece.empty() || piece.size() == kStrokePoints,
                       "TemplateSet: strokes must be normalized");
        SUMIRO_EXPECTS(!piece.empty() || q >= layout.strokes,
                       "TemplateSet: only a joined run may be left out");
        float* x = &pool_[layout.first + q];
        float* y = x + kStrokePoints * layout.slotCount;
        for (std::size_t p = 0; p < kStrokePoints; ++p) {
            x[p * layout.slotCount] = piece.empty() ? kFarAway : static_cast<float>(piece[p].x);
            y[p * layout.slotCount] = piece.empty() ? kFarAway : static_cast<float>(piece[p].y);
        }
        std::array<double, 2 * kChunks> centroids{};
        if (piece.empty()) {
            centroids.fill(kFarAway);
        } else {
            centroids = chunkCentroids(piece);
        }
        for (std::size_t c = 0; c < kChunks; ++c) {
            const std::size_t at = (c * layout.slotCount + q) * group.stride + k;
            group.chunkX[at] = kernels::boundCoordinate(centroids[c]);
            group.chunkY[at] = kernels::boundCoordinate(centroids[kChunks + c]);
        }
        const auto [centreX, centreY] = strokeCentroid(centroids);
        group.centroidX[q * group.stride + k] = kernels::boundCoordinate(centreX);
        group.centroidY[q * group.stride + k] = kernels::boundCoordinate(centreY);
    }
    // The rest of its block, which copies may read.
    const std::size_t used = 2 * kStrokePoints * layout.slotCount;
    std::fill_n(&pool_[layout.first + used], blockSize(layout.slotCount) - used, 0.0f);
}

void TemplateSet::fill(const PieceSource& source, HelperThread* helper) {
    // The block is not zeroed: the padding is, here, so that whatever a copy reads past a
    // template is a number; every other element is written by fillTemplate.
    std::fill(pool_.begin() + static_cast<std::ptrdiff_t>(poolSize_), pool_.end(), 0.0f);
    const auto share = [&](std::size_t mine, std::size_t shares) {
        std::vector<std::span<const InkPoint>> pieces;
        Ink scratch;
        for (std::size_t id = mine; id < layouts_.size(); id += shares) {
            fillTemplate(id, source, pieces, scratch);
        }
    };
    if (helper == nullptr) {
        share(0, 1);
        return;
    }
    helper->split([&](std::size_t mine) { share(mine, 2); });
}

}  // namespace sumiro
