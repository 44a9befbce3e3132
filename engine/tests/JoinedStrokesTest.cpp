#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>
#include <random>

#include "engine/Candidates.h"
#include "engine/CharacterDatabase.h"
#include "engine/JoinedStrokes.h"
#include "engine/Normalization.h"

namespace sumiro {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

using Joins = std::vector<std::size_t>;

// 口 in a 100-unit box: the left side, the top and right side, the bottom.
const Ink kMouth = {{{20, 20}, {20, 80}}, {{20, 20}, {80, 20}, {80, 80}}, {{20, 80}, {80, 80}}};
// Four short bars, each starting 10 units right of where the last ended: gaps of 10 / 70.
const Ink kSteps = {
    {{0, 0}, {10, 0}}, {{20, 10}, {30, 10}}, {{40, 20}, {50, 20}}, {{60, 30}, {70, 30}}};

TEST(JoinStrokes, FollowsTheFirstStrokesPointsWithTheSeconds) {
    const struct {
        Joins joins;
        Ink expected;
    } cases[] = {
        {{}, kMouth},
        {{1}, {kMouth[0], {{20, 20}, {80, 20}, {80, 80}, {20, 80}, {80, 80}}}},
        {{0}, {{{20, 20}, {20, 80}, {20, 20}, {80, 20}, {80, 80}}, kMouth[2]}},
        // Two joins in a row make the three strokes one.
        {{0, 1}, {{{20, 20}, {20, 80}, {20, 20}, {80, 20}, {80, 80}, {20, 80}, {80, 80}}}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(joinStrokes(kMouth, c.joins), c.expected) << ::testing::PrintToString(c.joins);
    }
    EXPECT_EQ(joinStrokes(kSteps, {0, 2}), (Ink{{{0, 0}, {10, 0}, {20, 10}, {30, 10}},
                                                {{40, 20}, {50, 20}, {60, 30}, {70, 30}}}));
}

TEST(JoinStrokesDeathTest, JoinsOutsideTheInkOrOutOfOrderArePreconditionFailures) {
    EXPECT_DEATH(joinStrokes(kMouth, {2}), "past the last stroke");
    EXPECT_DEATH(joinStrokes(kMouth, {1, 0}), "ascending");
    EXPECT_DEATH(joinStrokes(kMouth, {0, 0}), "ascending");
}

TEST(StrokeGaps, PenTravelOverTheLargerExtent) {
    const std::vector<double> mouth = strokeGaps(kMouth);
    ASSERT_EQ(mouth.size(), 2u);
    EXPECT_DOUBLE_EQ(mouth[0], 1.0);  // (20, 80) to (20, 20) in a 60-unit box
    EXPECT_DOUBLE_EQ(mouth[1], 1.0);  // (80, 80) to (20, 80)
    EXPECT_THAT(strokeGaps(kSteps), ElementsAre(std::hypot(10, 10) / 70, std::hypot(10, 10) / 70,
                                                std::hypot(10, 10) / 70));
    constexpr double inf = std::numeric_limits<double>::infinity();
    EXPECT_THAT(strokeGaps({kMouth[0], {}, kMouth[2]}), ElementsAre(inf, inf));
    EXPECT_THAT(strokeGaps({{{5, 5}}, {{5, 5}}}), ElementsAre(inf));  // no extent
    EXPECT_THAT(strokeGaps({}), IsEmpty());
}

TEST(JoinSets, GapRuleCountsAndOrder) {
    // The middle step is far from the rest: pairs 0, 1 and 2 have gaps of 0.1, 0.5 and 0.2 of
    // the size. Likelihoods: singles 0.29, 0.09, 0.22; doubles {0, 1} 0.06, {0, 2} 0.14,
    // {1, 2} 0.05; the only triple 0.15, all the share of three joins.
    const Ink ink = {
        {{0, 0}, {10, 0}}, {{10, 10}, {20, 10}}, {{70, 10}, {80, 10}}, {{80, 30}, {100, 30}}};
    const struct {
        JoinPolicy policy;
        std::vector<Joins> expected;
    } cases[] = {
        {kNoJoins, {}},
        {{0.6, 2, 10, 1}, {{0}, {2}, {0, 2}, {1}, {0, 1}, {1, 2}}},
        {{0.6, 3, 10, 1}, {{0}, {2}, {0, 1, 2}, {0, 2}, {1}, {0, 1}, {1, 2}}},
        // The gap rule leaves pair 1 out.
        {{0.3, 3, 10, 1}, {{0}, {2}, {0, 2}}},
        // The cap and the least likelihood keep the likeliest.
        {{0.6, 2, 4, 1}, {{0}, {2}, {0, 2}, {1}}},
        {{0.6, 3, 10, 1, 0.1}, {{0}, {2}, {0, 1, 2}, {0, 2}}},
        // At least three strokes kept: one join only; four: none.
        {{0.6, 2, 10, 3}, {{0}, {2}, {1}}},
        {{0.6, 2, 10, 4}, {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(joinSets(ink, c.policy), c.expected)
            << c.policy.maxGap << " " << c.policy.maxJoins << " " << c.policy.maxSpecimens << " "
            << c.policy.minStrokes << " " << c.policy.minLikelihood;
    }
}

TEST(JoinSets, OneStrokeMarkAndBudgetRules) {
    // A long bar, then a voicing mark: two ticks 11 units long in a 100-unit box. Gaps 0.54
    // and 0.11; likelihoods {1} 0.46, {0, 1} 0.25, {0} 0.14.
    const Ink voiced = {{{0, 50}, {100, 50}}, {{80, 0}, {85, 10}}, {{90, 0}, {95, 10}}};
    const Ink twoStrokes = {voiced[0], voiced[1]};
    const struct {
        Ink ink;
        JoinPolicy policy;
        std::vector<Joins> expected;
    } cases[] = {
        {voiced, {1.0, 2, 10, 1}, {{1}, {0, 1}, {0}}},
        // The ticks are marks: they stay apart, while the bar still joins the first of them.
        {voiced, {1.0, 2, 10, 1, 0.0, 3, 0.2}, {{0}}},
        {voiced, {1.0, 2, 10, 1, 0.0, 3, 0.1}, {{1}, {0, 1}, {0}}},
        // A character of three strokes is not written in one; one of two strokes may be.
        {voiced, {1.0, 2, 10, 1, 0.0, 2, 0.0}, {{1}, {0}}},
        {voiced, {1.0, 2, 10, 1, 0.0, 3, 0.0}, {{1}, {0, 1}, {0}}},
        {twoStrokes, {1.0, 2, 10, 1, 0.0, 2, 0.0}, {{0}}},
        {twoStrokes, {1.0, 2, 10, 1, 0.0, 1, 0.0}, {}},
        // The specimens' strokes together stay within the budget, the likeliest sets first.
        {voiced, {1.0, 2, 10, 1, 0.0, 3, 0.0, 3}, {{1}, {0, 1}}},
        {voiced, {1.0, 2, 10, 1, 0.0, 3, 0.0, 2}, {{1}}},
        {voiced, {1.0, 2, 10, 1, 0.0, 3, 0.0, 1}, {}},
        // A stroke of a single point has no length: next to another mark, it is one too.
        {{{{0, 0}}, {{5, 5}}, {{10, 10}, {100, 100}}}, {1.0, 1, 10, 1, 0.0, 3, 0.2}, {{1}}},
        {{{{0, 0}}, {{5, 5}}, {{10, 10}, {100, 100}}}, {1.0, 1, 10, 1}, {{0}, {1}}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(joinSets(c.ink, c.policy), c.expected)
            << c.ink.size() << " strokes, into one from at most " << c.policy.maxStrokesIntoOne
            << ", marks under " << c.policy.maxMarkLength << ", budget "
            << c.policy.maxSpecimenStrokes;
    }
}

CharacterEntry entry(std::string character, bool common) {
    return {std::move(character), 1, {}, "", common, true};
}

TEST(JoinedSpecimens, FollowTheirTemplateForCommonCharactersOnly) {
    const JoinPolicy policy{1.0, 2, 10, 1};
    const CharacterDatabase db({entry("口", true), entry("丁", false), entry("一", true)},
                               {{"口", kMouth}, {"丁", kMouth}, {"一", {kMouth[2]}}}, policy);
    EXPECT_EQ(db.fileTemplates(), 3u);
    std::vector<std::string> characters;
    for (const InkTemplate& t : db.templates()) {
        characters.push_back(t.character);
    }
    // 口's two single joins and its one double join, then the uncommon 丁 and the lone stroke.
    EXPECT_THAT(characters, ElementsAre("口", "口", "口", "口", "丁", "一"));
    const auto& templates = db.templates();
    EXPECT_EQ(templates[0].strokes, normalized(kMouth));
    // Equal gaps: the lower pair first.
    EXPECT_EQ(templates[1].strokes, normalized(joinStrokes(kMouth, {0})));
    EXPECT_EQ(templates[2].strokes, normalized(joinStrokes(kMouth, {1})));
    EXPECT_EQ(templates[3].strokes, normalized(joinStrokes(kMouth, {0, 1})));
    EXPECT_EQ(templates[4].strokes, normalized(kMouth));

    const CharacterDatabase plain({entry("口", true)}, {{"口", kMouth}}, kNoJoins);
    EXPECT_EQ(plain.templates().size(), 1u);
}

// Specimens are made again from the template's ink when needed, through a shortcut: they must
// equal what normalizing the joined ink gives, bit for bit, empty strokes, huge and tiny inks
// and all.
TEST(JoinedSpecimens, EqualTheJoinedInkNormalized) {
    std::mt19937 random(3);
    std::uniform_real_distribution<double> coordinate(0, 109);
    std::vector<RawTemplate> raw;
    std::vector<CharacterEntry> entries;
    for (int t = 0; t < 40; ++t) {
        Ink ink(2 + t % 7);
        for (Stroke& stroke : ink) {
            for (int p = 1 + t % 4; p > 0; --p) {
                stroke.push_back({coordinate(random), coordinate(random)});
            }
        }
        if (t % 10 == 3) {
            ink[1].clear();
        }
        // Inks so large or so thin that normalizing rescales them first.
        const double scale = t % 10 == 5 ? 1e300 : t % 10 == 7 ? 1e-5 : 1.0;
        for (Stroke& stroke : ink) {
            for (InkPoint& point : stroke) {
                point = {point.x * scale, point.y * scale};
            }
        }
        raw.push_back({"c" + std::to_string(t), ink});
        entries.push_back(entry(raw.back().character, true));
    }
    const JoinPolicy policy{1.0, 3, 50, 1};
    const CharacterDatabase db(entries, raw, policy);
    std::vector<InkTemplate> expected;
    for (const RawTemplate& t : raw) {
        expected.push_back({t.character, normalized(t.strokes)});
        for (const Joins& joins : joinSets(t.strokes, policy)) {
            expected.push_back({t.character, normalized(joinStrokes(t.strokes, joins))});
        }
    }
    ASSERT_EQ(db.templateCount(), expected.size());
    ASSERT_GT(expected.size(), 3 * raw.size());
    for (std::size_t id = 0; id < expected.size(); ++id) {
        EXPECT_EQ(db.templateCharacter(id), expected[id].character) << id;
        Ink scratch;
        EXPECT_EQ(db.templateStrokes(id, scratch), expected[id].strokes) << id;
        EXPECT_EQ(db.templates()[id].strokes, expected[id].strokes) << id;
    }
}

// Hand-drawn in a 100-unit box, y downward, like the self-test's samples.
const Ink kTree = {{{20, 40}, {85, 40}},
                   {{53, 12}, {53, 92}},
                   {{52, 40}, {35, 63}, {13, 83}},
                   {{53, 40}, {70, 63}, {93, 82}}};

TEST(JoinedSpecimens, BuiltDataRecognizesJoinedMouthAndTree) {
    const std::filesystem::path dir(SUMIRO_RESOURCE_DIR);
    if (!std::filesystem::exists(dir / "templates.json")) {
        GTEST_SKIP() << "no built character data in " << dir;
    }
    const CharacterDatabase db(dir);
    const Ink mouth = {{{20, 20}, {20, 85}}, {{20, 20}, {80, 20}, {80, 85}}, {{20, 85}, {80, 85}}};
    // 口 shares its shape with 囗 and ロ: among the first three is as well as it can do.
    const struct {
        std::string character;
        Ink ink;
        std::size_t within;
    } cases[] = {
        // The right side and the bottom in one go: back along the bottom from the corner.
        {"口", joinStrokes(mouth, {1}), 3},
        // The left side, then up to the top without lifting the pen.
        {"口", joinStrokes(mouth, {0}), 3},
        // The sweeps to the left and to the right without a lift between them.
        {"木", joinStrokes(kTree, {2}), 1},
        {"木", joinStrokes(kTree, {1, 2}), 1},
    };
    for (const auto& c : cases) {
        const std::vector<std::string> top = distinctCandidates(db.recognize(c.ink));
        const auto rank = std::find(top.begin(), top.end(), c.character) - top.begin();
        EXPECT_LT(rank, static_cast<std::ptrdiff_t>(c.within))
            << c.character << " in " << c.ink.size() << " strokes: "
            << ::testing::PrintToString(std::vector(
                   top.begin(), top.begin() + std::min<std::ptrdiff_t>(5, std::ssize(top))));
    }
}

TEST(DistinctCandidates, KeepsEachCharacterOnceAtItsBestRank) {
    const struct {
        std::vector<std::string> ranked, expected;
    } cases[] = {
        {{}, {}},
        {{"口", "ロ", "口", "日", "ロ", "口"}, {"口", "ロ", "日"}},
        {{"木", "木", "木"}, {"木"}},
        // Canonically equivalent spellings are one character: the first spelling stays.
        {{"\uF91D", "欄", "\u6B04", "e\u0301", "\u00E9"}, {"\uF91D", "e\u0301"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(distinctCandidates(c.ranked), c.expected);
    }
}

}  // namespace
}  // namespace sumiro
