// The optimized recognizer against the plain one: identical candidate lists on seeded inks of
// every stroke count, on a synthetic set full of ties and on the built character data.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <limits>
#include <random>
#include <thread>

#include "engine/CharacterDatabase.h"
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

// Inks of every stroke count from 1 to 30 in turn: mostly distorted templates, some exact
// templates (scores of zero and exact ties), some strokes of unrelated random ink.
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
        } else if (kind == 1) {
            inks.push_back(models[random() % models.size()]->strokes);
        } else {
            inks.push_back(distortedInk(models[random() % models.size()]->strokes, random));
        }
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

TEST(MatchingKernels, SinglePrecisionStaysWithinItsErrorAndBoundsStayBelow) {
    std::mt19937 random(5);
    constexpr std::size_t m = 7;
    std::vector<InkTemplate> templates;
    for (int t = 0; t < 40; ++t) {
        templates.push_back({"t", normalized(randomInk(m, random))});
    }
    const Ink drawn = normalized(randomInk(3, random));
    // A drawn stroke against its own reversal, where the reversal penalty decides.
    templates.push_back(templates[0]);
    templates.back().strokes[0].assign(drawn[1].rbegin(), drawn[1].rend());
    const TemplateSet set(templates);
    const TemplateSet::Group& group = set.groups()[m];
    const std::size_t n = drawn.size();

    std::vector<float> ax, ay, chunks;
    for (const Stroke& stroke : drawn) {
        for (const InkPoint& p : stroke) {
            ax.push_back(static_cast<float>(p.x));
            ay.push_back(static_cast<float>(p.y));
        }
        for (double c : chunkCentroids(stroke)) {
            chunks.push_back(static_cast<float>(c));
        }
    }
    // Every template stroke side by side, point-major, as the recognizer gathers them.
    const std::size_t stride = group.strokes() + kernels::kLanes;
    std::vector<float> x(kStrokePoints * stride), y(kStrokePoints * stride);
    for (std::size_t g = 0; g < group.strokes(); ++g) {
        const Stroke& stroke = templates[g / m].strokes[g % m];
        for (std::size_t p = 0; p < kStrokePoints; ++p) {
            x[p * stride + g] = static_cast<float>(stroke[p].x);
            y[p * stride + g] = static_cast<float>(stroke[p].y);
        }
    }
    // Odd offsets and lengths exercise the partial vectors at both ends of a run.
    for (const std::size_t begin : {std::size_t{0}, std::size_t{3}, std::size_t{7 * 40}}) {
        const std::size_t count = group.strokes() - begin;
        const std::size_t pitch = kernels::lanesFor(count);
        std::vector<float> out(n * pitch), scratch(n * pitch);
        kernels::strokeDistances(ax.data(), ay.data(), n, x.data(), y.data(), stride, begin, count,
                                 pitch, out.data(), scratch.data());
        for (std::size_t i = 0; i < n; ++i) {
            for (std::size_t g = begin; g < group.strokes(); ++g) {
                // The recognizer relies on kDistanceError; the rounding is far below it.
                EXPECT_NEAR(out[i * pitch + g - begin],
                            strokeDistance(drawn[i], templates[g / m].strokes[g % m]), 1e-6)
                    << "stroke " << i << " against " << g;
            }
        }
    }

    // A range of templates from the middle of the group, as one thread's share.
    const std::size_t first = 3;
    const std::size_t count = group.ids.size() - first;
    std::vector<float> rows(count), columns(count), scratch(2 * count * m + count);
    kernels::templateBounds(chunks.data(), n, group.chunkX.data(), group.chunkY.data(),
                            group.ids.size(), first, count, m, rows.data(), columns.data(),
                            scratch.data());
    for (std::size_t r = 0; r < count; ++r) {
        const NearestSums sums = nearestSums(drawn, templates[first + r].strokes);
        EXPECT_LE(rows[r], sums.rows + 1e-5) << "template " << first + r;
        EXPECT_LE(columns[r], sums.columns + 1e-5) << "template " << first + r;
        // Not vacuous: the bounds carry most of the sums.
        EXPECT_GT(rows[r] + columns[r], 0.5 * (sums.rows + sums.columns))
            << "template " << first + r;
    }
}

TEST(MatchingKernels, AssignmentMatchesAssignmentCostAndGivesUpOnlyAboveTheLimit) {
    std::mt19937 random(9);
    std::uniform_real_distribution<double> entry(0.0, 0.6);
    AssignmentWorkspace workspace;
    kernels::AssignmentScratch scratch;
    for (std::size_t side = 1; side <= 30; ++side) {
        CostMatrix matrix{side, std::vector<double>(side * side)};
        for (double& cell : matrix.cells) {
            // Coarse values make equal entries, and so ties between pairings, common.
            cell = std::round(entry(random) * 20) / 20;
        }
        const double exact = assignmentCost(matrix, workspace);
        EXPECT_NEAR(kernels::assignment(matrix.cells.data(), side, scratch), exact, 1e-12)
            << "side " << side;
        // Giving up below the cost returns something above the limit; at or above it, the cost.
        if (exact > 0) {
            EXPECT_GT(kernels::assignment(matrix.cells.data(), side, scratch, exact * 0.9),
                      exact * 0.9);
        }
        EXPECT_NEAR(kernels::assignment(matrix.cells.data(), side, scratch, exact + 1e-9), exact,
                    1e-12);
    }
    const std::vector<double> broken{0.1, std::numeric_limits<double>::quiet_NaN(), 0.2, 0.3};
    EXPECT_EQ(kernels::assignment(broken.data(), 2, scratch),
              std::numeric_limits<double>::infinity());
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
