#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
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

// Pair i as bit i.
std::uint64_t bits(const Joins& pairs) {
    std::uint64_t set = 0;
    for (const std::size_t p : pairs) {
        set |= std::uint64_t{1} << p;
    }
    return set;
}

TEST(Joinability, GapMarkAndStrokeRules) {
    // The middle step is far from the rest: pairs 0, 1 and 2 have gaps of 0.1, 0.5 and 0.2 of
    // the size.
    const Ink steps = {
        {{0, 0}, {10, 0}}, {{10, 10}, {20, 10}}, {{70, 10}, {80, 10}}, {{80, 30}, {100, 30}}};
    // A long bar, then a voicing mark: two ticks 11 units long in a 100-unit box.
    const Ink voiced = {{{0, 50}, {100, 50}}, {{80, 0}, {85, 10}}, {{90, 0}, {95, 10}}};
    const Ink twoStrokes = {voiced[0], voiced[1]};
    const struct {
        Ink ink;
        JoinPolicy policy;
        Joins pairs;
        std::size_t joins;
    } cases[] = {
        {steps, kNoJoins, {}, 0},
        {steps, {0.6, 2, 1}, {0, 1, 2}, 2},
        {steps, {0.6, 3, 1}, {0, 1, 2}, 3},
        // The gap rule leaves pair 1 out; the joins are as many as the pairs left.
        {steps, {0.3, 3, 1}, {0, 2}, 2},
        // At least three strokes kept: one join only; four: none.
        {steps, {0.6, 2, 3}, {0, 1, 2}, 1},
        {steps, {0.6, 2, 4}, {}, 0},
        // The ticks are marks: they stay apart, while the bar still joins the first of them.
        {voiced, {1.0, 2, 1, 3, 0.2}, {0}, 1},
        {voiced, {1.0, 2, 1, 3, 0.1}, {0, 1}, 2},
        // A character of three strokes is not written in one; one of two strokes may be.
        {voiced, {1.0, 2, 1, 2, 0.0}, {0, 1}, 1},
        {twoStrokes, {1.0, 2, 1, 2, 0.0}, {0}, 1},
        {twoStrokes, {1.0, 2, 1, 1, 0.0}, {}, 0},
        // A stroke of a single point has no length: next to another mark, it is one too.
        {{{{0, 0}}, {{5, 5}}, {{10, 10}, {100, 100}}}, {1.0, 1, 1, 3, 0.2}, {1}, 1},
    };
    for (const auto& c : cases) {
        const Joinability j = joinability(c.ink, c.policy);
        EXPECT_EQ(j.pairs, bits(c.pairs)) << ::testing::PrintToString(c.pairs);
        EXPECT_EQ(j.maxJoins, c.joins) << ::testing::PrintToString(c.pairs);
    }
}

TEST(PieceSlots, OwnStrokesThenRunsByLengthAndFirstStroke) {
    // Four strokes, up to two joins: 0-3 the strokes, 4-6 the runs of two, 7-8 those of three.
    EXPECT_EQ(pieceSlot(4, 2, 1), 2u);
    EXPECT_EQ(pieceSlot(4, 0, 2), 4u);
    EXPECT_EQ(pieceSlot(4, 2, 2), 6u);
    EXPECT_EQ(pieceSlot(4, 1, 3), 8u);
    EXPECT_EQ(pieceSlots(4, 0), 4u);
    EXPECT_EQ(pieceSlots(4, 2), 9u);
    EXPECT_EQ(pieceSlots(4, 3), 10u);
    EXPECT_EQ(pieceSlots(0, 0), 0u);
}

// Joining at all is paid once, by drawings with joins only: a template as the file has it must
// keep its score, or joinable templates would fall behind the others in ordinary writing.
TEST(JoinCost, JoiningIsPaidOnceAndNotWithoutJoins) {
    const JoinPolicy policy{1.0, 3, 1, 2, 0.2, 0.01, 0.03};
    EXPECT_EQ(joinCost(0, policy), 0.0);
    EXPECT_DOUBLE_EQ(joinCost(1, policy), 0.04);
    EXPECT_DOUBLE_EQ(joinCost(3, policy), 0.06);
}

