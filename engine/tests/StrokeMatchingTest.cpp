#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "engine/Normalization.h"
#include "engine/StrokeMatching.h"

namespace sumiro {
namespace {

TEST(StrokeDistance, ForwardReverseAndLengths) {
    const Stroke s = resample({{-0.5, 0}, {0.5, 0}}, 16);
    EXPECT_EQ(strokeDistance(s, s), 0.0);
    // Drawn backwards: the reversed pairing costs only its penalty.
    const Stroke back(s.rbegin(), s.rend());
    EXPECT_DOUBLE_EQ(strokeDistance(s, back), 0.3 / 16);
    EXPECT_EQ(strokeDistance({}, s), 0.0);
    EXPECT_EQ(strokeDistance(s, {}), 0.0);

    // Unequal lengths: the first min(count) points pair up, the sum is divided by a's count...
    Stroke raised(s.begin(), s.begin() + 10);
    for (InkPoint& p : raised) p.y = 1;
    EXPECT_DOUBLE_EQ(strokeDistance(s, raised), 10.0 / 16);
    EXPECT_DOUBLE_EQ(strokeDistance(raised, s), 1.0);
    // ...and in reverse a's first point pairs with b's last.
    EXPECT_DOUBLE_EQ(strokeDistance(Stroke(back.begin(), back.begin() + 10), s), 0.3 / 10);
}

TEST(AssignmentCost, FindsTheBestPairing) {
    EXPECT_EQ(assignmentCost(std::vector<std::vector<double>>{}), 0.0);
    EXPECT_EQ(assignmentCost({{0.25}}), 0.25);
    EXPECT_DOUBLE_EQ(assignmentCost({{4, 1}, {2, 3}}), 1.5);
    EXPECT_DOUBLE_EQ(assignmentCost({{0.55, 0.55, 0.55}, {0.55, 0.55, 0.55}, {0.55, 0.55, 0.55}}),
                     0.55);
    // Rows longer than the side: only the first n entries count.
    EXPECT_DOUBLE_EQ(assignmentCost({{1, 9, -100}, {9, 1, -100}}), 1.0);
    // Permuting the columns keeps the cost.
    std::vector<std::vector<double>> m = {
        {0.1, 0.9, 0.8, 0.7}, {0.8, 0.2, 0.9, 0.9}, {0.9, 0.8, 0.3, 0.6}, {0.7, 0.9, 0.9, 0.4}};
    EXPECT_DOUBLE_EQ(assignmentCost(m), 0.25);
    for (auto& row : m) row = {row[2], row[0], row[3], row[1]};
    EXPECT_DOUBLE_EQ(assignmentCost(m), 0.25);
}

TEST(AssignmentCost, NonFiniteEntriesCostInfinityInsteadOfHanging) {
    constexpr double inf = std::numeric_limits<double>::infinity();
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(assignmentCost({{1, nan}, {2, 3}}), inf);
    EXPECT_EQ(assignmentCost({{inf, inf}, {inf, inf}}), inf);
    EXPECT_EQ(assignmentCost({{1, 2}, {-inf, 3}}), inf);
    // Huge but finite entries whose potentials overflow must still end.
    const double big = std::numeric_limits<double>::max();
    const double cost = assignmentCost({{big, -big, big}, {-big, big, -big}, {big, big, -big}});
    EXPECT_FALSE(std::isnan(cost));
}

TEST(AssignmentCostDeathTest, RowsShorterThanTheSideAreAPreconditionFailure) {
    EXPECT_DEATH(assignmentCost({{1, 2}, {3}}), "square");
}

}  // namespace
}  // namespace sumiro
