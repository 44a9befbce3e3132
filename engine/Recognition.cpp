// The two-pass recognizer: a coarse nearest-stroke score for every template within the
// stroke-count tolerance, then an optimal stroke assignment for the best 180.
//
// The coarse pass avoids scoring most templates exactly: a cheap lower bound of every
// template's coarse score orders them, and exact scores are computed best bound first until no
// remaining bound can reach the current 180th score. The exact scores use the same arithmetic
// as strokeDistance, so the shortlist, its tie order and the final ranking are those of scoring
// every template.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "engine/CharacterDatabase.h"
#include "engine/Contract.h"
#include "engine/MatchingKernels.h"
#include "engine/Normalization.h"
#include "engine/StrokeMatching.h"

namespace sumiro {

namespace {

constexpr std::size_t kShortlist = 180;
constexpr double kCoarseCountPenalty = 0.09;
constexpr double kUnmatchedStrokeCost = 0.55;
constexpr double kFineCountPenalty = 0.045;
constexpr double kCommonBonus = -0.012;
// Lower bounds come from single-precision arithmetic whose error stays far below this; it
// only lets a few more templates be scored exactly.
constexpr double kBoundMargin = 1e-4;
// The assignment's rounding is many orders of magnitude below this.
constexpr double kFineBoundMargin = 1e-9;
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr float kInfF = std::numeric_limits<float>::infinity();

// A score that is not a number (a template without strokes, or with coordinates that overflow)
// ranks after every real score, so sorting stays a strict weak order.
double rankKey(double score) { return std::isnan(score) ? kInf : score; }

// Mean nearest-stroke distance both ways, plus the stroke-count penalty.
// d(i, j) is d[i * pitch + j].
double coarseScore(const double* d, std::size_t pitch, std::size_t n, std::size_t m) {
    double rows = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        double best = kInf;
        for (std::size_t j = 0; j < m; ++j) {
            best = std::min(best, d[i * pitch + j]);
        }
        rows += best;
    }
    double columns = 0.0;
    for (std::size_t j = 0; j < m; ++j) {
        double best = kInf;
        for (std::size_t i = 0; i < n; ++i) {
            best = std::min(best, d[i * pitch + j]);
        }
        columns += best;
    }
    const double diff = static_cast<double>(n > m ? n - m : m - n);
    return (rows / static_cast<double>(n) + columns / static_cast<double>(m)) * 0.5 +
           diff * kCoarseCountPenalty;
}

struct Candidate {
    double bound;
    std::uint32_t group;
    std::uint32_t index;  // within the group
};

struct Scored {
    double key;
    std::uint32_t id;
    std::uint32_t group;
    std::uint32_t slot;  // where its distance matrix is kept
};

bool before(const Scored& a, const Scored& b) {
    return a.key < b.key || (a.key == b.key && a.id < b.id);
}

// Working storage kept per thread, so a recognition allocates only when an ink needs more room
// than any before it on that thread.
struct Workspace {
    std::vector<double> ax, ay;  // drawn strokes, point p of stroke i at [i * 16 + p]
    std::vector<float> chunks;   // drawn chunk centroids, 8 per stroke
    std::vector<float> bounds;   // stroke-pair lower bounds of one group, [i * strokes + g]
    std::vector<float> columns;  // per-template column minima
    std::vector<Candidate> candidates;
    std::vector<Scored> best;      // max-heap of the shortlist so far
    std::vector<double> matrices;  // distance matrices of the shortlisted templates
    std::vector<std::uint32_t> freeSlots;
    std::vector<double> scratch;
    std::vector<Scored> order;  // shortlist by lower bound of the final score
    std::vector<Scored> fine;
    CostMatrix matrix;
    AssignmentWorkspace assignment;
};

}  // namespace

