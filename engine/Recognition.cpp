// The two-pass recognizer: a coarse nearest-stroke score for every template within the
// stroke-count tolerance, then an optimal stroke assignment for the best 180.
//
// Most templates are never scored exactly. Single-precision lower bounds of the coarse score
// order the templates; single-precision coarse scores, computed best bound first, stop once no
// remaining bound can reach the 180th. Single precision is within kDistanceError of double
// precision, so only templates that close to the cut-off, or that close to another one in the
// final ranking, can be misplaced by it: those are scored again in double precision exactly
// as strokeDistance and assignmentCost score them. The result is therefore the ranking of
// scoring every template in double precision, ties and all.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "engine/CharacterDatabase.h"
#include "engine/Contract.h"
#include "engine/HelperThread.h"
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
// The bounds' own single-precision error stays far below this.
constexpr double kBoundMargin = 1e-4;
// Coarse and final scores average distances (the assignment cost is a mean of matrix
// entries), so a score from single-precision distances is as close as the distances are.
constexpr double kScoreError = kernels::kDistanceError;
// Rounding of the assignment's potentials, many orders of magnitude below this.
constexpr double kAssignmentRounding = 1e-9;
// Stroke pairs from which sharing the bound and coarse passes with the helper thread pays.
constexpr std::size_t kParallelPairs = 20000;
// Drawn strokes from which sharing the precise pass with the helper thread pays.
constexpr std::size_t kParallelFineStrokes = 6;
// Candidates put in order at once; the coarse pass rarely reaches further.
constexpr std::size_t kPresorted = 4 * kShortlist;
// Strokes copied at once when gathering a batch; the group padding allows reading this far.
constexpr std::size_t kCopyPiece = 16;
static_assert(kStrokePadding >= kCopyPiece);
// Template strokes scored per kernel call in the coarse pass.
constexpr std::size_t kBatchStrokes = 128;
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr std::uint32_t kNoSlot = std::numeric_limits<std::uint32_t>::max();

// A score that is not a number (a template without strokes, or with coordinates that overflow)
// ranks after every real score, so sorting stays a strict weak order.
double rankKey(double score) { return std::isnan(score) ? kInf : score; }

// Mean nearest-stroke distance both ways, plus the stroke-count penalty; d(i, j) is
// d[i * pitch + j].
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

// Lower bound of the final score's assignment part (the assignment cost of the matrix with
// 0.55 for unmatched strokes): reduce every row by its smallest entry, then every column of
// what remains; the reductions are a feasible dual solution of the assignment problem.
double assignmentBound(const double* d, std::size_t pitch, std::size_t n, std::size_t m,
                       double* reduced) {
    const std::size_t side = std::max(n, m);
    const auto cell = [&](std::size_t i, std::size_t j) {
        return i < n && j < m ? d[i * pitch + j] : kUnmatchedStrokeCost;
    };
    double total = 0.0;
    for (std::size_t i = 0; i < side; ++i) {
        double nearest = kInf;
        for (std::size_t j = 0; j < side; ++j) {
            nearest = std::min(nearest, cell(i, j));
        }
        reduced[i] = nearest;
        total += nearest;
    }
    for (std::size_t j = 0; j < side; ++j) {
        double nearest = kInf;
        for (std::size_t i = 0; i < side; ++i) {
            nearest = std::min(nearest, cell(i, j) - reduced[i]);
        }
        total += nearest;
    }
    return total / static_cast<double>(side);
}

struct Candidate {
    double bound;
    std::uint32_t group;
    std::uint32_t index;  // within the group
};

// One template scored in the coarse pass.
struct Coarse {
    double key;  // coarse score; exact when `exact`, else within kScoreError of it
    std::uint32_t id;
    std::uint32_t group;
    std::uint32_t slot;  // its distance matrix, or kNoSlot
    bool exact;
};

bool before(const Coarse& a, const Coarse& b) {
    return a.key < b.key || (a.key == b.key && a.id < b.id);
}

// One shortlisted template in the precise pass.
struct Fine {
    double key;    // final score, from the same distances as the entry's coarse key
    double bound;  // lower bound of `key`
    std::uint32_t entry;
    bool scored;
};

// Working storage of one thread's share of the coarse pass.
struct CoarsePart {
    std::vector<float> batchX, batchY;  // strokes of a batch of templates, point-major
    std::vector<float> distances, scratch;
};

