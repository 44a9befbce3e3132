#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "engine/HelperThread.h"
#include "engine/Normalization.h"
#include "engine/TemplateSet.h"

namespace sumiro {
namespace {

// The coordinates of template `id` as the kernels read them, from the pool through its runs:
// x and y of each point, stroke after stroke.
std::vector<float> pooledCoordinates(const TemplateSet& set, std::size_t id) {
    std::vector<float> coordinates;
    for (const TemplateSet::Run& run : set.runs(id)) {
        for (std::size_t s = run.first; s < run.first + run.count; ++s) {
            for (std::size_t p = 0; p < kStrokePoints; ++p) {
                coordinates.push_back(set.strokeX(s)[p * TemplateSet::kTileStrokes]);
                coordinates.push_back(set.strokeY(s)[p * TemplateSet::kTileStrokes]);
            }
        }
    }
    return coordinates;
}

std::vector<float> singlePrecision(const Ink& ink) {
    std::vector<float> coordinates;
    for (const Stroke& stroke : ink) {
        for (const InkPoint& p : stroke) {
            coordinates.push_back(static_cast<float>(p.x));
            coordinates.push_back(static_cast<float>(p.y));
        }
    }
    return coordinates;
}

// Groups of very different sizes, some stroke counts missing, so both threads get a share.
TEST(TemplateSet, TwoThreadLayoutEqualsOneThread) {
    std::mt19937 random(11);
    std::uniform_real_distribution<double> coordinate(0, 109);
    std::uniform_int_distribution<std::size_t> strokeCount(1, 9);
    std::vector<InkTemplate> templates;
    for (int t = 0; t < 300; ++t) {
        std::size_t m = strokeCount(random);
        m = m == 4 ? 12 : m * m / 9 + 1;
        Ink ink(m);
        for (Stroke& stroke : ink) {
            for (int p = 0; p < 5; ++p) {
                stroke.push_back({coordinate(random), coordinate(random)});
            }
        }
        templates.push_back({"t", normalized(ink)});
    }
    HelperThread helper;
    const TemplateSet one(templates);
    const TemplateSet two(templates, helper);
    ASSERT_EQ(two.size(), one.size());
    EXPECT_EQ(two.poolStrokes(), one.poolStrokes());
    for (std::size_t id = 0; id < one.size(); ++id) {
        // Runs split where the pool's tiles end; the strokes read back whole all the same.
        EXPECT_EQ(pooledCoordinates(one, id), singlePrecision(templates[id].strokes))
            << "template " << id;
        EXPECT_EQ(pooledCoordinates(two, id), pooledCoordinates(one, id)) << "template " << id;
    }
    ASSERT_EQ(two.groups().size(), one.groups().size());
    for (std::size_t m = 0; m < one.groups().size(); ++m) {
        const TemplateSet::Group& a = one.groups()[m];
        const TemplateSet::Group& b = two.groups()[m];
        EXPECT_EQ(b.strokeCount, a.strokeCount);
        EXPECT_EQ(b.ids, a.ids) << "group " << m;
        EXPECT_TRUE(std::ranges::equal(b.chunkX, a.chunkX)) << "chunkX of group " << m;
        EXPECT_TRUE(std::ranges::equal(b.chunkY, a.chunkY)) << "chunkY of group " << m;
    }
}

// Template 1 keeps strokes 0 and 2 of template 0 around one of its own, template 2 shares
// nothing, template 3 takes stroke 1 of template 2 then one of its own: each reads its own
// strokes back, while the pool holds every stroke once.
TEST(TemplateSet, SharedStrokesAreStoredOnceAndReadBackInOrder) {
    std::mt19937 random(3);
    std::uniform_real_distribution<double> coordinate(0, 109);
    const auto ink = [&](std::size_t strokes) {
        Ink drawn(strokes);
        for (Stroke& stroke : drawn) {
            for (int p = 0; p < 4; ++p) {
                stroke.push_back({coordinate(random), coordinate(random)});
            }
        }
        return normalized(drawn);
    };
    std::vector<Ink> templates{ink(3), ink(3), ink(2), ink(2)};
    templates[1][0] = templates[0][0];
    templates[1][2] = templates[0][2];
    templates[3][0] = templates[2][1];
    using Origin = TemplateSet::StrokeOrigin;
    constexpr std::uint32_t own = TemplateSet::kOwn;
    const std::vector<std::vector<Origin>> origins{
        {}, {{0, 0}, {own, 0}, {0, 2}}, {}, {{2, 1}, {own, 0}}};
    HelperThread helper;
    const auto layOut = [&](const std::vector<std::vector<Origin>>& from) {
        return TemplateSet(
            {3, 3, 2, 2},
            [&](std::size_t id, std::vector<std::span<const InkPoint>>& strokes, Ink&) {
                strokes.assign(templates[id].begin(), templates[id].end());
            },
            [&](std::size_t id, std::vector<Origin>& listed) { listed = from[id]; }, helper);
    };
    const TemplateSet set = layOut(origins);

    EXPECT_EQ(set.poolStrokes(), 3u + 1 + 2 + 1);
    using Run = TemplateSet::Run;
    EXPECT_EQ(std::vector<Run>(set.runs(1).begin(), set.runs(1).end()),
              (std::vector<Run>{{0, 1}, {3, 1}, {2, 1}}));
    EXPECT_EQ(std::vector<Run>(set.runs(3).begin(), set.runs(3).end()), (std::vector<Run>{{5, 2}}));
    for (std::size_t id = 0; id < templates.size(); ++id) {
        EXPECT_EQ(pooledCoordinates(set, id), singlePrecision(templates[id])) << "template " << id;
    }
    // What a copy may read past the last stroke is zero.
    for (std::size_t p = 0; p < kStrokePoints; ++p) {
        for (std::size_t s = set.poolStrokes(); s < set.poolStrokes() + kStrokePadding; ++s) {
            EXPECT_EQ(set.strokeX(s)[p * TemplateSet::kTileStrokes], 0.0f);
            EXPECT_EQ(set.strokeY(s)[p * TemplateSet::kTileStrokes], 0.0f);
        }
    }
    // Chunk centroids are per template, shared strokes included.
    const TemplateSet::Group& three = set.groups()[3];
    ASSERT_EQ(three.ids, (std::vector<std::uint32_t>{0, 1}));
    const auto centroids = chunkCentroids(templates[0][2]);
    EXPECT_EQ(three.chunkX[2 * 2 + 1], static_cast<float>(centroids[0]));

    // Sharing a stroke of a later template, or of one that shares strokes itself, is refused.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(layOut({{{2, 0}, {own, 0}, {own, 0}}, {}, {}, {}}), "earlier template");
    EXPECT_DEATH(layOut({{}, {{0, 0}, {own, 0}, {0, 2}}, {}, {{1, 0}, {own, 0}}}),
                 "earlier template");
}

}  // namespace
}  // namespace sumiro
