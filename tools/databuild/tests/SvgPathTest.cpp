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

TEST(SvgPathTest, EveryCommandFormMatchesItsPlainAbsoluteForm) {
    const std::pair<const char*, const char*> equivalents[] = {
        {"M10,10 L20,10 l0,10 H0 h5 V0 v3", "M10,10 L20,10 L20,20 L0,20 L5,20 L5,0 L5,3"},
        {"M0,0 L10,0 L10,10 Z", "M0,0 L10,0 L10,10 L0,0"},
        // Pairs after a move-to are line-tos; after a relative move, relative ones.
        {"M0,0 10,0 10,10 m1,1 2,0", "M0,0 L10,0 L10,10 M11,11 L13,11"},
        // KanjiVG writes "c" with several curves in a row, each relative to the last end point.
        {"M54.5,88 c -1,0 -2,1 -2,2 0,1 1,2 2,2",
         "M54.5,88 C53.5,88 52.5,89 52.5,90 C52.5,91 53.5,92 54.5,92"},
        // S and T reflect the previous control point about the current point...
        {"m0,0 c0,10 10,10 10,0 s10,-10 10,0", "M0,0 C0,10 10,10 10,0 C10,-10 20,-10 20,0"},
        {"M0,0 q10,20 20,0 t20,0", "M0,0 Q10,20 20,0 Q30,-20 40,0"},
        // ...and without a curve before them take the current point itself.
        {"M0,0 L4,0 S8,8 8,0", "M0,0 L4,0 C4,0 8,8 8,0"},
        {"M1.5.5L-1-2l+1e1,0", "M1.5,0.5 L-1,-2 L9,-2"},
    };
    for (const auto& [form, plain] : equivalents) {
        SCOPED_TRACE(form);
        const SvgPath actual = SvgPath::parse(form), expected = SvgPath::parse(plain);
        expectNear(actual.start(), expected.start());
        ASSERT_EQ(actual.segments().size(), expected.segments().size());
        for (std::size_t i = 0; i < actual.segments().size(); ++i)
            for (auto point : {&SvgPath::Segment::p0, &SvgPath::Segment::p1, &SvgPath::Segment::p2,
                               &SvgPath::Segment::p3})
                expectNear(actual.segments()[i].*point, expected.segments()[i].*point);
    }
}

TEST(SvgPathTest, CurvesAndLengthsAreExact) {
    // B(0.5) = (p0 + 3 p1 + 3 p2 + p3) / 8; Q(t) = (1-t)² p0 + 2t(1-t) c + t² p2.
    expectNear(SvgPath::parse("M0,0 C0,10 10,10 10,0").segments()[0].at(0.5), {5, 7.5});
    const SvgPath::Segment quadratic = SvgPath::parse("M0,0 Q10,20 20,0").segments()[0];
    expectNear(quadratic.at(0.5), {10, 10});
    expectNear(quadratic.at(0.25), {5, 7.5});
    EXPECT_NEAR(SvgPath::parse("M0,0 L10,0 L10,10 Z").length(), 20 + std::sqrt(200.0), 1e-9);
}

TEST(SvgPathTest, RejectsBadData) {
    for (const char* bad :
         {"L10,10", "M10", "M0,0 A1,1 0 0 1 5,5", "M0,0 Lx", "M0,0 Z 5,5", "10,10", "M0,0 L1,1 #"})
        EXPECT_THROW(SvgPath::parse(bad), std::invalid_argument) << bad;
    // Points out of range, given or reached: by a relative move, or by a chain of reflected
    // control points (each T reflects the last control point about a point in range).
    for (const char* far :
         {"M1e7,0", "M0,0 H-2e6", "M9e5,0 l2e5,0", "M0,0 Q9e5,0 1e5,0 T2e5,0 T3e5,0"})
        EXPECT_THROW(SvgPath::parse(far), std::invalid_argument) << far;
    EXPECT_NO_THROW(SvgPath::parse("M-1e6,1e6 L1e6,-1e6"));
}

TEST(SvgPathTest, SamplesEvenlyAlongTheLength) {
    // Around a corner: the samples keep equal path distance, not equal parameter steps.
    const auto corner = SvgPath::parse("M0,0 H30 V10").sampleEvenly(5);
    expectNear(corner[1], {10, 0});
    expectNear(corner[3], {30, 0});
    expectNear(corner[4], {30, 10});

    // On a strongly curved cubic, consecutive samples are equally far apart, the ends exact.
    const SvgPath path = SvgPath::parse(
        "M19.5,39.86c2.45,0.57,5.23,0.8,8.04,0.57C40.75,39.38,63,36.5,"
        "79.78,36.15c2.8-0.06,4.54,0.1,7.34,0.5");
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