// Working storage of one thread's share of the precise pass.
struct FinePart {
    std::vector<Fine> heap;  // max-heap of the best `limit` so far
    CostMatrix matrix;
    AssignmentWorkspace assignment;
    kernels::AssignmentScratch fast;
};

bool finer(const Fine& a, const Fine& b) {
    return a.key < b.key || (a.key == b.key && a.entry < b.entry);
}

// Working storage of one thread's share of the bound pass.
struct BoundPart {
    struct Range {
        std::uint32_t group, first, count;  // templates [first, first + count) of the group
    };
    std::vector<Range> ranges;
    std::vector<float> rows, columns, scratch;
    std::vector<Candidate> candidates;
};

// Working storage kept per thread, so a recognition allocates only when an ink needs more room
// than any before it on that thread.
struct Workspace {
    std::vector<float> ax, ay;         // drawn strokes, point p of stroke i at [i * 16 + p]
    std::vector<float> chunks;         // drawn chunk centroids, 8 per stroke
    std::vector<std::uint32_t> order;  // stroke counts of the groups to examine
    std::array<BoundPart, 2> parts;
    std::vector<Candidate> candidates;
    std::vector<Coarse> best;       // max-heap of the shortlist so far
    std::vector<Coarse> evaluated;  // every template scored, for the cut-off band
    std::vector<Coarse> shortlist;
    std::vector<double> matrices;  // distance matrices, one slot each
    std::vector<std::uint32_t> freeSlots;
    std::size_t slots = 0;
    std::array<CoarsePart, 2> coarseParts;
    std::vector<Coarse> scored;  // by candidate position
    std::vector<Fine> fine;
    std::vector<double> reduced;
    std::array<FinePart, 2> fineParts;

    std::uint32_t takeSlot(std::size_t slotSize) {
        if (freeSlots.empty()) {
            matrices.resize(++slots * slotSize);
            return static_cast<std::uint32_t>(slots - 1);
        }
        const std::uint32_t slot = freeSlots.back();
        freeSlots.pop_back();
        return slot;
    }
    void releaseSlot(Coarse& entry) {
        if (entry.slot != kNoSlot) {
            freeSlots.push_back(entry.slot);
            entry.slot = kNoSlot;
        }
    }
};

}  // namespace

