#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>

#include "tools/databuild/SvgPath.h"

namespace sumiro::databuild {
namespace {

void expectNear(PathPoint actual, PathPoint expected) {
    EXPECT_NEAR(actual.x, expected.x, 1e-9) << "x";
    EXPECT_NEAR(actual.y, expected.y, 1e-9) << "y";
}

PathPoint midpoint(const SvgPath& path, std::size_t segment) {
    return path.segments().at(segment).at(0.5);
}

TEST(SvgPathTest, LinesInAbsoluteAndRelativeForms) {
    const SvgPath path = SvgPath::parse("M10,10 L20,10 l0,10 H0 h5 V0 v3");
    ASSERT_EQ(path.segments().size(), 6u);
    const PathPoint ends[] = {{20, 10}, {20, 20}, {0, 20}, {5, 20}, {5, 0}, {5, 3}};
    for (std::size_t i = 0; i < 6; ++i) expectNear(path.segments()[i].p3, ends[i]);
    expectNear(midpoint(path, 0), {15, 10});
    expectNear(path.start(), {10, 10});
}

TEST(SvgPathTest, CubicAndSmoothCubic) {
    // B(0.5) = (p0 + 3 p1 + 3 p2 + p3) / 8.
    const SvgPath path = SvgPath::parse("M0,0 C0,10 10,10 10,0 S20,-10 20,0");
    ASSERT_EQ(path.segments().size(), 2u);
    expectNear(midpoint(path, 0), {5, 7.5});
    // S reflects the previous second control point (10,10) about (10,0): (10,-10).
    expectNear(path.segments()[1].p1, {10, -10});
    expectNear(midpoint(path, 1), {15, -7.5});

    const SvgPath relative = SvgPath::parse("m0,0 c0,10 10,10 10,0 s10,-10 10,0");
    expectNear(midpoint(relative, 0), {5, 7.5});
    expectNear(midpoint(relative, 1), {15, -7.5});

    // Without a cubic before it, S takes the current point as its first control point.
    const SvgPath lone = SvgPath::parse("M0,0 L4,0 S8,8 8,0");
    expectNear(lone.segments()[1].p1, {4, 0});
    expectNear(midpoint(lone, 1), {4 * 0.5 + 8 * 0.5, 3.0});
}

TEST(SvgPathTest, QuadraticAndSmoothQuadratic) {
    // Q(0.5) = (p0 + 2 c + p2) / 4.
    const SvgPath path = SvgPath::parse("M0,0 Q10,20 20,0 T40,0");
    ASSERT_EQ(path.segments().size(), 2u);
    expectNear(midpoint(path, 0), {10, 10});
    // T reflects (10,20) about (20,0): control (30,-20).
    expectNear(midpoint(path, 1), {30, -10});
    expectNear(path.segments()[0].at(0.25), {5, 7.5});

    const SvgPath relative = SvgPath::parse("M0,0 q10,20 20,0 t20,0");
    expectNear(midpoint(relative, 0), {10, 10});
    expectNear(midpoint(relative, 1), {30, -10});
}

TEST(SvgPathTest, CloseAndImplicitRepetition) {
    const SvgPath closed = SvgPath::parse("M0,0 L10,0 L10,10 Z");
    ASSERT_EQ(closed.segments().size(), 3u);
    expectNear(closed.segments()[2].p3, {0, 0});
    EXPECT_NEAR(closed.length(), 20 + std::sqrt(200.0), 1e-9);

    // Pairs after a move-to are line-tos; after a relative move, relative ones.
    const SvgPath moves = SvgPath::parse("M0,0 10,0 10,10 m1,1 2,0");
    ASSERT_EQ(moves.segments().size(), 3u);
    expectNear(moves.segments()[2].p0, {11, 11});
    expectNear(moves.segments()[2].p3, {13, 11});

    // KanjiVG writes "c" with several curves in a row, each relative to the last end point.
    const SvgPath repeated = SvgPath::parse("M54.5,88 c -1,0 -2,1 -2,2 0,1 1,2 2,2");
    ASSERT_EQ(repeated.segments().size(), 2u);
    expectNear(repeated.segments()[1].p3, {54.5, 92});
}

TEST(SvgPathTest, NumberGrammar) {
    const SvgPath path = SvgPath::parse("M1.5.5L-1-2l+1e1,0");
    ASSERT_EQ(path.segments().size(), 2u);
    expectNear(path.start(), {1.5, 0.5});
    expectNear(path.segments()[0].p3, {-1, -2});
    expectNear(path.segments()[1].p3, {9, -2});
}

TEST(SvgPathTest, RejectsBadData) {
    for (const char* bad :
         {"L10,10", "M10", "M0,0 A1,1 0 0 1 5,5", "M0,0 Lx", "M0,0 Z 5,5", "10,10", "M0,0 L1,1 #"})
        EXPECT_THROW(SvgPath::parse(bad), std::invalid_argument) << bad;
}

TEST(SvgPathTest, SamplesEvenlyAlongTheLength) {
    const SvgPath line = SvgPath::parse("M0,0 L10,0");
    const auto three = line.sampleEvenly(3);
    ASSERT_EQ(three.size(), 3u);
    expectNear(three[1], {5, 0});

    // Around a corner: the samples keep equal path distance, not equal parameter steps.
    const auto corner = SvgPath::parse("M0,0 H30 V10").sampleEvenly(5);
    expectNear(corner[1], {10, 0});
    expectNear(corner[3], {30, 0});
    expectNear(corner[4], {30, 10});

    // On a strongly curved cubic, consecutive samples are equally far apart, the ends exact.
    const std::string curve =
        "M19.5,39.86c2.45,0.57,5.23,0.8,8.04,0.57C40.75,39.38,63,36.5,"
        "79.78,36.15c2.8-0.06,4.54,0.1,7.34,0.5";
    const SvgPath path = SvgPath::parse(curve);
    const auto points = path.sampleEvenly(18);
    expectNear(points.front(), {19.5, 39.86});
    expectNear(points.back(), {87.12, 36.65});
    const double step = path.length() / 17;
    for (std::size_t i = 1; i < points.size(); ++i) {
        const double gap = std::hypot(points[i].x - points[i - 1].x, points[i].y - points[i - 1].y);
        EXPECT_NEAR(gap, step, step * 0.01) << "between samples " << i - 1 << " and " << i;
    }
}

TEST(SvgPathTest, PointCountFollowsLengthWithinBounds) {
    EXPECT_EQ(SvgPath::parse("M0,0 L60,0").sample(4, 12, 24).size(), 16u);
    EXPECT_EQ(SvgPath::parse("M0,0 L10,0").sample(4, 12, 24).size(), 12u);
    EXPECT_EQ(SvgPath::parse("M0,0 L400,0").sample(4, 12, 24).size(), 24u);
    // A dot, or a bare move, still yields a full stroke at its place.
    for (const char* dot : {"M5,5 L5,5", "M5,5"}) {
        const auto points = SvgPath::parse(dot).sample(4, 12, 24);
        ASSERT_EQ(points.size(), 12u) << dot;
        for (const PathPoint& p : points) expectNear(p, {5, 5});
    }
}

}  // namespace
}  // namespace sumiro::databuild
