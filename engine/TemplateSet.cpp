#include "engine/TemplateSet.h"

#include <algorithm>

#include "engine/Contract.h"
#include "engine/HelperThread.h"

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
    return [&templates](std::size_t id, std::vector<std::span<const InkPoint>>& strokes, Ink&) {
        strokes.clear();
        for (const Stroke& stroke : templates[id].strokes) {
            strokes.push_back(stroke);
        }
    };
}

}  // namespace

TemplateSet::TemplateSet(const std::vector<InkTemplate>& templates) : size_(templates.size()) {
    std::vector<std::uint32_t> own;
    listMembers(strokeCountsOf(templates), nullptr, own);
    fill(storedStrokes(templates), own, nullptr);
}

TemplateSet::TemplateSet(const std::vector<InkTemplate>& templates, HelperThread& helper)
    : size_(templates.size()) {
    std::vector<std::uint32_t> own;
    listMembers(strokeCountsOf(templates), nullptr, own);
    fill(storedStrokes(templates), own, &helper);
}

TemplateSet::TemplateSet(const std::vector<std::uint32_t>& strokeCounts, const StrokeSource& source,
                         const OriginSource& origins, HelperThread& helper)
    : size_(strokeCounts.size()) {
    std::vector<std::uint32_t> own;
    listMembers(strokeCounts, &origins, own);
    fill(source, own, &helper);
}

// Lays out the members of one group: the pool strokes of their own, and every stroke's chunk
// centroids. Members own distinct pool strokes, so groups fill on two threads at once.
void TemplateSet::fillGroup(Group& group, const StrokeSource& source,
                            const std::vector<std::uint32_t>& own, Ink& scratch) {
    std::vector<std::span<const InkPoint>> ink;
    const std::size_t m = group.strokeCount;
    const std::size_t members = group.ids.size();
    const std::size_t strokes = group.strokes();
    for (std::size_t k = 0; k < members; ++k) {
        const std::uint32_t id = group.ids[k];
        source(id, ink, scratch);
        SUMIRO_EXPECTS(ink.size() == m, "TemplateSet: a template's strokes must match its count");
        std::size_t j = 0;
        for (const Run& run : runs(id)) {
            for (std::size_t r = 0; r < run.count; ++r, ++j) {
                const std::span<const InkPoint> stroke = ink[j];
                SUMIRO_EXPECTS(stroke.size() == kStrokePoints,
                               "TemplateSet: strokes must be normalized");
                const std::size_t slot = run.first + r;
                // Strokes before the template's own belong to the earlier template it shares
                // them with, which has written them.
                if (slot >= own[id]) {
                    float* x = &pool_[offsetOf(slot)];
                    float* y = x + kTileStrokes * kStrokePoints;
                    for (std::size_t p = 0; p < kStrokePoints; ++p) {
                        x[p * kTileStrokes] = static_cast<float>(stroke[p].x);
                        y[p * kTileStrokes] = static_cast<float>(stroke[p].y);
                    }
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
}

void TemplateSet::fill(const StrokeSource& source, const std::vector<std::uint32_t>& own,
                       HelperThread* helper) {
    // The block is not zeroed: the last tile, from its first stroke on, and the padding are,
    // here, so that whatever a copy reads past a run is a number; every other element is
    // written by fillGroup.
    std::fill(
        pool_.begin() + static_cast<std::ptrdiff_t>(poolStrokes_ / kTileStrokes * kTileFloats),
        pool_.end(), 0.0f);
    if (helper == nullptr) {
        Ink scratch;
        for (Group& group : groups_) {
            fillGroup(group, source, own, scratch);
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
                fillGroup(groups_[m], source, own, scratch);
            }
        }
    });
}

void TemplateSet::listMembers(const std::vector<std::uint32_t>& strokeCounts,
                              const OriginSource* origins, std::vector<std::uint32_t>& own) {
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

    // Pool strokes in template order: a template's own strokes, in order, after those of the
    // templates before it; a shared stroke is where its template put it.
    const std::size_t templates = strokeCounts.size();
    own.assign(templates, 0);
    runStart_.assign(templates + 1, 0);
    runs_.clear();
    std::vector<char> allOwn(templates, 0);
    std::vector<StrokeOrigin> from;
    std::uint32_t next = 0;
    for (std::size_t id = 0; id < templates; ++id) {
        const std::uint32_t m = strokeCounts[id];
        from.clear();
        if (origins != nullptr) {
            (*origins)(id, from);
        }
        SUMIRO_EXPECTS(from.empty() || from.size() == m,
                       "TemplateSet: a template's origins must match its strokes");
        own[id] = next;
        allOwn[id] = from.empty() ? 1 : 0;
        for (std::uint32_t j = 0; j < m; ++j) {
            std::uint32_t slot = 0;
            if (from.empty() || from[j].of == kOwn) {
                slot = next++;
            } else {
                const StrokeOrigin o = from[j];
                SUMIRO_EXPECTS(o.of < id && allOwn[o.of] != 0 && o.stroke < strokeCounts[o.of],
                               "TemplateSet: a stroke may only be shared with an earlier "
                               "template of its own strokes");
                slot = own[o.of] + o.stroke;
            }
            if (runs_.size() > runStart_[id] && runs_.back().first + runs_.back().count == slot &&
                slot % kTileStrokes != 0) {
                ++runs_.back().count;
            } else {
                runs_.push_back({slot, 1});
            }
        }
        runStart_[id + 1] = static_cast<std::uint32_t>(runs_.size());
    }
    runs_.shrink_to_fit();
    poolStrokes_ = next;

    const std::size_t tiles = (poolStrokes_ + kTileStrokes - 1) / kTileStrokes;
    const std::size_t poolFloats = tiles * kTileFloats + kStrokePadding;
    std::size_t floats = poolFloats;
    for (const Group& group : groups_) {
        floats += 2 * group.strokes() * kChunks;
    }
    block_.resize(floats);
    std::span<float> rest(block_);
    const auto take = [&rest](std::size_t count) {
        const std::span<float> taken = rest.first(count);
        rest = rest.subspan(count);
        return taken;
    };
    pool_ = take(poolFloats);
    for (Group& group : groups_) {
        group.chunkX = take(group.strokes() * kChunks);
        group.chunkY = take(group.strokes() * kChunks);
    }
}

}  // namespace sumiro