// The choice against every set of joins: the least sum of its pieces, summed from the first
// stroke, and of equal sums the first in lexicographic order. Costs in whole steps make ties
// common and sums exact.
TEST(ChooseJoins, FindsTheLeastSetAndTheFirstOfEqualOnes) {
    std::mt19937 random(17);
    for (int round = 0; round < 300; ++round) {
        const std::size_t m = 2 + round % 9;
        const std::uint64_t pairs = random() & ((std::uint64_t{1} << (m - 1)) - 1);
        const auto count = static_cast<std::size_t>(std::popcount(pairs));
        const std::size_t joins = count == 0 ? 0 : 1 + random() % std::min<std::size_t>(count, 3);
        std::vector<double> costs(pieceSlots(m, joins));
        for (double& c : costs) {
            c = static_cast<double>(random() % 4);
        }
        double least = std::numeric_limits<double>::infinity();
        Joins best;
        for (std::uint64_t set = 0; set < (std::uint64_t{1} << (m - 1)); ++set) {
            if ((set & ~pairs) != 0 || static_cast<std::size_t>(std::popcount(set)) != joins) {
                continue;
            }
            Joins listed;
            double total = 0.0;
            for (std::size_t s = 0; s < m;) {
                std::size_t length = 1;
                while ((set >> (s + length - 1) & 1) != 0) {
                    listed.push_back(s + length - 1);
                    ++length;
                }
                total += costs[pieceSlot(m, s, length)];
                s += length;
            }
            if (total < least || (total == least && listed < best)) {
                least = total;
                best = listed;
            }
        }
        Joins chosen;
        EXPECT_EQ(chooseJoins(m, pairs, joins, costs, chosen), least) << "round " << round;
        EXPECT_EQ(chosen, best) << "round " << round;
    }
    // Pieces of no cost are never used; with no set left, the first pairs.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    Joins chosen;
    EXPECT_EQ(chooseJoins(3, 0b11, 1, std::vector<double>{0, 0, 0, nan, 5}, chosen), 5.0);
    EXPECT_EQ(chosen, Joins{1});
    EXPECT_EQ(chooseJoins(3, 0b11, 1, std::vector<double>{0, 0, 0, nan, nan}, chosen),
              std::numeric_limits<double>::infinity());
    EXPECT_EQ(chosen, Joins{0});
}

CharacterEntry entry(std::string character, bool common) {
    return {std::move(character), 1, {}, "", common, true};
}

// Pieces are made from the template's ink through a shortcut: they must equal what
// normalizing the joined ink gives, bit for bit, empty strokes, huge and tiny inks and all;
// templates of uncommon characters are never joined.
TEST(JoinedPieces, EqualTheJoinedInkNormalized) {
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
        entries.push_back(entry(raw.back().character, t % 8 != 1));
    }
    const JoinPolicy policy{1.0, 3, 1};
    const CharacterDatabase db(entries, raw, policy);
    std::size_t pieces = 0;
    for (std::size_t id = 0; id < raw.size(); ++id) {
        Ink kept = raw[id].strokes;
        std::erase_if(kept, [](const Stroke& s) { return s.empty(); });
        const Joinability expected = id % 8 == 1 ? Joinability{} : joinability(kept, policy);
        ASSERT_EQ(db.templateJoins(id).pairs, expected.pairs) << id;
        ASSERT_EQ(db.templateJoins(id).maxJoins, expected.maxJoins) << id;
        const std::size_t m = kept.size();
        for (std::size_t s = 0; s < m; ++s) {
            const std::span<const InkPoint> stroke = db.pieceStroke(id, s);
            EXPECT_EQ(Stroke(stroke.begin(), stroke.end()), normalized(kept)[s]) << id;
        }
        for (std::size_t length = 2; length <= expected.maxJoins + 1; ++length) {
            for (std::size_t first = 0; first + length <= m; ++first) {
                Joins run;
                for (std::size_t p = first; p + 1 < first + length; ++p) {
                    run.push_back(p);
                }
                const std::span<const InkPoint> piece =
                    db.pieceStroke(id, pieceSlot(m, first, length));
                if ((expected.pairs & bits(run)) != bits(run)) {
                    EXPECT_TRUE(piece.empty()) << id;
                    continue;
                }
                ++pieces;
                EXPECT_EQ(Stroke(piece.begin(), piece.end()),
                          normalized(joinStrokes(kept, run))[first])
                    << id << ": " << length << " strokes from " << first;
            }
        }
    }
    EXPECT_GT(pieces, 3 * raw.size());
}

// Hand-drawn in a 100-unit box, y downward, like the self-test's samples.
const Ink kTree = {{{20, 40}, {85, 40}},
                   {{53, 12}, {53, 92}},
                   {{52, 40}, {35, 63}, {13, 83}},
                   {{53, 40}, {70, 63}, {93, 82}}};

TEST(JoinedWriting, BuiltDataRecognizesJoinedMouthAndTree) {
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
