#include <gtest/gtest.h>

#include "engine/Normalization.h"

namespace sumiro {
namespace {

void expectNear(const InkPoint& p, double x, double y) {
    EXPECT_NEAR(p.x, x, 1e-12);
    EXPECT_NEAR(p.y, y, 1e-12);
}

TEST(Resample, WalksThePolylineAtEvenSpacing) {
    const Stroke corner = {{0, 0}, {10, 0}, {10, 10}};
    EXPECT_EQ(resample(corner, 3), (Stroke{{0, 0}, {10, 0}, {10, 10}}));
    const Stroke five = resample(corner, 5);
    ASSERT_EQ(five.size(), 5u);
    expectNear(five[1], 5, 0);
    expectNear(five[2], 10, 0);
    expectNear(five[3], 10, 5);
    expectNear(five[4], 10, 10);
    EXPECT_EQ(resample(corner).size(), 16u);
}

TEST(Resample, DegenerateStrokes) {
    EXPECT_TRUE(resample({}, 16).empty());
    EXPECT_TRUE(resample({{1, 2}, {3, 4}}, 0).empty());
    EXPECT_EQ(resample({{3, 4}}, 4), Stroke(4, InkPoint{3, 4}));
    EXPECT_EQ(resample({{3, 4}, {9, 9}}, 1), Stroke(1, InkPoint{3, 4}));
    // Shorter than the dot threshold: copies of the first point, not of the last.
    EXPECT_EQ(resample({{1, 1}, {1.0005, 1}, {1.0009, 1}}, 16), Stroke(16, InkPoint{1, 1}));
    // Repeated points make zero-length segments, which must not divide by zero.
    const Stroke repeated = resample({{0, 0}, {0, 0}, {0, 0}, {6, 0}, {6, 0}}, 4);
    ASSERT_EQ(repeated.size(), 4u);
    expectNear(repeated[0], 0, 0);
    expectNear(repeated[1], 2, 0);
    expectNear(repeated[2], 4, 0);
    expectNear(repeated[3], 6, 0);
}

TEST(ResampleDeathTest, NegativeCountIsAPreconditionFailure) {
    EXPECT_DEATH(resample({{0, 0}, {1, 1}}, -1), "count must not be negative");
}

TEST(Normalized, EmptyInksStayEmpty) {
    EXPECT_TRUE(normalized({}).empty());
    EXPECT_TRUE(normalized({{}, {}}).empty());
}

TEST(Normalized, SinglePointLandsAtTheOrigin) {
    EXPECT_EQ(normalized({{}, {{7, 9}}}), (Ink{Stroke(16, InkPoint{0, 0})}));
}

TEST(Normalized, CrossFillsTheUnitBox) {
    const Ink ink = normalized({{{10, 50}, {90, 50}}, {{50, 10}, {50, 90}}});
    ASSERT_EQ(ink.size(), 2u);
    for (std::size_t i = 0; i < 16; ++i) {
        const double t = -0.5 + static_cast<double>(i) / 15.0;
        expectNear(ink[0][i], t, 0);
        expectNear(ink[1][i], 0, t);
    }
}

TEST(Normalized, ThinAxisIsStretchedOnlyToThirtyFivePercent) {
    const Ink flat = normalized({{{0, 0}, {100, 0}}});
    expectNear(flat[0].front(), -0.5, 0);
    expectNear(flat[0].back(), 0.5, 0);

    // 100 x 20: sy = 35, so y spans +-20/70.
    const Ink wide = normalized({{{0, 0}, {100, 0}}, {{0, 20}, {100, 20}}});
    expectNear(wide[0].front(), -0.5, -20.0 / 70.0);
    expectNear(wide[1].back(), 0.5, 20.0 / 70.0);

    // 100 x 50: both axes span the full unit, the aspect ratio is not kept.
    const Ink half = normalized({{{0, 0}, {100, 50}}});
    expectNear(half[0].front(), -0.5, -0.5);
    expectNear(half[0].back(), 0.5, 0.5);
}

TEST(Normalized, IgnoresPositionAndUniformScale) {
    const Ink base = {{{20, 40}, {85, 40}}, {{53, 12}, {53, 92}}, {{52, 40}, {35, 63}, {13, 83}}};
    Ink moved = base;
    for (Stroke& s : moved) {
        for (InkPoint& p : s) {
            p = {p.x / 500 + 0.4, p.y / 500 + 0.3};
        }
    }
    const Ink a = normalized(base);
    const Ink b = normalized(moved);
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t s = 0; s < a.size(); ++s) {
        for (std::size_t i = 0; i < 16; ++i) {
            expectNear(b[s][i], a[s][i].x, a[s][i].y);
        }
    }
}

TEST(Normalized, ExtremeCoordinatesNeitherCrashNorOverflowTheCentre) {
    const Ink ink = normalized({{{1e308, 1e308}, {1e308, 1e308}}, {{-1e308, 0}}});
    ASSERT_EQ(ink.size(), 2u);
    EXPECT_EQ(ink[0].size(), 16u);
    // Width overflows to infinity: every point maps to the centre line instead of to NaN.
    EXPECT_EQ(ink[0][0].x, 0.0);
}

}  // namespace
}  // namespace sumiro
