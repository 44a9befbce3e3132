#include "engine/TemplateSet.h"

#include <algorithm>

#include "engine/Contract.h"
#include "engine/HelperThread.h"

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

namespace {

// Lays out the members of one group, whose ids are already listed.
void fillGroup(TemplateSet::Group& group, const TemplateSet::StrokeSource& source, Ink& scratch) {
    std::vector<const Stroke*> ink;
    const std::size_t m = group.strokeCount;
    const std::size_t members = group.ids.size();
    const std::size_t strokes = group.strokes();
    const std::size_t stride = group.stride();
    // The block is not zeroed: the padding is, here, and every other element is written below.
    for (std::size_t p = 0; p < kStrokePoints; ++p) {
        std::fill_n(group.x.begin() + static_cast<std::ptrdiff_t>(p * stride + strokes),
                    kStrokePadding, 0.0f);
        std::fill_n(group.y.begin() + static_cast<std::ptrdiff_t>(p * stride + strokes),
                    kStrokePadding, 0.0f);
    }
    for (std::size_t k = 0; k < members; ++k) {
        source(group.ids[k], ink, scratch);
        SUMIRO_EXPECTS(ink.size() == m, "TemplateSet: a template's strokes must match its count");
        for (std::size_t j = 0; j < m; ++j) {
            const Stroke& stroke = *ink[j];
            SUMIRO_EXPECTS(stroke.size() == kStrokePoints,
                           "TemplateSet: strokes must be normalized");
            for (std::size_t p = 0; p < kStrokePoints; ++p) {
                group.x[p * stride + k * m + j] = static_cast<float>(stroke[p].x);
                group.y[p * stride + k * m + j] = static_cast<float>(stroke[p].y);
            }
            const auto centroids = chunkCentroids(stroke);
            for (std::size_t c = 0; c < kChunks; ++c) {
                const std::size_t at = c * strokes + j * members + k;
                group.chunkX[at] = static_cast<float>(centroids[c]);
                group.chunkY[at] = static_cast<float>(centroids[kChunks + c]);
            }
        }
    }
}

}  // namespace

namespace {

std::vector<std::uint32_t> strokeCountsOf(const std::vector<InkTemplate>& templates) {
    std::vector<std::uint32_t> counts;
    counts.reserve(templates.size());
    for (const InkTemplate& t : templates) {
        counts.push_back(static_cast<std::uint32_t>(t.strokes.size()));
    }
    return counts;
}

TemplateSet::StrokeSource storedStrokes(const std::vector<InkTemplate>& templates) {
    return [&templates](std::size_t id, std::vector<const Stroke*>& strokes, Ink&) {
        strokes.clear();
        for (const Stroke& stroke : templates[id].strokes) {
            strokes.push_back(&stroke);
        }
    };
}

}  // namespace

TemplateSet::TemplateSet(const std::vector<InkTemplate>& templates) : size_(templates.size()) {
    listMembers(strokeCountsOf(templates));
    fill(storedStrokes(templates), nullptr);
}

TemplateSet::TemplateSet(const std::vector<InkTemplate>& templates, HelperThread& helper)
    : size_(templates.size()) {
    listMembers(strokeCountsOf(templates));
    fill(storedStrokes(templates), &helper);
}

TemplateSet::TemplateSet(const std::vector<std::uint32_t>& strokeCounts, const StrokeSource& source,
                         HelperThread& helper)
    : size_(strokeCounts.size()) {
    listMembers(strokeCounts);
    fill(source, &helper);
}

void TemplateSet::fill(const StrokeSource& source, HelperThread* helper) {
    if (helper == nullptr) {
        Ink scratch;
        for (Group& group : groups_) {
            fillGroup(group, source, scratch);
        }
        return;
    }
    // Largest groups first, each to the share with fewer strokes so far.
    std::vector<std::size_t> order(groups_.size());
    for (std::size_t m = 0; m < order.size(); ++m) {
        order[m] = m;
    }
    std::stable_sort(order.begin(), order.end(), [this](std::size_t a, std::size_t b) {
        return groups_[a].strokes() > groups_[b].strokes();
    });
    std::vector<unsigned char> share(groups_.size(), 0);
    std::size_t load[2] = {0, 0};
    for (std::size_t m : order) {
        const unsigned char s = load[1] < load[0] ? 1 : 0;
        share[m] = s;
        load[s] += groups_[m].strokes();
    }
    helper->split([&](std::size_t mine) {
        Ink scratch;
        for (std::size_t m = 0; m < groups_.size(); ++m) {
            if (share[m] == mine) {
                fillGroup(groups_[m], source, scratch);
            }
        }
    });
}

void TemplateSet::listMembers(const std::vector<std::uint32_t>& strokeCounts) {
    std::size_t most = 0;
    for (const std::uint32_t m : strokeCounts) {
        most = std::max<std::size_t>(most, m);
    }
    groups_.resize(strokeCounts.empty() ? 0 : most + 1);
    std::vector<std::size_t> members(groups_.size(), 0);
    for (const std::uint32_t m : strokeCounts) {
        ++members[m];
    }
    for (std::size_t m = 0; m < groups_.size(); ++m) {
        groups_[m].strokeCount = m;
        groups_[m].ids.reserve(members[m]);
    }
    for (std::size_t id = 0; id < strokeCounts.size(); ++id) {
        groups_[strokeCounts[id]].ids.push_back(static_cast<std::uint32_t>(id));
    }
    std::size_t floats = 0;
    for (const Group& group : groups_) {
        floats += 2 * (group.stride() * kStrokePoints + group.strokes() * kChunks);
    }
    block_.resize(floats);
    std::span<float> rest(block_);
    const auto take = [&rest](std::size_t count) {
        const std::span<float> taken = rest.first(count);
        rest = rest.subspan(count);
        return taken;
    };
    for (Group& group : groups_) {
        group.x = take(group.stride() * kStrokePoints);
        group.y = take(group.stride() * kStrokePoints);
        group.chunkX = take(group.strokes() * kChunks);
        group.chunkY = take(group.strokes() * kChunks);
    }
}

}  // namespace sumiro
