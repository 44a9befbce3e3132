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
    const auto byScore = [](const auto& a, const auto& b) { return a.score < b.score; };
    const std::size_t tolerance = std::max<std::size_t>(2, n / 5);

    // A template written with `joins` joins: the slots of its pieces.
    struct Entry {
        double score;
        std::size_t id;
        std::size_t joins;
        std::vector<std::size_t> pieces;
    };
    std::vector<Entry> coarse;
    Ink scratch;
    for (std::size_t t = 0; t < db.fileTemplates(); ++t) {
        const std::size_t m = db.templateStrokes(t, scratch).size();
        const Joinability joinable = db.templateJoins(t);
        for (std::size_t k = 0; k <= joinable.maxJoins; ++k) {
            const std::size_t pieces = m - k;
            if ((pieces > n ? pieces - n : n - pieces) > tolerance) {
                continue;
            }
            Ink model;
            std::vector<std::size_t> slots;
            if (k == 0) {
                for (std::size_t s = 0; s < m; ++s) {
                    slots.push_back(s);
                }
            } else {
                // Each piece's nearest drawn stroke; the set of joins whose pieces' sum least.
                std::vector<double> nearest(pieceSlots(m, k), inf);
                for (std::size_t q = 0; q < nearest.size(); ++q) {
                    const std::span<const InkPoint> piece = db.pieceStroke(t, q);
                    for (std::size_t i = 0; i < n && !piece.empty(); ++i) {
                        nearest[q] = std::min(nearest[q], strokeDistance(input[i], piece));
                    }
                }
                std::vector<std::size_t> joins;
                chooseJoins(m, joinable.pairs, k, nearest, joins);
                for (std::size_t s = 0, next = 0; s < m;) {
                    std::size_t length = 1;
                    for (; next < joins.size() && joins[next] == s + length - 1; ++next) {
                        ++length;
                    }
                    slots.push_back(pieceSlot(m, s, length));
                    s += length;
                }
            }
            for (const std::size_t q : slots) {
                const std::span<const InkPoint> piece = db.pieceStroke(t, q);
                model.emplace_back(piece.begin(), piece.end());
            }
            const NearestSums sums = nearestSums(input, model);
            // A template without strokes has no nearest stroke: it ranks after every real
            // score.
            const double score =
                pieces == 0 ? inf
                            : (sums.rows / static_cast<double>(n) +
                               sums.columns / static_cast<double>(pieces)) *
                                      0.5 +
                                  static_cast<double>(pieces > n ? pieces - n : n - pieces) * 0.09;
            coarse.push_back({key(score + db.joinCost(k)), t, k, std::move(slots)});
        }
    }
    std::stable_sort(coarse.begin(), coarse.end(), byScore);

    std::vector<Entry> fine;
    for (std::size_t r = 0; r < std::min<std::size_t>(180, coarse.size()); ++r) {
        Entry& e = coarse[r];
        const std::size_t m = e.pieces.size();
        const std::size_t side = std::max(n, m);
        std::vector<std::vector<double>> matrix(side, std::vector<double>(side, 0.55));
        for (std::size_t i = 0; i < n; ++i) {
            for (std::size_t j = 0; j < m; ++j) {
                matrix[i][j] = strokeDistance(input[i], db.pieceStroke(e.id, e.pieces[j]));
            }
        }
        double score = static_cast<double>(m > n ? m - n : n - m) * 0.045 + assignmentCost(matrix);
        const CharacterEntry* entry = db.byCharacter(db.templateCharacter(e.id));
        if (entry != nullptr && entry->common) {
            score += -0.012;
        }
        score += db.joinCost(e.joins);
        fine.push_back({key(score), e.id, e.joins, {}});
    }
    std::stable_sort(fine.begin(), fine.end(), byScore);

    std::vector<std::string> result;
    for (std::size_t r = 0; r < std::min(static_cast<std::size_t>(limit), fine.size()); ++r) {
        result.push_back(db.templateCharacter(fine[r].id));
    }
    return result;
}

}  // namespace sumiro
