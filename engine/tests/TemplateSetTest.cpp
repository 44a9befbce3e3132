#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "engine/HelperThread.h"
#include "engine/Normalization.h"
#include "engine/TemplateSet.h"

namespace sumiro {
namespace {

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
    ASSERT_EQ(two.groups().size(), one.groups().size());
    for (std::size_t m = 0; m < one.groups().size(); ++m) {
        const TemplateSet::Group& a = one.groups()[m];
        const TemplateSet::Group& b = two.groups()[m];
        EXPECT_EQ(b.strokeCount, a.strokeCount);
        EXPECT_EQ(b.ids, a.ids) << "group " << m;
        EXPECT_TRUE(std::ranges::equal(b.x, a.x)) << "x of group " << m;
        EXPECT_TRUE(std::ranges::equal(b.y, a.y)) << "y of group " << m;
        EXPECT_TRUE(std::ranges::equal(b.chunkX, a.chunkX)) << "chunkX of group " << m;
        EXPECT_TRUE(std::ranges::equal(b.chunkY, a.chunkY)) << "chunkY of group " << m;
    }
}

}  // namespace
}  // namespace sumiro
