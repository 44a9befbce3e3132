#include "engine/tests/PlainRecognizer.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "engine/Normalization.h"
#include "engine/StrokeMatching.h"

namespace sumiro {

constexpr double inf = std::numeric_limits<double>::infinity();

NearestSums nearestSums(const Ink& drawn, const Ink& model) {
    NearestSums sums;
    std::vector<double> nearestDrawn(model.size(), inf);
    for (const Stroke& a : drawn) {
        double nearest = inf;
        for (std::size_t j = 0; j < model.size(); ++j) {
            const double d = strokeDistance(a, model[j]);
            nearest = std::min(nearest, d);
            nearestDrawn[j] = std::min(nearestDrawn[j], d);
        }
        sums.rows += nearest;
    }
    for (const double d : nearestDrawn) {
        sums.columns += d;
    }
    return sums;
}

std::vector<std::string> plainRecognize(const CharacterDatabase& db, const Ink& ink,
                                        std::ptrdiff_t limit) {
    const Ink input = normalized(ink);
    const std::size_t n = input.size();
    if (n == 0 || limit == 0) {
        return {};
    }
    const auto key = [](double score) { return std::isnan(score) ? inf : score; };
    const auto byScore = [](const auto& a, const auto& b) { return a.first < b.first; };
    const std::size_t tolerance = std::max<std::size_t>(2, n / 5);

    std::vector<std::pair<double, std::size_t>> coarse;
    for (std::size_t t = 0; t < db.templates().size(); ++t) {
        const Ink& strokes = db.templates()[t].strokes;
        const std::size_t m = strokes.size();
        const std::size_t diff = m > n ? m - n : n - m;
        if (diff > tolerance) {
            continue;
        }
        const NearestSums sums = nearestSums(input, strokes);
        // A template without strokes has no nearest stroke: it ranks after every real score.
        const double score =
            m == 0 ? inf
                   : (sums.rows / static_cast<double>(n) + sums.columns / static_cast<double>(m)) *
                             0.5 +
                         static_cast<double>(diff) * 0.09;
        coarse.emplace_back(key(score + db.templateCost(t)), t);
    }
    std::stable_sort(coarse.begin(), coarse.end(), byScore);

    std::vector<std::pair<double, std::size_t>> fine;
    for (std::size_t r = 0; r < std::min<std::size_t>(180, coarse.size()); ++r) {
        const InkTemplate& t = db.templates()[coarse[r].second];
        const std::size_t m = t.strokes.size();
        const std::size_t side = std::max(n, m);
        std::vector<std::vector<double>> matrix(side, std::vector<double>(side, 0.55));
        for (std::size_t i = 0; i < n; ++i) {
            for (std::size_t j = 0; j < m; ++j) {
                matrix[i][j] = strokeDistance(input[i], t.strokes[j]);
            }
        }
        double score = static_cast<double>(m > n ? m - n : n - m) * 0.045 + assignmentCost(matrix);
        const CharacterEntry* entry = db.byCharacter(t.character);
        if (entry != nullptr && entry->common) {
            score += -0.012;
        }
        score += db.templateCost(coarse[r].second);
        fine.emplace_back(key(score), coarse[r].second);
    }
    std::stable_sort(fine.begin(), fine.end(), byScore);

    std::vector<std::string> result;
    for (std::size_t r = 0; r < std::min(static_cast<std::size_t>(limit), fine.size()); ++r) {
        result.push_back(db.templates()[fine[r].second].character);
    }
    return result;
}

}  // namespace sumiro
