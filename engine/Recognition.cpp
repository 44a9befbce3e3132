// The two-pass recognizer: a coarse nearest-stroke score for every template within the
// stroke-count tolerance, then an optimal stroke assignment for the best 180.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "engine/CharacterDatabase.h"
#include "engine/Contract.h"
#include "engine/Normalization.h"
#include "engine/StrokeMatching.h"

namespace sumiro {

namespace {

constexpr std::size_t kShortlist = 180;
constexpr double kCoarseCountPenalty = 0.09;
constexpr double kUnmatchedStrokeCost = 0.55;
constexpr double kFineCountPenalty = 0.045;
constexpr double kCommonBonus = -0.012;
constexpr auto kPoints = static_cast<std::size_t>(kNormalizedPoints);

// A score that is not a number (a template without strokes, or with coordinates that overflow)
// ranks after every real score, so sorting stays a strict weak order.
double rankKey(double score) {
    return std::isnan(score) ? std::numeric_limits<double>::infinity() : score;
}

std::span<const InkPoint> strokeAt(std::span<const InkPoint> points, std::size_t j) {
    return points.subspan(j * kPoints, kPoints);
}

// Fills `d` (n rows of m) with the distances from each drawn stroke to each template stroke.
void distances(std::span<const InkPoint> drawn, std::size_t n, std::span<const InkPoint> tmpl,
               std::size_t m, double* d) {
    for (std::size_t i = 0; i < n; ++i) {
        const auto a = strokeAt(drawn, i);
        for (std::size_t j = 0; j < m; ++j) {
            d[i * m + j] = strokeDistance(a, strokeAt(tmpl, j));
        }
    }
}

// Mean nearest-stroke distance both ways, plus the stroke-count penalty.
double coarseScore(const double* d, std::size_t n, std::size_t m) {
    constexpr double inf = std::numeric_limits<double>::infinity();
    double rows = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        double best = inf;
        for (std::size_t j = 0; j < m; ++j) {
            best = std::min(best, d[i * m + j]);
        }
        rows += best;
    }
    double columns = 0.0;
    for (std::size_t j = 0; j < m; ++j) {
        double best = inf;
        for (std::size_t i = 0; i < n; ++i) {
            best = std::min(best, d[i * m + j]);
        }
        columns += best;
    }
    const double diff = static_cast<double>(n > m ? n - m : m - n);
    return (rows / static_cast<double>(n) + columns / static_cast<double>(m)) * 0.5 +
           diff * kCoarseCountPenalty;
}

struct Ranked {
    double key;
    std::uint32_t id;
};

}  // namespace

std::vector<std::string> CharacterDatabase::recognize(const Ink& ink, std::ptrdiff_t limit) const {
    const Ink input = normalized(ink);
    const std::size_t n = input.size();
    if (n == 0) {
        return {};
    }
    SUMIRO_EXPECTS(limit >= 0, "recognize: limit must not be negative");

    std::vector<InkPoint> drawn;
    drawn.reserve(n * kPoints);
    for (const Stroke& stroke : input) {
        drawn.insert(drawn.end(), stroke.begin(), stroke.end());
    }
    const std::size_t tolerance = std::max<std::size_t>(2, n / 5);
    const auto& groups = templateSet_.groups();
    const std::size_t lowest = n > tolerance ? n - tolerance : 0;
    const std::size_t highest = std::min(n + tolerance, groups.empty() ? 0 : groups.size() - 1);

    std::vector<Ranked> coarse;
    std::vector<double> d(n * (highest + 1));
    for (std::size_t m = lowest; m <= highest && m < groups.size(); ++m) {
        const TemplateSet::Group& group = groups[m];
        for (std::size_t k = 0; k < group.ids.size(); ++k) {
            distances(drawn, n, group.templatePoints(k), m, d.data());
            coarse.push_back({rankKey(coarseScore(d.data(), n, m)), group.ids[k]});
        }
    }

    // Ordering by (score, database index) is the stable sort of the database-ordered list,
    // so only the shortlist needs sorting.
    const std::size_t examined = std::min(kShortlist, coarse.size());
    const auto byScoreThenId = [](const Ranked& a, const Ranked& b) {
        return a.key < b.key || (a.key == b.key && a.id < b.id);
    };
    std::partial_sort(coarse.begin(), coarse.begin() + static_cast<std::ptrdiff_t>(examined),
                      coarse.end(), byScoreThenId);

    std::vector<Ranked> fine;
    fine.reserve(examined);
    CostMatrix matrix;
    AssignmentWorkspace workspace;
    for (std::size_t r = 0; r < examined; ++r) {
        const std::uint32_t id = coarse[r].id;
        const std::size_t m = templateSet_.groupOf(id).strokeCount;
        const std::size_t side = std::max(n, m);
        matrix.side = side;
        matrix.cells.assign(side * side, kUnmatchedStrokeCost);
        const auto tmpl = templateSet_.pointsOf(id);
        for (std::size_t i = 0; i < n; ++i) {
            for (std::size_t j = 0; j < m; ++j) {
                matrix.cells[i * side + j] = strokeDistance(strokeAt(drawn, i), strokeAt(tmpl, j));
            }
        }
        const double diff = static_cast<double>(n > m ? n - m : m - n);
        double score = diff * kFineCountPenalty + assignmentCost(matrix, workspace);
        if (templateCommon_[id] != 0) {
            score += kCommonBonus;
        }
        fine.push_back({rankKey(score), id});
    }
    std::stable_sort(fine.begin(), fine.end(),
                     [](const Ranked& a, const Ranked& b) { return a.key < b.key; });

    const std::size_t count = std::min(static_cast<std::size_t>(limit), fine.size());
    std::vector<std::string> result;
    result.reserve(count);
    for (std::size_t r = 0; r < count; ++r) {
        result.push_back(templates_[fine[r].id].character);
    }
    return result;
}

}  // namespace sumiro