std::vector<std::string> CharacterDatabase::recognize(const Ink& ink, std::ptrdiff_t limit) const {
    const Ink input = normalized(ink);
    const std::size_t n = input.size();
    if (n == 0) {
        return {};
    }
    SUMIRO_EXPECTS(limit >= 0, "recognize: limit must not be negative");
    if (limit == 0) {
        return {};
    }
    thread_local Workspace workspace;
    // A plain reference: a lambda run by the helper thread must see this thread's workspace,
    // not its own thread_local one.
    Workspace& w = workspace;

    w.ax.resize(n * kStrokePoints);
    w.ay.resize(n * kStrokePoints);
    w.chunks.resize(n * 2 * kChunks);
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t p = 0; p < kStrokePoints; ++p) {
            w.ax[i * kStrokePoints + p] = static_cast<float>(input[i][p].x);
            w.ay[i * kStrokePoints + p] = static_cast<float>(input[i][p].y);
        }
        const auto centroids = chunkCentroids(input[i]);
        std::transform(centroids.begin(), centroids.end(),
                       w.chunks.begin() + static_cast<std::ptrdiff_t>(i * 2 * kChunks),
                       [](double c) { return static_cast<float>(c); });
    }

    const std::size_t tolerance = std::max<std::size_t>(2, n / 5);
    const auto& groups = templateSet_.groups();
    const std::size_t lowest = n > tolerance ? n - tolerance : 0;
    const std::size_t highest = std::min(n + tolerance, groups.empty() ? 0 : groups.size() - 1);

    // Groups by increasing stroke-count difference: the count penalty alone may rule out the
    // farther ones once the nearer ones have been scored.
    w.order.clear();
    for (std::size_t m = lowest; m <= highest && m < groups.size(); ++m) {
        w.order.push_back(static_cast<std::uint32_t>(m));
    }
    const auto differenceOf = [n](std::size_t m) { return n > m ? n - m : m - n; };
    std::stable_sort(w.order.begin(), w.order.end(), [&](std::uint32_t a, std::uint32_t b) {
        return differenceOf(a) < differenceOf(b);
    });

    // Lower bounds of the coarse score of every template of the groups w.order[first, last)
    // into w.candidates, the groups shared out between this thread and the helper when there is
    // enough work to pay for it. Returns whether it was shared.
    const auto boundGroups = [&](std::size_t first, std::size_t last) {
        std::size_t pairs = 0;
        for (std::size_t g = first; g < last; ++g) {
            pairs += n * groups[w.order[g]].strokes();
        }
        // Each group's templates are halved between the two threads.
        const bool shared = pairs >= kParallelPairs;
        for (BoundPart& part : w.parts) {
            part.ranges.clear();
            part.candidates.clear();
        }
        for (std::size_t g = first; g < last; ++g) {
            const std::uint32_t m = w.order[g];
            const auto count = static_cast<std::uint32_t>(groups[m].ids.size());
            const std::uint32_t half = shared ? count / 2 : count;
            w.parts[0].ranges.push_back({m, 0, half});
            w.parts[1].ranges.push_back({m, half, count - half});
        }
        const auto bound = [&](BoundPart& part) {
            for (const auto& [m, begin, count] : part.ranges) {
                const TemplateSet::Group& group = groups[m];
                if (count == 0) {
                    continue;
                }
                if (m == 0) {
                    // No strokes, no bound: such templates are always scored.
                    for (std::uint32_t k = begin; k < begin + count; ++k) {
                        part.candidates.push_back({-kInf, 0, k});
                    }
                    continue;
                }
                part.rows.resize(count);
                part.columns.resize(count);
                part.scratch.resize(2 * count * m + count);
                kernels::templateBounds(w.chunks.data(), n, group.chunkX.data(),
                                        group.chunkY.data(), group.ids.size(), begin, count, m,
                                        part.rows.data(), part.columns.data(), part.scratch.data());
                const auto diff = static_cast<double>(differenceOf(m));
                for (std::uint32_t k = 0; k < count; ++k) {
                    double bound = (static_cast<double>(part.rows[k]) / static_cast<double>(n) +
                                    static_cast<double>(part.columns[k]) / static_cast<double>(m)) *
                                       0.5 +
                                   diff * kCoarseCountPenalty - kBoundMargin;
                    if (std::isnan(bound)) {
                        bound = -kInf;
                    }
                    part.candidates.push_back({bound, m, begin + k});
                }
            }
        };
        if (shared) {
            auto share = [&](std::size_t part) { bound(w.parts[part]); };
            helper_->split(share);
        } else {
            bound(w.parts[0]);
        }
        w.candidates.assign(w.parts[0].candidates.begin(), w.parts[0].candidates.end());
        w.candidates.insert(w.candidates.end(), w.parts[1].candidates.begin(),
                            w.parts[1].candidates.end());
        return shared;
    };
    std::size_t stageEnd = 0;
    while (stageEnd < w.order.size() && differenceOf(w.order[stageEnd]) <= 1) {
        ++stageEnd;
    }
    const bool parallel = boundGroups(0, stageEnd);

    // Only the first few hundred are normally scored: sort those, the rest only if reached.
    const auto byBound = [](const Candidate& a, const Candidate& b) { return a.bound < b.bound; };
    std::size_t sorted = std::min(w.candidates.size(), kPresorted);
    std::nth_element(w.candidates.begin(),
                     w.candidates.begin() + static_cast<std::ptrdiff_t>(sorted), w.candidates.end(),
                     byBound);
    std::sort(w.candidates.begin(), w.candidates.begin() + static_cast<std::ptrdiff_t>(sorted),
              byBound);
    const auto sortedUpTo = [&](std::size_t index) {
        if (index >= sorted) {
            std::sort(w.candidates.begin() + static_cast<std::ptrdiff_t>(sorted),
                      w.candidates.end(), byBound);
            sorted = w.candidates.size();
        }
    };

    const std::size_t pitch = kernels::lanesFor(std::max<std::size_t>(highest, 1));
    const std::size_t slotSize = n * pitch;
    w.freeSlots.clear();
    w.slots = 0;
    const auto matrixOf = [&](const Coarse& c) { return &w.matrices[c.slot * slotSize]; };
    // Distances and coarse score of a template in double precision, exactly as defined.
    const auto scoreExactly = [&](Coarse& c) {
        if (c.slot == kNoSlot) {
            c.slot = w.takeSlot(slotSize);
        }
        Ink scratch;
        const Ink& strokes = templateStrokes(c.id, scratch);
        double* d = matrixOf(c);
        for (std::size_t i = 0; i < n; ++i) {
            for (std::size_t j = 0; j < strokes.size(); ++j) {
                d[i * pitch + j] = strokeDistance(input[i], strokes[j]);
            }
        }
        c.key = rankKey(coarseScore(d, pitch, n, strokes.size()));
        c.exact = true;
    };

    // Coarse scores in single precision, best bound first, keeping the 180 best. A template
    // whose bound exceeds the 180th score by more than the scores' error cannot be among the
    // 180 best in double precision.
    // Templates are scored in batches of about kBatchStrokes strokes, gathered side by side so
    // that the kernel's vectors are full whatever the stroke count. The first 180 candidates
    // are always scored, so they may be shared out between two threads; after them a batch
    // may score a few templates that the stopping rule would have skipped, which changes
    // nothing but time.
    const std::size_t batchStride = kBatchStrokes + highest + kCopyPiece + kernels::kLanes;
    for (CoarsePart& part : w.coarseParts) {
        part.batchX.resize(kStrokePoints * batchStride);
        part.batchY.resize(kStrokePoints * batchStride);
        part.distances.resize(n * batchStride);
        part.scratch.resize(n * batchStride);
    }
    // Scores the candidates [from, to) into w.scored[from, to), whose slots are assigned.
    const auto scoreRange = [&](CoarsePart& part, std::size_t from, std::size_t to) {
        for (std::size_t next = from; next < to;) {
            std::size_t batch = next;
            std::size_t strokes = 0;
            for (; batch < to && strokes < kBatchStrokes; ++batch) {
                const Candidate& c = w.candidates[batch];
                const TemplateSet::Group& group = groups[c.group];
                const std::size_t m = group.strokeCount;
                // Whole 64-byte pieces: a call to memmove per short run would cost more than
                // the copy. Reading past the run stays within the group's padding, writing past
                // it within the batch's slack, and the next template overwrites it.
                for (std::size_t p = 0; p < kStrokePoints; ++p) {
                    const float* fromX = &group.x[p * group.stride() + c.index * m];
                    const float* fromY = &group.y[p * group.stride() + c.index * m];
                    float* toX = &part.batchX[p * batchStride + strokes];
                    float* toY = &part.batchY[p * batchStride + strokes];
                    for (std::size_t j = 0; j < m; j += kCopyPiece) {
                        std::memcpy(toX + j, fromX + j, kCopyPiece * sizeof(float));
                        std::memcpy(toY + j, fromY + j, kCopyPiece * sizeof(float));
                    }
                }
                strokes += m;
            }
            kernels::strokeDistances(w.ax.data(), w.ay.data(), n, part.batchX.data(),
                                     part.batchY.data(), batchStride, 0, strokes, batchStride,
                                     part.distances.data(), part.scratch.data());
            for (std::size_t offset = 0; next < batch; ++next) {
                Coarse& scored = w.scored[next];
                const std::size_t m = groups[scored.group].strokeCount;
                double* d = matrixOf(scored);
                for (std::size_t i = 0; i < n; ++i) {
                    std::copy_n(&part.distances[i * batchStride + offset], m, d + i * pitch);
                }
                offset += m;
                scored.key = rankKey(coarseScore(d, pitch, n, m));
            }
        }
    };
    const auto prepare = [&](std::size_t index) {
        const Candidate& c = w.candidates[index];
        w.scored[index] = {0.0, groups[c.group].ids[c.index], c.group, w.takeSlot(slotSize), false};
    };
    w.scored.resize(w.candidates.size());
    const std::size_t always = std::min(kShortlist, w.candidates.size());
    for (std::size_t k = 0; k < always; ++k) {
        prepare(k);
    }
    if (parallel) {
        auto share = [&](std::size_t part) {
            scoreRange(w.coarseParts[part], part == 0 ? 0 : always / 2,
                       part == 0 ? always / 2 : always);
        };
        helper_->split(share);
    } else {
        scoreRange(w.coarseParts[0], 0, always);
    }
    w.best.assign(w.scored.begin(), w.scored.begin() + static_cast<std::ptrdiff_t>(always));
    std::make_heap(w.best.begin(), w.best.end(), before);
    w.evaluated = w.best;
    for (Coarse& c : w.evaluated) {
        c.slot = kNoSlot;
    }
    const auto hopeless = [&](std::size_t index) {
        sortedUpTo(index);
        return w.best.size() == kShortlist &&
               w.candidates[index].bound > w.best.front().key + kScoreError;
    };
    // Scores candidates from `start` on, best bound first, until no bound can reach the 180th.
    const auto scoreRest = [&](std::size_t start) {
        for (std::size_t next = start; next < w.candidates.size() && !hopeless(next);) {
            std::size_t batch = next;
            for (std::size_t strokes = 0;
                 batch < w.candidates.size() && strokes < kBatchStrokes && !hopeless(batch);
                 ++batch) {
                strokes += groups[w.candidates[batch].group].strokeCount;
                prepare(batch);
            }
            scoreRange(w.coarseParts[0], next, batch);
            for (; next < batch; ++next) {
                Coarse& scored = w.scored[next];
                w.evaluated.push_back({scored.key, scored.id, scored.group, kNoSlot, false});
                if (w.best.size() < kShortlist) {
                    w.best.push_back(scored);
                    std::push_heap(w.best.begin(), w.best.end(), before);
                } else if (before(scored, w.best.front())) {
                    std::pop_heap(w.best.begin(), w.best.end(), before);
                    w.releaseSlot(w.best.back());
                    w.best.back() = scored;
                    std::push_heap(w.best.begin(), w.best.end(), before);
                } else {
                    w.releaseSlot(scored);
                }
            }
        }
    };
    scoreRest(always);
    // The farther groups, one difference at a time, unless their count penalty alone already
    // exceeds the 180th score.
    for (std::size_t first = stageEnd; first < w.order.size(); first = stageEnd) {
        const std::size_t diff = differenceOf(w.order[first]);
        if (w.best.size() == kShortlist &&
            static_cast<double>(diff) * kCoarseCountPenalty > w.best.front().key + kScoreError) {
            break;
        }
        while (stageEnd < w.order.size() && differenceOf(w.order[stageEnd]) == diff) {
            ++stageEnd;
        }
        boundGroups(first, stageEnd);
        sorted = 0;
        sortedUpTo(0);
        w.scored.resize(w.candidates.size());
        scoreRest(0);
    }
    std::sort_heap(w.best.begin(), w.best.end(), before);

    // The shortlist: templates clearly inside the cut-off, then the best of those within twice
    // the error of it, ranked in double precision.
    w.shortlist.clear();
    if (w.evaluated.size() <= kShortlist) {
        w.shortlist = w.best;
    } else {
        const double cut = w.best.back().key;
        const double low = cut - 2 * kScoreError;
        const double high = cut + 2 * kScoreError;
        for (Coarse& c : w.best) {
            if (c.key < low) {
                w.shortlist.push_back(c);
            } else {
                w.releaseSlot(c);
            }
        }
        const std::size_t inside = w.shortlist.size();
        for (Coarse& c : w.evaluated) {
            if (c.key >= low && c.key <= high) {
                scoreExactly(c);
                w.shortlist.push_back(c);
            }
        }
        const auto band = w.shortlist.begin() + static_cast<std::ptrdiff_t>(inside);
        std::sort(band, w.shortlist.end(), before);
        for (auto it = w.shortlist.begin() + static_cast<std::ptrdiff_t>(kShortlist);
             it < w.shortlist.end(); ++it) {
            w.releaseSlot(*it);
        }
        w.shortlist.resize(kShortlist);
    }

    // Final score of a shortlisted template from its distance matrix.
    // With `giveUp`, a score above it may be returned as soon as the assignment shows that the
    // final score exceeds it.
    const auto finalScore = [&](const Coarse& c, FinePart& part, double giveUp = kInf) {
        const std::size_t m = groups[c.group].strokeCount;
        const std::size_t side = std::max(n, m);
        const double* d = matrixOf(c);
        part.matrix.side = side;
        part.matrix.cells.assign(side * side, kUnmatchedStrokeCost);
        for (std::size_t i = 0; i < n; ++i) {
            std::copy_n(d + i * pitch, m,
                        part.matrix.cells.begin() + static_cast<std::ptrdiff_t>(i * side));
        }
        const double diff = static_cast<double>(n > m ? n - m : m - n);
        const double offset =
            diff * kFineCountPenalty + (templateCommon_[c.id] != 0 ? kCommonBonus : 0.0);
        double score = diff * kFineCountPenalty +
                       (c.exact ? assignmentCost(part.matrix, part.assignment)
                                : kernels::assignment(part.matrix.cells.data(), side, part.fast,
                                                      giveUp - offset + kAssignmentRounding));
        if (templateCommon_[c.id] != 0) {
            score += kCommonBonus;
        }
        return rankKey(score);
    };

    // Precise pass, best lower bound first, only as far as the first `limit` need: a template
    // whose bound exceeds the limit-th score by more than twice the error cannot precede it.
    const std::size_t wanted = std::min(static_cast<std::size_t>(limit), w.shortlist.size());
    w.fine.clear();
    w.reduced.resize(std::max(n, highest));
    for (std::size_t e = 0; e < w.shortlist.size(); ++e) {
        const Coarse& c = w.shortlist[e];
        const std::size_t m = groups[c.group].strokeCount;
        const double diff = static_cast<double>(n > m ? n - m : m - n);
        double bound = diff * kFineCountPenalty +
                       assignmentBound(matrixOf(c), pitch, n, m, w.reduced.data()) +
                       (templateCommon_[c.id] != 0 ? kCommonBonus : 0.0) - kAssignmentRounding;
        if (std::isnan(bound)) {
            bound = -kInf;
        }
        w.fine.push_back({0.0, bound, static_cast<std::uint32_t>(e), false});
    }
    std::sort(w.fine.begin(), w.fine.end(),
              [](const Fine& a, const Fine& b) { return a.bound < b.bound; });
    // With two threads each takes every other template in bound order and stops by its own
    // limit-th score, which is never better than the common one: it may score a few more.
    const bool parallelFine = parallel && n >= kParallelFineStrokes;
    const std::size_t shares = parallelFine ? 2 : 1;
    const auto rank = [&](std::size_t share) {
        FinePart& part = w.fineParts[share];
        std::vector<Fine>& heap = part.heap;
        heap.clear();
        for (std::size_t r = share; r < w.fine.size(); r += shares) {
            Fine& f = w.fine[r];
            if (heap.size() == wanted && f.bound > heap.front().key + 2 * kScoreError) {
                break;
            }
            // A template whose final score exceeds the limit-th by more than twice the error
            // cannot precede it: its assignment may stop there.
            const double giveUp = heap.size() == wanted ? heap.front().key + 2 * kScoreError : kInf;
            f.key = finalScore(w.shortlist[f.entry], part, giveUp);
            if (f.key > giveUp) {
                continue;
            }
            f.scored = true;
            if (heap.size() < wanted) {
                heap.push_back(f);
                std::push_heap(heap.begin(), heap.end(), finer);
            } else if (finer(f, heap.front())) {
                std::pop_heap(heap.begin(), heap.end(), finer);
                heap.back() = f;
                std::push_heap(heap.begin(), heap.end(), finer);
            }
        }
    };
    if (parallelFine) {
        helper_->split(rank);
    } else {
        rank(0);
    }
    std::erase_if(w.fine, [](const Fine& f) { return !f.scored; });
    std::sort(w.fine.begin(), w.fine.end(), finer);

    // Scores closer than twice the error may be in either order: such runs are scored again
    // in double precision and ordered by final score, then coarse score, then database order,
    // as the two stable sorts order them.
    std::vector<std::string> result;
    result.reserve(wanted);
    for (std::size_t first = 0; first < w.fine.size() && result.size() < wanted;) {
        std::size_t last = first + 1;
        while (last < w.fine.size() && w.fine[last].key - w.fine[last - 1].key <= 2 * kScoreError) {
            ++last;
        }
        if (last - first > 1) {
            for (std::size_t r = first; r < last; ++r) {
                Coarse& c = w.shortlist[w.fine[r].entry];
                if (!c.exact) {
                    scoreExactly(c);
                }
                w.fine[r].key = finalScore(c, w.fineParts[0]);
            }
            std::sort(w.fine.begin() + static_cast<std::ptrdiff_t>(first),
                      w.fine.begin() + static_cast<std::ptrdiff_t>(last),
                      [&](const Fine& a, const Fine& b) {
                          if (a.key != b.key) {
                              return a.key < b.key;
                          }
                          return before(w.shortlist[a.entry], w.shortlist[b.entry]);
                      });
        }
        for (std::size_t r = first; r < last && result.size() < wanted; ++r) {
            result.push_back(templateCharacter(w.shortlist[w.fine[r].entry].id));
        }
        first = last;
    }
    return result;
}

}  // namespace sumiro
