#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <limits>

#include "engine/Candidates.h"
#include "engine/CharacterDatabase.h"

namespace sumiro {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAre;

const Stroke kBar = {{10, 50}, {90, 50}};
const Stroke kPole = {{50, 10}, {50, 90}};
const Stroke kBarBackwards = {{90, 50}, {10, 50}};
const Ink kCross = {kBar, kPole};

CharacterEntry entry(std::string character, bool common) {
    return {std::move(character), 1, {}, "", common, true};
}

// n horizontal bars stacked downwards: a shape for any stroke count.
Ink bars(int n) {
    Ink ink;
    for (int i = 0; i < n; ++i) ink.push_back({{0, 10.0 * i}, {100, 10.0 * i + 3}});
    return ink;
}

TEST(Recognize, OrderAndDirectionOfStrokesAreTolerated) {
    const CharacterDatabase db({entry("R", false)},
                               {{"R", {kBarBackwards, kPole}},
                                {"S", {kPole, kBar}},
                                {"X", kCross},
                                {"L", {{{10, 10}, {10, 90}}, {{10, 90}, {90, 90}}}}});
    // S and X both score 0 and keep database order; R pays for its reversed stroke.
    EXPECT_THAT(db.recognize(kCross), ElementsAre("S", "X", "R", "L"));
    // Every stroke backwards, in reverse order: still an exact match up to the reversal price.
    EXPECT_THAT(db.recognize({{{50, 90}, {50, 10}}, kBarBackwards}, 1), ElementsAre("R"));
}

TEST(Recognize, CommonBonusOutweighsASmallDifference) {
    // R's reversed stroke costs 0.3 / 16 / 2 = 0.009375, less than the bonus 0.012. Never
    // joined, as common R would otherwise be.
    const CharacterDatabase db({entry("X", false), entry("R", true)},
                               {{"X", kCross}, {"R", {kBarBackwards, kPole}}}, kNoJoins);
    EXPECT_THAT(db.recognize(kCross), ElementsAre("R", "X"));
}

TEST(Recognize, TheWritingAreaTellsSmallKanaFromTheirFullSizeTwins) {
    // One shape for both twins; the common あ leads without an area, as the bonus says.
    const CharacterDatabase db({entry("あ", true), entry("ぁ", false)},
                               {{"ぁ", kCross}, {"あ", kCross}}, kNoJoins);
    EXPECT_THAT(db.recognize(kCross), ElementsAre("あ", "ぁ"));
    // The cross is 80 units wide and high: full size in a 100-unit square, small in a 200-unit
    // one, and not small in an area where it takes most of the width.
    EXPECT_THAT(db.recognize(kCross, 2, WritingArea{100, 100}), ElementsAre("あ", "ぁ"));
    EXPECT_THAT(db.recognize(kCross, 2, WritingArea{200, 200}), ElementsAre("ぁ", "あ"));
    EXPECT_THAT(db.recognize(kCross, 2, WritingArea{100, 400}), ElementsAre("あ", "ぁ"));
    // A twin ranked further behind moves up to the other's place; others keep their order.
    // Drawn small, ェ also goes before the kanji of its shape; drawn full size, エ stays
    // behind it: size tells kana from kana only.
    std::vector<std::string> ranked{"あ", "x", "ぁ", "ャ", "ヤ", "ョ", "工", "エ", "ェ"};
    orderKanaBySize(ranked, true);
    EXPECT_THAT(ranked, ElementsAre("ぁ", "あ", "x", "ャ", "ヤ", "ョ", "ェ", "工", "エ"));
    orderKanaBySize(ranked, false);
    EXPECT_THAT(ranked, ElementsAre("あ", "ぁ", "x", "ヤ", "ャ", "ョ", "エ", "ェ", "工"));
}

TEST(Recognize, StrokeCountToleranceFiltersTemplates) {
    std::vector<RawTemplate> templates;
    for (int m = 1; m <= 16; ++m) templates.push_back({std::to_string(m), bars(m)});
    const CharacterDatabase db({}, std::move(templates));
    EXPECT_THAT(db.recognize(bars(1), 100), UnorderedElementsAre("1", "2", "3"));
    EXPECT_THAT(db.recognize(bars(9), 100), UnorderedElementsAre("7", "8", "9", "10", "11"));
    EXPECT_THAT(db.recognize(bars(12), 100), UnorderedElementsAre("10", "11", "12", "13", "14"));
    EXPECT_THAT(db.recognize(bars(15), 100), UnorderedElementsAre("12", "13", "14", "15", "16"));
}

TEST(RecognizeDeathTest, NegativeLimitIsAPreconditionFailure) {
    const CharacterDatabase db({}, {{"十", kCross}});
    EXPECT_DEATH(db.recognize(kCross, -1), "limit must not be negative");
}

// Only the shape counts: the same drawing anywhere in the range of doubles, however small or
// large, gets the same answer (here the right one is last in database order).
TEST(Recognize, SameAnswerAtEveryFiniteScale) {
    const CharacterDatabase db({}, {{"一", {kBar}},
                                    {"L", {{{10, 10}, {10, 90}}, {{10, 90}, {90, 90}}}},
                                    {"T", {{{10, 10}, {90, 10}}, kPole}},
                                    {"十", kCross}});
    const std::vector<std::string> expected = db.recognize(kCross);
    ASSERT_EQ(expected.front(), "十");
    const auto scaled = [](double scale, double offset) {
        Ink ink = kCross;
        for (Stroke& stroke : ink)
            for (InkPoint& p : stroke)
                p = {(p.x - 50) * scale + offset, (p.y - 50) * scale - offset};
        return ink;
    };
    constexpr double kLargest = std::numeric_limits<double>::max();
    // Coordinates up to 40 times the scale: near 1e307 at 1e306, near the largest double last.
    for (const double scale :
         {1e-300, 1e-20, 1e-3, 1.0, 1e20, 1e154, 1e300, 1e306, kLargest / 50}) {
        for (const double offset : {0.0, 3 * scale, -1e300 * std::min(scale, 1.0)})
            EXPECT_EQ(db.recognize(scaled(scale, offset)), expected) << scale << " " << offset;
    }
    // Both axes spanning the whole range of doubles.
    EXPECT_EQ(db.recognize({{{-kLargest, 0}, {kLargest, 0}}, {{0, -kLargest}, {0, kLargest}}}),
              expected);
}

TEST(Recognize, DegenerateInputsAndTemplates) {
    EXPECT_THAT(CharacterDatabase(std::vector<CharacterEntry>{}, {}).recognize(kCross), IsEmpty());
    // A stroke spanning the whole double range makes the pole beside it a dot.
    const Stroke huge = {{-1e308, 0}, {1e308, 0}};
    const CharacterDatabase db({}, {{"huge", {huge, kPole}}, {"none", {}}, {"十", kCross}});
    EXPECT_THAT(db.recognize({}), IsEmpty());
    EXPECT_THAT(db.recognize({{}, {}}), IsEmpty());
    EXPECT_THAT(db.recognize({}, -1), IsEmpty());
    EXPECT_THAT(db.recognize(kCross, 0), IsEmpty());
    // No strokes: every pair unmatched (0.55) plus two strokes' count penalty.
    EXPECT_THAT(db.recognize(kCross), ElementsAre("十", "huge", "none"));
    EXPECT_THAT(db.recognize({huge, kPole}, 1), ElementsAre("huge"));

    // A point that is not a number, or infinitely far, leaves nothing to recognize.
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    constexpr double inf = std::numeric_limits<double>::infinity();
    EXPECT_THAT(db.recognize({{{nan, 1}, {2, nan}}, kPole}), IsEmpty());
    EXPECT_THAT(db.recognize({{{0, 1}, {inf, 1}}, kPole}), IsEmpty());
}

}  // namespace
}  // namespace sumiro
