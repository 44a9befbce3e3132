#include "engine/tests/PlainRecognizer.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "engine/Normalization.h"
#include "engine/StrokeMatching.h"

namespace sumiro {

std::vector<std::string> plainRecognize(const CharacterDatabase& db, const Ink& ink,
                                        std::ptrdiff_t limit) {
    const Ink input = normalized(ink);
    const std::size_t n = input.size();
    if (n == 0 || limit == 0) {
        return {};
    }
    constexpr double inf = std::numeric_limits<double>::infinity();
    const auto key = [](double score) { return std::isnan(score) ? inf : score; };
    const std::size_t tolerance = std::max<std::size_t>(2, n / 5);

    std::vector<std::pair<double, std::size_t>> coarse;
    std::vector<double> d;
    for (std::size_t t = 0; t < db.templates().size(); ++t) {
        const Ink& strokes = db.templates()[t].strokes;
        const std::size_t m = strokes.size();
        const std::size_t diff = m > n ? m - n : n - m;
        if (diff > tolerance) {
            continue;
        }
        d.resize(n * m);
        for (std::size_t i = 0; i < n; ++i) {
            for (std::size_t j = 0; j < m; ++j) {
                d[i * m + j] = strokeDistance(input[i], strokes[j]);
            }
        }
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
        const double score =
            (rows / static_cast<double>(n) + columns / static_cast<double>(m)) * 0.5 +
            static_cast<double>(diff) * 0.09;
        coarse.emplace_back(key(score), t);
    }
    std::stable_sort(coarse.begin(), coarse.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });

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
        fine.emplace_back(key(score), coarse[r].second);
    }
    std::stable_sort(fine.begin(), fine.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });

    std::vector<std::string> result;
    for (std::size_t r = 0; r < std::min(static_cast<std::size_t>(limit), fine.size()); ++r) {
        result.push_back(db.templates()[fine[r].second].character);
    }
    return result;
}

}  // namespace sumiro