std::vector<std::string> CharacterDatabase::recognize(const Ink& ink, std::ptrdiff_t limit) const {
    const Ink input = normalized(ink);
    const std::size_t n = input.size();
    if (n == 0) {
        return {};
    }
    SUMIRO_EXPECTS(limit >= 0, "recognize: limit must not be negative");
    thread_local Workspace w;

    w.ax.resize(n * kStrokePoints);
    w.ay.resize(n * kStrokePoints);
    w.chunks.resize(n * 2 * kChunks);
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t p = 0; p < kStrokePoints; ++p) {
            w.ax[i * kStrokePoints + p] = input[i][p].x;
            w.ay[i * kStrokePoints + p] = input[i][p].y;
        }
        const auto centroids =
            chunkCentroids(&w.ax[i * kStrokePoints], &w.ay[i * kStrokePoints], 1);
        std::transform(centroids.begin(), centroids.end(), w.chunks.begin() + i * 2 * kChunks,
                       [](double c) { return static_cast<float>(c); });
    }

    const std::size_t tolerance = std::max<std::size_t>(2, n / 5);
    const auto& groups = templateSet_.groups();
    const std::size_t lowest = n > tolerance ? n - tolerance : 0;
    const std::size_t highest = std::min(n + tolerance, groups.empty() ? 0 : groups.size() - 1);

    // Lower bounds of the coarse score of every template that passes the filter.
    w.candidates.clear();
    for (std::size_t m = lowest; m <= highest && m < groups.size(); ++m) {
        const TemplateSet::Group& group = groups[m];
        if (group.ids.empty()) {
            continue;
        }
        if (m == 0) {
            // No strokes, no bound: such templates are always scored.
            for (std::size_t k = 0; k < group.ids.size(); ++k) {
                w.candidates.push_back(
                    {-kInf, static_cast<std::uint32_t>(m), static_cast<std::uint32_t>(k)});
            }
            continue;
        }
        const std::size_t strokes = group.strokes();
        w.bounds.resize(n * strokes);
        for (std::size_t i = 0; i < n; ++i) {
            kernels::strokeBounds(&w.chunks[i * 2 * kChunks], group.chunkX.data(),
                                  group.chunkY.data(), group.stride(), strokes,
                                  &w.bounds[i * strokes]);
        }
        w.columns.resize(m);
        const double diff = static_cast<double>(n > m ? n - m : m - n);
        for (std::size_t k = 0; k < group.ids.size(); ++k) {
            std::fill(w.columns.begin(), w.columns.end(), kInfF);
            float rows = 0.0f;
            for (std::size_t i = 0; i < n; ++i) {
                const float* row = &w.bounds[i * strokes + k * m];
                float nearest = kInfF;
                for (std::size_t j = 0; j < m; ++j) {
                    nearest = std::min(nearest, row[j]);
                    w.columns[j] = std::min(w.columns[j], row[j]);
                }
                rows += nearest;
            }
            float columns = 0.0f;
            for (float c : w.columns) {
                columns += c;
            }
            double bound = (static_cast<double>(rows) / static_cast<double>(n) +
                            static_cast<double>(columns) / static_cast<double>(m)) *
                               0.5 +
                           diff * kCoarseCountPenalty - kBoundMargin;
            if (std::isnan(bound)) {
                bound = -kInf;
            }
            w.candidates.push_back(
                {bound, static_cast<std::uint32_t>(m), static_cast<std::uint32_t>(k)});
        }
    }
    std::sort(w.candidates.begin(), w.candidates.end(),
              [](const Candidate& a, const Candidate& b) { return a.bound < b.bound; });

    // Exact coarse scores, best bound first, keeping the 180 best by (score, database index):
    // the first 180 of the stable sort of the database-ordered list.
    const std::size_t pitch = kernels::lanesFor(std::max<std::size_t>(highest, 1));
    const std::size_t slotSize = n * pitch;
    w.matrices.resize((kShortlist + 1) * slotSize);
    w.freeSlots.clear();
    for (std::size_t s = kShortlist + 1; s-- > 0;) {
        w.freeSlots.push_back(static_cast<std::uint32_t>(s));
    }
    w.scratch.resize(slotSize);
    w.best.clear();
    for (const Candidate& c : w.candidates) {
        if (w.best.size() == kShortlist && c.bound > w.best.front().key) {
            break;  // bounds only grow from here
        }
        const TemplateSet::Group& group = groups[c.group];
        const std::size_t m = group.strokeCount;
        const std::uint32_t slot = w.freeSlots.back();
        double* d = &w.matrices[slot * slotSize];
        kernels::strokeDistances(w.ax.data(), w.ay.data(), n, group.x.data(), group.y.data(),
                                 group.stride(), c.index * m, m, pitch, d, w.scratch.data());
        const Scored scored{rankKey(coarseScore(d, pitch, n, m)), group.ids[c.index], c.group,
                            slot};
        if (w.best.size() < kShortlist) {
            w.freeSlots.pop_back();
            w.best.push_back(scored);
            std::push_heap(w.best.begin(), w.best.end(), before);
        } else if (before(scored, w.best.front())) {
            w.freeSlots.pop_back();
            std::pop_heap(w.best.begin(), w.best.end(), before);
            w.freeSlots.push_back(w.best.back().slot);
            w.best.back() = scored;
            std::push_heap(w.best.begin(), w.best.end(), before);
        }
    }
    std::sort_heap(w.best.begin(), w.best.end(), before);

    // Precise pass on the shortlist, reusing its exact distances. Only the first `limit` of
    // the stable sort by final score are returned, that is the `limit` smallest by (final
    // score, coarse rank): templates are scored in order of a lower bound of their final
    // score, until no bound can reach the `limit`-th score.
    const std::size_t wanted = std::min(static_cast<std::size_t>(limit), w.best.size());
    w.order.clear();
    for (std::size_t r = 0; r < w.best.size() && wanted > 0; ++r) {
        const Scored& s = w.best[r];
        const std::size_t m = groups[s.group].strokeCount;
        const std::size_t side = std::max(n, m);
        const double* d = &w.matrices[s.slot * slotSize];
        // Every row and every column of the matrix pays at least its smallest entry.
        const double unmatched = side > m ? kUnmatchedStrokeCost : kInf;
        double rows = static_cast<double>(side - n) * kUnmatchedStrokeCost;
        for (std::size_t i = 0; i < n; ++i) {
            double nearest = unmatched;
            for (std::size_t j = 0; j < m; ++j) {
                nearest = std::min(nearest, d[i * pitch + j]);
            }
            rows += nearest;
        }
        double columns = static_cast<double>(side - m) * kUnmatchedStrokeCost;
        const double unpaired = side > n ? kUnmatchedStrokeCost : kInf;
        for (std::size_t j = 0; j < m; ++j) {
            double nearest = unpaired;
            for (std::size_t i = 0; i < n; ++i) {
                nearest = std::min(nearest, d[i * pitch + j]);
            }
            columns += nearest;
        }
        const double diff = static_cast<double>(n > m ? n - m : m - n);
        double bound = diff * kFineCountPenalty +
                       std::max(rows, columns) / static_cast<double>(side) +
                       (templateCommon_[s.id] != 0 ? kCommonBonus : 0.0) - kFineBoundMargin;
        if (std::isnan(bound)) {
            bound = -kInf;
        }
        w.order.push_back({bound, static_cast<std::uint32_t>(r), 0, 0});
    }
    std::sort(w.order.begin(), w.order.end(),
              [](const Scored& a, const Scored& b) { return a.key < b.key; });
    w.fine.clear();  // max-heap by (final score, coarse rank)
    for (const Scored& o : w.order) {
        if (w.fine.size() == wanted && o.key > w.fine.front().key) {
            break;
        }
        const Scored& s = w.best[o.id];
        const std::size_t m = groups[s.group].strokeCount;
        const std::size_t side = std::max(n, m);
        const double* d = &w.matrices[s.slot * slotSize];
        w.matrix.side = side;
        w.matrix.cells.assign(side * side, kUnmatchedStrokeCost);
        for (std::size_t i = 0; i < n; ++i) {
            std::copy_n(d + i * pitch, m,
                        w.matrix.cells.begin() + static_cast<std::ptrdiff_t>(i * side));
        }
        const double diff = static_cast<double>(n > m ? n - m : m - n);
        double score = diff * kFineCountPenalty + assignmentCost(w.matrix, w.assignment);
        if (templateCommon_[s.id] != 0) {
            score += kCommonBonus;
        }
        // `id` holds the coarse rank here; `slot` the template.
        const Scored scored{rankKey(score), o.id, 0, s.id};
        if (w.fine.size() < wanted) {
            w.fine.push_back(scored);
            std::push_heap(w.fine.begin(), w.fine.end(), before);
        } else if (before(scored, w.fine.front())) {
            std::pop_heap(w.fine.begin(), w.fine.end(), before);
            w.fine.back() = scored;
            std::push_heap(w.fine.begin(), w.fine.end(), before);
        }
    }
    std::sort_heap(w.fine.begin(), w.fine.end(), before);

    const std::size_t count = std::min(static_cast<std::size_t>(limit), w.fine.size());
    std::vector<std::string> result;
    result.reserve(count);
    for (std::size_t r = 0; r < count; ++r) {
        result.push_back(templates_[w.fine[r].slot].character);
    }
    return result;
}

}  // namespace sumiro
