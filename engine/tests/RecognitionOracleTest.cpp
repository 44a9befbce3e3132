// The optimized recognizer against the plain one: identical candidate lists on seeded inks of
// every stroke count, on a synthetic set full of ties and on the built character data.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <limits>
#include <random>
#include <thread>

#include "engine/CharacterDatabase.h"
#include "engine/JoinedStrokes.h"
#include "engine/MatchingKernels.h"
#include "engine/Normalization.h"
#include "engine/StrokeMatching.h"
#include "engine/TemplateSet.h"
#include "engine/tests/DistortedInk.h"
#include "engine/tests/PlainRecognizer.h"

namespace sumiro {
namespace {

Stroke randomStroke(std::mt19937& random) {
    std::uniform_real_distribution<double> coordinate(0, 109);
    std::uniform_int_distribution<int> points(1, 12);
    Stroke stroke{{coordinate(random), coordinate(random)}};
    for (int p = points(random); p > 0; --p) {
        stroke.push_back({std::clamp(stroke.back().x + coordinate(random) / 4 - 13.6, 0.0, 109.0),
                          std::clamp(stroke.back().y + coordinate(random) / 4 - 13.6, 0.0, 109.0)});
    }
    return stroke;
}

Ink randomInk(std::size_t strokes, std::mt19937& random) {
    Ink ink;
    while (ink.size() < strokes) {
        ink.push_back(randomStroke(random));
    }
    return ink;
}

// Random templates of 1 to 30 strokes, plus exact copies and copies with strokes reordered or
// reversed, so that equal coarse and final scores are common; every third character common.
const CharacterDatabase& syntheticDatabase() {
    static const CharacterDatabase db = [] {
        std::mt19937 random(11);
        std::vector<RawTemplate> templates;
        std::vector<CharacterEntry> entries;
        for (int t = 0; t < 1500; ++t) {
            const std::string name = "c" + std::to_string(t);
            entries.push_back({name, 1, {}, "", t % 3 == 0, true});
            const auto source = std::uniform_int_distribution<int>(0, 9)(random);
            if (templates.empty() || source >= 3) {
                templates.push_back({name, randomInk(1 + t % 30, random)});
                continue;
            }
            RawTemplate copy = templates[random() % templates.size()];
            copy.character = source == 0 ? copy.character : name;
            if (source == 2) {
                std::reverse(copy.strokes.begin(), copy.strokes.end());
                std::reverse(copy.strokes.front().begin(), copy.strokes.front().end());
            }
            templates.push_back(std::move(copy));
        }
        return CharacterDatabase(std::move(entries), std::move(templates));
    }();
    return db;
}

// Inks of every stroke count from 1 to 30 in turn: mostly distorted templates, a quarter of
// them with one to three pairs of strokes joined, some exact templates (scores of zero and
// exact ties) and exactly joined ones, some strokes of unrelated random ink.
std::vector<Ink> seededInks(const CharacterDatabase& db, std::size_t count, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<std::vector<const InkTemplate*>> byCount(31);
    for (const InkTemplate& t : db.templates()) {
        if (t.strokes.size() <= 30) {
            byCount[t.strokes.size()].push_back(&t);
        }
    }
    std::vector<Ink> inks;
    for (std::size_t k = 0; inks.size() < count; ++k) {
        const std::size_t strokes = 1 + k % 30;
        const auto& models = byCount[strokes];
        const int kind = static_cast<int>(random() % 8);
        if (models.empty() || kind == 0) {
            inks.push_back(randomInk(strokes, random));
            continue;
        }
        const Ink& model = models[random() % models.size()]->strokes;
        std::vector<std::size_t> joins;
        if (kind <= 3 && strokes > 1) {
            for (std::size_t pair = 0; pair + 1 < strokes && joins.size() < 3; ++pair) {
                if (random() % (strokes - 1) < 2) {
                    joins.push_back(pair);
                }
            }
        }
        const Ink joined = joinStrokes(model, joins);
        inks.push_back(kind == 1 ? joined : distortedInk(joined, random, joins.empty()));
    }
    return inks;
}

// Every limit gives the plain list's prefix; limits past the 180-candidate shortlist give all.
// Two threads check at once, one from each end, so that calls overlap on the one database.
void expectSameAsPlain(const CharacterDatabase& db, const std::vector<Ink>& inks) {
    std::vector<std::vector<std::string>> plain;
    for (const Ink& ink : inks) {
        plain.push_back(plainRecognize(db, ink, 500));
    }
    const auto check = [&](std::size_t k) {
        SCOPED_TRACE("ink " + std::to_string(k) + ", " + std::to_string(inks[k].size()) +
                     " strokes");
        const auto prefix = [&](std::ptrdiff_t limit) {
            return std::vector(plain[k].begin(),
                               plain[k].begin() + std::min(limit, std::ssize(plain[k])));
        };
        ASSERT_EQ(db.recognize(inks[k]), prefix(CharacterDatabase::kDefaultLimit));
        for (const std::ptrdiff_t limit : {0, 1, 180, 500}) {
            ASSERT_EQ(db.recognize(inks[k], limit), prefix(limit)) << "limit " << limit;
        }
    };
    std::jthread backwards([&] {
        for (std::size_t k = inks.size(); k-- > 0 && !::testing::Test::HasFatalFailure();) {
            check(k);
        }
    });
    for (std::size_t k = 0; k < inks.size() && !::testing::Test::HasFatalFailure(); ++k) {
        check(k);
    }
}

// The exact distances four strokes at a time are strokeDistance's, bit for bit: whole vectors,
// the strokes left over, a stroke of another length, a coordinate that is not a number.
TEST(MatchingKernels, ExactDistancesAreStrokeDistanceBitForBit) {
    std::mt19937 random(11);
    for (std::size_t n = 1; n <= 9; ++n) {
        Ink drawn = normalized(randomInk(n, random));
        const Ink piece = normalized(randomInk(1, random));
        if (n == 6) {
            drawn[1][3].x = std::numeric_limits<double>::quiet_NaN();
        }
        if (n == 7) {
            drawn[2].pop_back();
        }
        std::vector<double> out(2 * n, -1.0);
        kernels::exactStrokeDistances(drawn, piece[0], out.data(), 2);
        for (std::size_t i = 0; i < n; ++i) {
            const double expected = strokeDistance(drawn[i], piece[0]);
            if (std::isnan(expected)) {
                EXPECT_TRUE(std::isnan(out[2 * i])) << n << " " << i;
            } else {
                EXPECT_EQ(out[2 * i], expected) << n << " " << i;
            }
            EXPECT_EQ(out[2 * i + 1], -1.0) << "only every pitch-th entry is written";
        }
    }
}

TEST(MatchingKernels, SinglePrecisionStaysWithinItsError) {
    std::mt19937 random(5);
    std::vector<Stroke> strokes;
    for (int s = 0; s < 280; ++s) {
        strokes.push_back(normalized(randomInk(1, random))[0]);
    }
    const Ink drawn = normalized(randomInk(3, random));
    // A drawn stroke against its own reversal, where the reversal penalty decides.
    strokes[0].assign(drawn[1].rbegin(), drawn[1].rend());
    // A distance of zero, where the square roots' estimate would be infinite.
    strokes[1] = drawn[2];
    std::vector<float> ax, ay;
    for (const Stroke& stroke : drawn) {
        for (const InkPoint& p : stroke) {
            ax.push_back(static_cast<float>(p.x));
            ay.push_back(static_cast<float>(p.y));
        }
    }
    // Every stroke side by side, point-major, as the recognizer gathers them.
    const std::size_t stride = strokes.size() + kernels::kLanes;
    std::vector<float> x(kStrokePoints * stride), y(kStrokePoints * stride);
    for (std::size_t g = 0; g < strokes.size(); ++g) {
        for (std::size_t p = 0; p < kStrokePoints; ++p) {
            x[p * stride + g] = static_cast<float>(strokes[g][p].x);
            y[p * stride + g] = static_cast<float>(strokes[g][p].y);
        }
    }
    const std::size_t n = drawn.size();
    // Odd offsets and lengths exercise the partial vectors at both ends of a run.
    for (const std::size_t begin : {std::size_t{0}, std::size_t{3}, std::size_t{270}}) {
        const std::size_t count = strokes.size() - begin;
        const std::size_t pitch = kernels::lanesFor(count);
        // Every variant this processor can run; with AVX-512, runs of an odd number of eight
        // strokes end in the AVX2 code.
        for (const auto distances : kernels::strokeDistancesVariants()) {
            std::vector<float> out(n * pitch), scratch(n * pitch);
            distances(ax.data(), ay.data(), n, x.data(), y.data(), stride, begin, count, pitch,
                      out.data(), scratch.data());
            for (std::size_t i = 0; i < n; ++i) {
                for (std::size_t g = begin; g < strokes.size(); ++g) {
                    // The recognizer relies on kDistanceError; the rounding is far below it.
                    EXPECT_NEAR(out[i * pitch + g - begin], strokeDistance(drawn[i], strokes[g]),
                                1e-6)
                        << "stroke " << i << " against " << g;
                }
            }
        }
    }
}

// Bounds below the distances they bound, by no more than the fixed point's rounding, and not
// vacuously: templates of six strokes with up to two joins, one run each that may not be
// joined. Both variants of the kernel give the same numbers.
TEST(MatchingKernels, BoundsStayBelowTheDistances) {
    std::mt19937 random(7);
    constexpr std::size_t m = 6;
    constexpr std::size_t joins = 2;
    const std::size_t slots = pieceSlots(m, joins);
    std::vector<Ink> pieces;
    std::vector<TemplateSet::Shape> shapes;
    for (int t = 0; t < 40; ++t) {
        Ink ink = normalized(randomInk(slots, random));
        // Pair 2 may not be joined: no run across it.
        for (const auto& [first, length] : {std::pair{2, 2}, {1, 3}, {2, 3}}) {
            ink[pieceSlot(m, first, length)].clear();
        }
        pieces.push_back(std::move(ink));
        shapes.push_back({m, {0b11011, joins}});
    }
    const TemplateSet set(
        shapes,
        [&](std::size_t id, std::vector<std::span<const InkPoint>>& listed, Ink&) {
            listed.assign(pieces[id].begin(), pieces[id].end());
        },
        nullptr);
    const Ink drawn = normalized(randomInk(4, random));
    const std::size_t n = drawn.size();
    std::vector<std::int16_t> chunks;
    std::vector<std::int16_t> centroids;
    for (const Stroke& stroke : drawn) {
        const auto strokeChunks = chunkCentroids(stroke);
        for (double v : strokeChunks) {
            chunks.push_back(kernels::boundCoordinate(v));
        }
        for (double v : strokeCentroid(strokeChunks)) {
            centroids.push_back(kernels::boundCoordinate(v));
        }
    }
    const auto distance = [&](std::size_t t, std::size_t i, std::size_t q) {
        return pieces[t][q].empty() ? 1e9 : strokeDistance(drawn[i], pieces[t][q]);
    };

    // A share of a group from its second vector on, as the helper thread takes it.
    const TemplateSet::Group& group = set.groups()[0];
    const std::size_t first = kernels::kBoundLanes;
    const std::size_t count = group.ids.size() - first;
    const std::size_t lanes = kernels::boundLanesFor(count);
    const std::array<std::uint32_t, 3> layerEnd{6, 11, 15};
    std::vector<std::uint16_t> scratch((slots + 1) * kernels::kBoundLanes);
    kernels::BoundedGroup bounded{group.chunkX.data(),
                                  group.chunkY.data(),
                                  group.centroidX.data(),
                                  group.centroidY.data(),
                                  group.stride,
                                  slots,
                                  3};
    const auto bound = [&](auto kernel, std::vector<float>& rows, std::vector<float>& columns) {
        rows.assign(3 * lanes, -1.0f);
        columns.assign(slots * lanes, -1.0f);
        kernel(chunks.data(), centroids.data(), n, bounded, first, count, layerEnd.data(), 3,
               rows.data(), columns.data(), scratch.data());
    };
    std::vector<float> rows, columns, portableRows, portableColumns;
    bound(kernels::templateBounds, rows, columns);
    bound(kernels::portableTemplateBounds, portableRows, portableColumns);
    EXPECT_EQ(rows, portableRows);
    EXPECT_EQ(columns, portableColumns);
    // The first layer from chunks, the others from stroke centroids: looser there, never above
    // the chunks' bounds but for rounding (each side's excess), and the first layer's as before.
    std::vector<float> roughRows, roughColumns;
    bounded.chunkLayers = 1;
    bound(kernels::templateBounds, roughRows, roughColumns);
    for (std::size_t k = 0; k < count; ++k) {
        EXPECT_EQ(roughRows[k], rows[k]);
        for (std::size_t q = 0; q < layerEnd[0]; ++q) {
            EXPECT_EQ(roughColumns[q * lanes + k], columns[q * lanes + k]);
        }
        for (std::size_t q = 0; q < slots; ++q) {
            EXPECT_LE(roughColumns[q * lanes + k],
                      columns[q * lanes + k] + 2 * kernels::kBoundExcess);
        }
        for (std::size_t l = 0; l < 3; ++l) {
            EXPECT_LE(roughRows[l * lanes + k],
                      rows[l * lanes + k] + 2 * kernels::kBoundExcess * static_cast<double>(n));
        }
    }
    std::vector<float> least(3 * lanes), leastScratch((m + 1) * 3 * lanes);
    kernels::leastJoinedCosts(columns.data(), m, joins, lanes, least.data(), leastScratch.data());
    // The float sums' rounding, far below the fixed point's.
    constexpr double rounding = 1e-6;
    for (std::size_t k = 0; k < count; ++k) {
        const std::size_t t = first + k;
        std::vector<double> nearest(slots, 1e9);
        for (std::size_t q = 0; q < slots; ++q) {
            // A run that may not be joined lies farther than any two normalized strokes.
            if (pieces[t][q].empty()) {
                EXPECT_GT(columns[q * lanes + k], 1.9);
                continue;
            }
            for (std::size_t i = 0; i < n; ++i) {
                nearest[q] = std::min(nearest[q], distance(t, i, q));
            }
            EXPECT_LE(columns[q * lanes + k], nearest[q] + kernels::kBoundExcess + rounding)
                << t << " slot " << q;
            // Not vacuous: the chunks carry most of the distance.
            EXPECT_GT(columns[q * lanes + k], 0.5 * nearest[q]) << t << " slot " << q;
        }
        for (std::size_t l = 0; l < 3; ++l) {
            double sum = 0.0;
            for (std::size_t i = 0; i < n; ++i) {
                double best = 1e9;
                for (std::size_t q = 0; q < layerEnd[l]; ++q) {
                    best = std::min(best, distance(t, i, q));
                }
                sum += best;
            }
            EXPECT_LE(rows[l * lanes + k],
                      sum + (kernels::kBoundExcess + rounding) * static_cast<double>(n))
                << "template " << t << " layer " << l;
            EXPECT_GT(rows[l * lanes + k], 0.5 * sum) << "template " << t << " layer " << l;
            // The least joined column sum is the least of the column bounds' sets of joins.
            std::vector<double> costs(slots);
            for (std::size_t q = 0; q < slots; ++q) {
                costs[q] = columns[q * lanes + k];
            }
            std::vector<std::size_t> chosen;
            EXPECT_NEAR(least[l * lanes + k], chooseJoins(m, 0b11011, l, costs, chosen), 1e-5);
        }
    }
}

constexpr double kInfinity = std::numeric_limits<double>::infinity();

// Every variant this processor has.
TEST(MatchingKernels, AssignmentMatchesAssignmentCostAndGivesUpOnlyAboveTheLimit) {
    AssignmentWorkspace workspace;
    kernels::AssignmentScratch scratch;
    for (const kernels::AssignmentFunction assignment : kernels::assignmentVariants()) {
        std::mt19937 random(9);
        std::uniform_real_distribution<double> entry(0.0, 0.6);
        // Negative entries too: giving up rests on the potentials, not on the entries' signs.
        for (const double shift : {0.0, -0.3}) {
            // Past 32, where the vector variant hands over.
            for (std::size_t side = 1; side <= 34; ++side) {
                CostMatrix matrix{side, std::vector<double>(side * side)};
                for (double& cell : matrix.cells) {
                    // Coarse values make equal entries, and so ties between pairings, common.
                    cell = std::round(entry(random) * 20) / 20 + shift;
                }
                const double exact = assignmentCost(matrix, workspace);
                EXPECT_NEAR(assignment(matrix.cells.data(), side, scratch, kInfinity), exact, 1e-12)
                    << "side " << side;
                // Giving up below the cost returns something above the limit; at or above it,
                // the cost.
                const double below = exact - 0.05;
                EXPECT_GT(assignment(matrix.cells.data(), side, scratch, below), below)
                    << "side " << side;
                EXPECT_NEAR(assignment(matrix.cells.data(), side, scratch, exact + 1e-9), exact,
                            1e-12);
            }
        }
        // A matrix with an entry that is not finite, in the first row or a later one, costs
        // +inf.
        for (const double bad : {std::numeric_limits<double>::quiet_NaN(), kInfinity, -kInfinity}) {
            for (const std::size_t at : {1, 7}) {
                std::vector<double> broken{0.1, 0.4, 0.2, 0.3, 0.2, 0.5, 0.6, 0.1, 0.3};
                broken[at] = bad;
                EXPECT_EQ(assignment(broken.data(), 3, scratch, kInfinity), kInfinity)
                    << bad << " at " << at;
            }
        }
    }
}

TEST(RecognitionOracle, SyntheticTemplatesWithTies) {
    expectSameAsPlain(syntheticDatabase(), seededInks(syntheticDatabase(), 300, 1));
}

// On the built character data; SUMIRO_ORACLE_INKS raises the number of inks (default 90, a few
// seconds) for a longer run by hand.
TEST(RecognitionOracle, BuiltCharacterData) {
    const std::filesystem::path dir(SUMIRO_RESOURCE_DIR);
    if (!std::filesystem::exists(dir / "templates.json") ||
        !std::filesystem::exists(dir / "characters.json")) {
        GTEST_SKIP() << "no built character data in " << dir;
    }
    const char* requested = std::getenv("SUMIRO_ORACLE_INKS");
    const CharacterDatabase db(dir);
    expectSameAsPlain(db, seededInks(db, requested ? std::strtoul(requested, nullptr, 10) : 90, 4));
}

}  // namespace
}  // namespace sumiro
