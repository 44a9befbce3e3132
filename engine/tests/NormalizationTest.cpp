#include <gtest/gtest.h>

#include <limits>

#include "engine/Normalization.h"

namespace sumiro {
namespace {

void expectNear(const Ink& actual, const Ink& expected) {
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t s = 0; s < actual.size(); ++s) {
        ASSERT_EQ(actual[s].size(), expected[s].size()) << "stroke " << s;
        for (std::size_t i = 0; i < actual[s].size(); ++i) {
            EXPECT_NEAR(actual[s][i].x, expected[s][i].x, 1e-12)
                << "stroke " << s << " point " << i;
            EXPECT_NEAR(actual[s][i].y, expected[s][i].y, 1e-12)
                << "stroke " << s << " point " << i;
        }
    }
}

TEST(Resample, WalksThePolylineAtEvenSpacing) {
    const Stroke corner = {{0, 0}, {10, 0}, {10, 10}};
    EXPECT_EQ(resample(corner, 3), corner);
    expectNear({resample(corner, 5)}, {{{0, 0}, {5, 0}, {10, 0}, {10, 5}, {10, 10}}});
}

TEST(Resample, DegenerateStrokes) {
    EXPECT_TRUE(resample({}, 16).empty());
    EXPECT_TRUE(resample({{1, 2}, {3, 4}}, 0).empty());
    EXPECT_EQ(resample({{3, 4}}, 4), Stroke(4, InkPoint{3, 4}));
    EXPECT_EQ(resample({{3, 4}, {9, 9}}, 1), Stroke(1, InkPoint{3, 4}));
    // Shorter than the dot threshold: copies of the first point, not of the last.
    EXPECT_EQ(resample({{1, 1}, {1.0005, 1}, {1.0009, 1}}, 16), Stroke(16, InkPoint{1, 1}));
    // Repeated points make zero-length segments, which must not divide by zero.
    expectNear({resample({{0, 0}, {0, 0}, {0, 0}, {6, 0}, {6, 0}}, 4)},
               {{{0, 0}, {2, 0}, {4, 0}, {6, 0}}});
}

TEST(ResampleDeathTest, NegativeCountIsAPreconditionFailure) {
    EXPECT_DEATH(resample({{0, 0}, {1, 1}}, -1), "count must not be negative");
}

TEST(Normalized, DegenerateInks) {
    EXPECT_TRUE(normalized({}).empty());
    EXPECT_TRUE(normalized({{}, {}}).empty());
    // A single point lands at the origin.
    EXPECT_EQ(normalized({{}, {{7, 9}}}), (Ink{Stroke(16, InkPoint{0, 0})}));
    // Coordinates that are not finite leave no shape.
    EXPECT_TRUE(normalized({{{0, 0}, {std::numeric_limits<double>::infinity(), 1}}}).empty());
    EXPECT_TRUE(normalized({{{0, 0}, {1, std::numeric_limits<double>::quiet_NaN()}}}).empty());
}

TEST(Normalized, AnyFiniteScaleGivesTheSameShape) {
    // The width of the first ink overflows a double; the others would be all dots as drawn.
    const Ink plain = normalized({{{1, 1}, {1, 1}}, {{-1, 0}}});
    for (const double scale : {1e308, 1e-3, 1e-300})
        expectNear(normalized({{{scale, scale}, {scale, scale}}, {{-scale, 0}}}), plain);
}

TEST(Normalized, CrossFillsTheUnitBox) {
    // 16 evenly spaced points across the whole unit box on each axis.
    expectNear(normalized({{{10, 50}, {90, 50}}, {{50, 10}, {50, 90}}}),
               {resample({{-0.5, 0}, {0.5, 0}}, 16), resample({{0, -0.5}, {0, 0.5}}, 16)});
}

TEST(Normalized, ThinAxisIsStretchedOnlyToThirtyFivePercent) {
    const auto ends = [](const Ink& ink) { return Ink{{ink.front().front(), ink.back().back()}}; };
    expectNear(ends(normalized({{{0, 0}, {100, 0}}})), {{{-0.5, 0}, {0.5, 0}}});
    // 100 x 20: sy = 35, so y spans +-20/70.
    expectNear(ends(normalized({{{0, 0}, {100, 0}}, {{0, 20}, {100, 20}}})),
               {{{-0.5, -20.0 / 70.0}, {0.5, 20.0 / 70.0}}});
    // 100 x 50: both axes span the full unit, the aspect ratio is not kept.
    expectNear(ends(normalized({{{0, 0}, {100, 50}}})), {{{-0.5, -0.5}, {0.5, 0.5}}});
}

TEST(Normalized, IgnoresPositionAndUniformScale) {
    const Ink base = {{{20, 40}, {85, 40}}, {{53, 12}, {53, 92}}, {{52, 40}, {35, 63}, {13, 83}}};
    Ink moved = base;
    for (Stroke& s : moved)
        for (InkPoint& p : s) p = {p.x / 500 + 0.4, p.y / 500 + 0.3};
    expectNear(normalized(moved), normalized(base));
}

}  // namespace
}  // namespace sumiro
