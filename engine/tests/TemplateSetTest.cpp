#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "engine/HelperThread.h"
#include "engine/MatchingKernels.h"
#include "engine/Normalization.h"
#include "engine/TemplateSet.h"

namespace sumiro {
namespace {

// The coordinates of slot q of template `id` as the kernels read them: x and y of each point.
std::vector<float> pooled(const TemplateSet& set, std::size_t id, std::size_t q) {
    const std::size_t pitch = set.layout(id).slotCount;
    std::vector<float> coordinates;
    for (std::size_t p = 0; p < kStrokePoints; ++p) {
        coordinates.push_back(set.slotsX(id)[p * pitch + q]);
        coordinates.push_back(set.slotsY(id)[p * pitch + q]);
    }
    return coordinates;
}

std::vector<float> singlePrecision(std::span<const InkPoint> stroke) {
    std::vector<float> coordinates;
    for (const InkPoint& p : stroke) {
        coordinates.push_back(static_cast<float>(p.x));
        coordinates.push_back(static_cast<float>(p.y));
    }
    if (stroke.empty()) coordinates.assign(2 * kStrokePoints, kFarAway);
    return coordinates;
}

// Templates of 1 to 12 strokes, a third of them with joins, some runs that may not be joined;
// every slot reads back from the pool and from its group's chunk centroids, on one thread and
// on two alike.
TEST(TemplateSet, EverySlotReadsBackFromEachLayoutOnOneThreadOrTwo) {
    std::mt19937 random(11);
    std::uniform_real_distribution<double> coordinate(0, 109);
    const auto stroke = [&] {
        Stroke s;
        for (int p = 0; p < 5; ++p) s.push_back({coordinate(random), coordinate(random)});
        return normalized({s})[0];
    };
    std::vector<TemplateSet::Shape> shapes;
    std::vector<Ink> pieces;
    for (int t = 0; t < 300; ++t) {
        const auto m = static_cast<std::uint32_t>(1 + random() % 12);
        Joinability joins;
        if (t % 3 == 0 && m > 1) {
            joins.pairs = random() & ((std::uint64_t{1} << (m - 1)) - 1);
            joins.maxJoins = std::min<std::size_t>(std::popcount(joins.pairs), std::min(3u, m - 1));
        }
        shapes.push_back({m, joins});
        Ink slots;
        for (std::size_t q = 0; q < pieceSlots(m, joins.maxJoins); ++q) {
            // Every third run stands for one that may not be joined.
            slots.push_back(q >= m && q % 3 == 0 ? Stroke{} : stroke());
        }
        pieces.push_back(std::move(slots));
    }
    const auto source = [&](std::size_t id, std::vector<std::span<const InkPoint>>& listed, Ink&) {
        listed.assign(pieces[id].begin(), pieces[id].end());
    };
    HelperThread helper;
    const TemplateSet one(shapes, source, nullptr);
    const TemplateSet two(shapes, source, &helper);
    ASSERT_EQ(one.size(), shapes.size());
    for (const TemplateSet* set : {&one, &two}) {
        for (std::size_t id = 0; id < shapes.size(); ++id) {
            const TemplateSet::Layout& layout = set->layout(id);
            ASSERT_EQ(layout.slotCount, pieces[id].size());
            const TemplateSet::Group& group = set->groups()[layout.group];
            EXPECT_EQ(group.strokeCount, shapes[id].strokes);
            EXPECT_EQ(group.joins, shapes[id].joins.maxJoins);
            const std::size_t k = static_cast<std::size_t>(
                std::find(group.ids.begin(), group.ids.end(), id) - group.ids.begin());
            ASSERT_LT(k, group.ids.size());
            // Whole vectors: the rows' tails lie far away.
            ASSERT_EQ(group.stride % kernels::kBoundLanes, 0u);
            for (std::size_t tail = group.ids.size(); tail < group.stride; ++tail) {
                EXPECT_EQ(group.chunkX[tail], kernels::boundCoordinate(kFarAway));
                EXPECT_EQ(group.chunkY[tail], kernels::boundCoordinate(kFarAway));
            }
            for (std::size_t q = 0; q < layout.slotCount; ++q) {
                const Stroke& piece = pieces[id][q];
                EXPECT_EQ(pooled(*set, id, q), singlePrecision(piece))
                    << "template " << id << " slot " << q;
                std::array<double, 2 * kChunks> chunks{};
                chunks.fill(kFarAway);
                if (!piece.empty()) chunks = chunkCentroids(piece);
                for (std::size_t c = 0; c < kChunks; ++c) {
                    const std::size_t at = (c * group.slotCount + q) * group.stride + k;
                    EXPECT_EQ(group.chunkX[at], kernels::boundCoordinate(chunks[c]));
                    EXPECT_EQ(group.chunkY[at], kernels::boundCoordinate(chunks[kChunks + c]));
                }
            }
        }
    }
    // Groups by stroke count, then joins; members in database order.
    for (std::size_t m = 0; m <= one.mostStrokes(); ++m) {
        for (const TemplateSet::Group& group : one.groupsWith(m)) {
            EXPECT_EQ(group.strokeCount, m);
            EXPECT_TRUE(std::ranges::is_sorted(group.ids));
        }
    }
    EXPECT_TRUE(std::ranges::is_sorted(one.groups(), {}, [](const TemplateSet::Group& g) {
        return std::pair(g.strokeCount, g.joins);
    }));
    // What a copy may read past the last template's last row is zero.
    const std::size_t last = shapes.size() - 1;
    const float* end = one.slotsY(last) + kStrokePoints * one.layout(last).slotCount;
    for (std::size_t f = 0; f < kPoolPadding; ++f) {
        EXPECT_EQ(end[f], 0.0f);
    }
}

}  // namespace
}  // namespace sumiro
