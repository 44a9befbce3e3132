#include <gtest/gtest.h>

#include <limits>

#include "views/GridLayout.h"
#include "views/InkRecorder.h"

namespace sumiro {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(GridLayoutTest, ColumnsTruncateTheWidthAndHeightCoversEveryRowNeverDroppingToZero) {
    EXPECT_EQ(GridLayout(100, 10).columns(), 2);
    EXPECT_EQ(GridLayout(0, 10).columns(), 1);
    EXPECT_EQ(GridLayout(kNaN, 10).columns(), 1);
    EXPECT_EQ(GridLayout(147, 10).columns(), 3);
    EXPECT_EQ(GridLayout(146.99, 10).columns(), 2);
    EXPECT_EQ(GridLayout(100, 10).height(), 245);
    EXPECT_EQ(GridLayout(100, 0).height(), 1);
    EXPECT_EQ(GridLayout(0, 42720).height(), 42720 * 49.0);
}

TEST(GridLayoutTest, CellSquaresAndHitTestingOfOccupiedCellsOnly) {
    const GridLayout layout(150, 7);  // 3 columns, last row holds one cell
    EXPECT_EQ(layout.pitchRect(5), QRectF(98, 49, 49, 49));
    EXPECT_EQ(layout.drawnRect(5), QRectF(100, 51, 45, 45));
    EXPECT_EQ(layout.indexAt({146.9, 0}), 2);
    EXPECT_EQ(layout.indexAt({147, 0}), std::nullopt);  // right strip, still inside the view
    EXPECT_EQ(layout.indexAt({48.99, 48.99}), 0);
    EXPECT_EQ(layout.indexAt({49, 49}), 4);
    EXPECT_EQ(layout.indexAt({10, 100}), 6);
    EXPECT_EQ(layout.indexAt({60, 100}), std::nullopt);  // empty tail of the last row
    EXPECT_EQ(layout.indexAt({10, 147}), std::nullopt);  // below the last row
    EXPECT_EQ(layout.indexAt({-0.1, 10}), std::nullopt);
    EXPECT_EQ(layout.indexAt({kNaN, 10}), std::nullopt);
    EXPECT_EQ(layout.indexAt({10, kInf}), std::nullopt);
    EXPECT_EQ(GridLayout(150, 0).indexAt({1, 1}), std::nullopt);
}

TEST(GridLayoutTest, RowsBetweenCoverWholeRowsClampedToTheList) {
    const GridLayout layout(490, 42720);  // 10 columns
    EXPECT_EQ(layout.rowsBetween(60, 100), (IndexRange{10, 30}));
    EXPECT_EQ(layout.rowsBetween(-30, 10), (IndexRange{0, 10}));
    EXPECT_EQ(layout.rowsBetween(4271 * 49, 1e9), (IndexRange{42710, 42720}));
    EXPECT_TRUE(layout.rowsBetween(4272 * 49, 1e9).empty());
    EXPECT_TRUE(GridLayout(490, 0).rowsBetween(0, 500).empty());
    EXPECT_EQ(GridLayout(490, 25).rowsBetween(0, 1000), (IndexRange{0, 25}));
}

TEST(CodeLabelTest, EveryScalarAtLeastFourUpperCaseDigits) {
    EXPECT_EQ(codeLabel(u"\u0378\u0379"), QStringLiteral("03780379"));
    EXPECT_EQ(codeLabel(QString::fromUcs4(U"\U0010FFFD\u00e9")), QStringLiteral("10FFFD00E9"));
    EXPECT_EQ(codeLabel(QStringView(u"\xD842")), QStringLiteral("D842"));  // lone surrogate
    EXPECT_EQ(codeLabel(u""), QString());
    EXPECT_EQ(codeLabel(u"\u0378\u0379", u"\n"), QStringLiteral("0378\n0379"));
}

TEST(WidthRuleTest, OnlyDifferencesAboveATenthCount) {
    EXPECT_FALSE(widthNeedsUpdate(300, 300.05));
    EXPECT_TRUE(widthNeedsUpdate(300, 300.2));
    EXPECT_TRUE(widthNeedsUpdate(300, kNaN));
}

TEST(InkRecorderTest, PointsAreScaledAndClampedToTheUnitSquare) {
    EXPECT_EQ(unitPoint({125, 50}, {250, 250}), (InkPoint{0.5, 0.2}));
    EXPECT_EQ(unitPoint({-40, 900}, {250, 250}), (InkPoint{0, 1}));
    // A zero-sized view divides into NaN and infinities; they still land on the square.
    EXPECT_EQ(unitPoint({0, 0}, {0, 0}), (InkPoint{0, 0}));
    EXPECT_EQ(unitPoint({3, -3}, {0, 0}), (InkPoint{1, 0}));
}

}  // namespace
}  // namespace sumiro
