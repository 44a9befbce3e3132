// The two-pass recognizer: a coarse nearest-stroke score for every template within the
// stroke-count tolerance, then an optimal stroke assignment for the best 180. A joined-stroke
// specimen adds its cost (CharacterDatabase::templateCost) to both scores and so to their
// bounds: one that starts behind by its cost is skipped as soon as any other template would.
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
#include <span>

#include "engine/Candidates.h"
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
// Strokes copied at once when gathering a batch; the pool's padding allows reading this far.
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
    // A template without strokes has no nearest stroke: it ranks after every real score.
    if (m == 0) {
        return kInf;
    }
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

// One recognition, its stages in the order they run:
//   1. prepareInk          the drawn strokes in single precision, with their chunk centroids;
//   2. orderGroups         stroke-count groups by increasing difference from the drawn count;
//   3. boundGroups         a lower bound of the coarse score of every template of the nearest
//                          groups, the candidates, put in bound order (sortByBound);
//   4. scoreFirst          coarse scores of the 180 best bounds;
//   5. scoreRest           coarse scores of further candidates while a bound can still reach
//                          the 180th score, then the farther groups (scoreFartherGroups);
//   6. cutShortlist        the 180 best, those near the cut-off ranked in double precision;
//   7. rankShortlist       the precise pass: final scores, best lower bound first, only as
//                          far as the first `limit` need;
//   8. resolveCloseScores  runs of nearly equal final scores scored again exactly, and the
//                          answer.
class Recognition {
public:
    Recognition(const Ink& input, std::size_t limit, const TemplateSet& templateSet,
                const CharacterDatabase& database, const std::vector<char>& common,
                const std::vector<double>& cost, HelperThread& helper, Workspace& workspace)
        : input_(input),
          n_(input.size()),
          limit_(limit),
          templateSet_(templateSet),
          groups_(templateSet.groups()),
          database_(database),
          common_(common),
          cost_(cost),
          helper_(helper),
          w_(workspace) {}

    std::vector<std::string> run() {
        prepareInk();
        orderGroups();
        std::size_t stageEnd = 0;
        while (stageEnd < w_.order.size() && differenceOf(w_.order[stageEnd]) <= 1) {
            ++stageEnd;
        }
        parallel_ = boundGroups(0, stageEnd);
        sortByBound();
        prepareScoring();
        scoreFirst();
        scoreRest(always_);
        scoreFartherGroups(stageEnd);
        std::sort_heap(w_.best.begin(), w_.best.end(), before);
        cutShortlist();
        rankShortlist();
        return resolveCloseScores();
    }

private:
    std::size_t differenceOf(std::size_t m) const { return n_ > m ? n_ - m : m - n_; }
    double* matrixOf(const Coarse& c) { return &w_.matrices[c.slot * slotSize_]; }

    // 1. The drawn strokes, point-major in single precision, and their chunk centroids.
    void prepareInk() {
        w_.ax.resize(n_ * kStrokePoints);
        w_.ay.resize(n_ * kStrokePoints);
        w_.chunks.resize(n_ * 2 * kChunks);
        for (std::size_t i = 0; i < n_; ++i) {
            for (std::size_t p = 0; p < kStrokePoints; ++p) {
                w_.ax[i * kStrokePoints + p] = static_cast<float>(input_[i][p].x);
                w_.ay[i * kStrokePoints + p] = static_cast<float>(input_[i][p].y);
            }
            const auto centroids = chunkCentroids(input_[i]);
            std::transform(centroids.begin(), centroids.end(),
                           w_.chunks.begin() + static_cast<std::ptrdiff_t>(i * 2 * kChunks),
                           [](double c) { return static_cast<float>(c); });
        }
    }

    // 2. The groups within the stroke-count tolerance, by increasing stroke-count difference:
    // the count penalty alone may rule out the farther ones once the nearer ones are scored.
    void orderGroups() {
        const std::size_t tolerance = std::max<std::size_t>(2, n_ / 5);
        const std::size_t lowest = n_ > tolerance ? n_ - tolerance : 0;
        highest_ = std::min(n_ + tolerance, groups_.empty() ? 0 : groups_.size() - 1);
        w_.order.clear();
        for (std::size_t m = lowest; m <= highest_ && m < groups_.size(); ++m) {
            w_.order.push_back(static_cast<std::uint32_t>(m));
        }
        std::stable_sort(w_.order.begin(), w_.order.end(), [&](std::uint32_t a, std::uint32_t b) {
            return differenceOf(a) < differenceOf(b);
        });
    }

    // 3. Lower bounds of the coarse score of every template of the groups w_.order[first,
    // last) into w_.candidates, the groups shared out between this thread and the helper when
    // there is enough work to pay for it. Returns whether it was shared.
    bool boundGroups(std::size_t first, std::size_t last) {
        std::size_t pairs = 0;
        for (std::size_t g = first; g < last; ++g) {
            pairs += n_ * groups_[w_.order[g]].strokes();
        }
        // Each group's templates are halved between the two threads.
        const bool shared = pairs >= kParallelPairs;
        for (BoundPart& part : w_.parts) {
            part.ranges.clear();
            part.candidates.clear();
        }
        for (std::size_t g = first; g < last; ++g) {
            const std::uint32_t m = w_.order[g];
            const auto count = static_cast<std::uint32_t>(groups_[m].ids.size());
            const std::uint32_t half = shared ? count / 2 : count;
            w_.parts[0].ranges.push_back({m, 0, half});
            w_.parts[1].ranges.push_back({m, half, count - half});
        }
        if (shared) {
            helper_.split([&](std::size_t part) { boundPart(w_.parts[part]); });
        } else {
            boundPart(w_.parts[0]);
        }
        w_.candidates.assign(w_.parts[0].candidates.begin(), w_.parts[0].candidates.end());
        w_.candidates.insert(w_.candidates.end(), w_.parts[1].candidates.begin(),
                             w_.parts[1].candidates.end());
        return shared;
    }

    void boundPart(BoundPart& part) const {
        for (const auto& [m, begin, count] : part.ranges) {
            const TemplateSet::Group& group = groups_[m];
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
            kernels::templateBounds(w_.chunks.data(), n_, group.chunkX.data(), group.chunkY.data(),
                                    group.ids.size(), begin, count, m, part.rows.data(),
                                    part.columns.data(), part.scratch.data());
            const auto diff = static_cast<double>(differenceOf(m));
            for (std::uint32_t k = 0; k < count; ++k) {
                double bound = (static_cast<double>(part.rows[k]) / static_cast<double>(n_) +
                                static_cast<double>(part.columns[k]) / static_cast<double>(m)) *
                                   0.5 +
                               diff * kCoarseCountPenalty + cost_[group.ids[begin + k]] -
                               kBoundMargin;
                if (std::isnan(bound)) {
                    bound = -kInf;
                }
                part.candidates.push_back({bound, m, begin + k});
            }
        }
    }

    static bool byBound(const Candidate& a, const Candidate& b) { return a.bound < b.bound; }

    // Only the first few hundred are normally scored: sort those, the rest only if reached.
    void sortByBound() {
        sorted_ = std::min(w_.candidates.size(), kPresorted);
        std::nth_element(w_.candidates.begin(),
                         w_.candidates.begin() + static_cast<std::ptrdiff_t>(sorted_),
                         w_.candidates.end(), byBound);
        std::sort(w_.candidates.begin(),
                  w_.candidates.begin() + static_cast<std::ptrdiff_t>(sorted_), byBound);
    }
    void sortedUpTo(std::size_t index) {
        if (index >= sorted_) {
            std::sort(w_.candidates.begin() + static_cast<std::ptrdiff_t>(sorted_),
                      w_.candidates.end(), byBound);
            sorted_ = w_.candidates.size();
        }
    }

    // Storage of the coarse pass: distance matrices and template batches.
    void prepareScoring() {
        pitch_ = kernels::lanesFor(std::max<std::size_t>(highest_, 1));
        slotSize_ = n_ * pitch_;
        w_.freeSlots.clear();
        w_.slots = 0;
        batchStride_ = kBatchStrokes + highest_ + kCopyPiece + kernels::kLanes;
        for (CoarsePart& part : w_.coarseParts) {
            part.batchX.resize(kStrokePoints * batchStride_);
            part.batchY.resize(kStrokePoints * batchStride_);
            part.distances.resize(n_ * batchStride_);
            part.scratch.resize(n_ * batchStride_);
        }
        w_.scored.resize(w_.candidates.size());
    }

    // Distances and coarse score of a template in double precision, exactly as defined.
    void scoreExactly(Coarse& c) {
        if (c.slot == kNoSlot) {
            c.slot = w_.takeSlot(slotSize_);
        }
        Ink scratch;
        const Ink& strokes = database_.templateStrokes(c.id, scratch);
        double* d = matrixOf(c);
        for (std::size_t i = 0; i < n_; ++i) {
            for (std::size_t j = 0; j < strokes.size(); ++j) {
                d[i * pitch_ + j] = strokeDistance(input_[i], strokes[j]);
            }
        }
        c.key = rankKey(coarseScore(d, pitch_, n_, strokes.size()) + cost_[c.id]);
        c.exact = true;
    }

    // Coarse scores in single precision of the candidates [from, to) into w_.scored[from, to),
    // whose slots are assigned. Templates are scored in batches of about kBatchStrokes
    // strokes, gathered side by side so that the kernel's vectors are full whatever the stroke
    // count.
    void scoreRange(CoarsePart& part, std::size_t from, std::size_t to) {
        for (std::size_t next = from; next < to;) {
            std::size_t batch = next;
            std::size_t strokes = 0;
            for (; batch < to && strokes < kBatchStrokes; ++batch) {
                const Candidate& c = w_.candidates[batch];
                const std::span<const TemplateSet::Run> runs =
                    templateSet_.runs(groups_[c.group].ids[c.index]);
                // Whole 64-byte pieces: a call to memmove per short run would cost more than
                // the copy. Reading past a run stays within the pool, writing past it within
                // the batch's slack, and the next run or template overwrites it.
                std::size_t at = strokes;
                for (const TemplateSet::Run& run : runs) {
                    const float* fromX = templateSet_.strokeX(run.first);
                    const float* fromY = templateSet_.strokeY(run.first);
                    for (std::size_t p = 0; p < kStrokePoints; ++p) {
                        float* toX = &part.batchX[p * batchStride_ + at];
                        float* toY = &part.batchY[p * batchStride_ + at];
                        const float* rowX = fromX + p * TemplateSet::kTileStrokes;
                        const float* rowY = fromY + p * TemplateSet::kTileStrokes;
                        for (std::size_t j = 0; j < run.count; j += kCopyPiece) {
                            std::memcpy(toX + j, rowX + j, kCopyPiece * sizeof(float));
                            std::memcpy(toY + j, rowY + j, kCopyPiece * sizeof(float));
                        }
                    }
                    at += run.count;
                }
                strokes += groups_[c.group].strokeCount;
            }
            kernels::strokeDistances(w_.ax.data(), w_.ay.data(), n_, part.batchX.data(),
                                     part.batchY.data(), batchStride_, 0, strokes, batchStride_,
                                     part.distances.data(), part.scratch.data());
            for (std::size_t offset = 0; next < batch; ++next) {
                Coarse& scored = w_.scored[next];
                const std::size_t m = groups_[scored.group].strokeCount;
                double* d = matrixOf(scored);
                for (std::size_t i = 0; i < n_; ++i) {
                    std::copy_n(&part.distances[i * batchStride_ + offset], m, d + i * pitch_);
                }
                offset += m;
                scored.key = rankKey(coarseScore(d, pitch_, n_, m) + cost_[scored.id]);
            }
        }
    }

    void prepare(std::size_t index) {
        const Candidate& c = w_.candidates[index];
        w_.scored[index] = {0.0, groups_[c.group].ids[c.index], c.group, w_.takeSlot(slotSize_),
                            false};
    }

    // 4. The first 180 candidates are always scored, so they may be shared out between two
    // threads; they make the first shortlist.
    void scoreFirst() {
        always_ = std::min(kShortlist, w_.candidates.size());
        for (std::size_t k = 0; k < always_; ++k) {
            prepare(k);
        }
        if (parallel_) {
            helper_.split([&](std::size_t part) {
                scoreRange(w_.coarseParts[part], part == 0 ? 0 : always_ / 2,
                           part == 0 ? always_ / 2 : always_);
            });
        } else {
            scoreRange(w_.coarseParts[0], 0, always_);
        }
        w_.best.assign(w_.scored.begin(), w_.scored.begin() + static_cast<std::ptrdiff_t>(always_));
        std::make_heap(w_.best.begin(), w_.best.end(), before);
        w_.evaluated = w_.best;
        for (Coarse& c : w_.evaluated) {
            c.slot = kNoSlot;
        }
    }

    // Whether the candidate's bound exceeds the 180th score by more than the scores' error: it
    // cannot then be among the 180 best in double precision, nor can any after it.
    bool hopeless(std::size_t index) {
        sortedUpTo(index);
        return w_.best.size() == kShortlist &&
               w_.candidates[index].bound > w_.best.front().key + kScoreError;
    }

    // 5. Scores candidates from `start` on, best bound first, keeping the 180 best, until no
    // bound can reach the 180th. A batch may score a few templates that the stopping rule
    // would have skipped, which changes nothing but time.
    void scoreRest(std::size_t start) {
        for (std::size_t next = start; next < w_.candidates.size() && !hopeless(next);) {
            std::size_t batch = next;
            for (std::size_t strokes = 0;
                 batch < w_.candidates.size() && strokes < kBatchStrokes && !hopeless(batch);
                 ++batch) {
                strokes += groups_[w_.candidates[batch].group].strokeCount;
                prepare(batch);
            }
            scoreRange(w_.coarseParts[0], next, batch);
            for (; next < batch; ++next) {
                keepIfAmongBest(w_.scored[next]);
            }
        }
    }

    void keepIfAmongBest(Coarse& scored) {
        w_.evaluated.push_back({scored.key, scored.id, scored.group, kNoSlot, false});
        if (w_.best.size() < kShortlist) {
            w_.best.push_back(scored);
            std::push_heap(w_.best.begin(), w_.best.end(), before);
        } else if (before(scored, w_.best.front())) {
            std::pop_heap(w_.best.begin(), w_.best.end(), before);
            w_.releaseSlot(w_.best.back());
            w_.best.back() = scored;
            std::push_heap(w_.best.begin(), w_.best.end(), before);
        } else {
            w_.releaseSlot(scored);
        }
    }

    // The farther groups, one difference at a time, unless their count penalty alone already
    // exceeds the 180th score.
    void scoreFartherGroups(std::size_t stageEnd) {
        for (std::size_t first = stageEnd; first < w_.order.size(); first = stageEnd) {
            const std::size_t diff = differenceOf(w_.order[first]);
            if (w_.best.size() == kShortlist && static_cast<double>(diff) * kCoarseCountPenalty >
                                                    w_.best.front().key + kScoreError) {
                break;
            }
            while (stageEnd < w_.order.size() && differenceOf(w_.order[stageEnd]) == diff) {
                ++stageEnd;
            }
            boundGroups(first, stageEnd);
            sorted_ = 0;
            sortedUpTo(0);
            w_.scored.resize(w_.candidates.size());
            scoreRest(0);
        }
    }

    // 6. The shortlist: templates clearly inside the cut-off, then the best of those within
    // twice the error of it, ranked in double precision.
    void cutShortlist() {
        w_.shortlist.clear();
        if (w_.evaluated.size() <= kShortlist) {
            w_.shortlist = w_.best;
            return;
        }
        const double cut = w_.best.back().key;
        const double low = cut - 2 * kScoreError;
        const double high = cut + 2 * kScoreError;
        for (Coarse& c : w_.best) {
            if (c.key < low) {
                w_.shortlist.push_back(c);
            } else {
                w_.releaseSlot(c);
            }
        }
        const std::size_t inside = w_.shortlist.size();
        for (Coarse& c : w_.evaluated) {
            if (c.key >= low && c.key <= high) {
                scoreExactly(c);
                w_.shortlist.push_back(c);
            }
        }
        const auto band = w_.shortlist.begin() + static_cast<std::ptrdiff_t>(inside);
        std::sort(band, w_.shortlist.end(), before);
        for (auto it = w_.shortlist.begin() + static_cast<std::ptrdiff_t>(kShortlist);
             it < w_.shortlist.end(); ++it) {
            w_.releaseSlot(*it);
        }
        w_.shortlist.resize(kShortlist);
    }

    // Final score of a shortlisted template from its distance matrix. With `giveUp`, a score
    // above it may be returned as soon as the assignment shows that the final score exceeds it.
    double finalScore(const Coarse& c, FinePart& part, double giveUp = kInf) {
        const std::size_t m = groups_[c.group].strokeCount;
        const std::size_t side = std::max(n_, m);
        const double* d = matrixOf(c);
        part.matrix.side = side;
        part.matrix.cells.assign(side * side, kUnmatchedStrokeCost);
        for (std::size_t i = 0; i < n_; ++i) {
            std::copy_n(d + i * pitch_, m,
                        part.matrix.cells.begin() + static_cast<std::ptrdiff_t>(i * side));
        }
        const double diff = static_cast<double>(differenceOf(m));
        const double offset =
            diff * kFineCountPenalty + (common_[c.id] != 0 ? kCommonBonus : 0.0) + cost_[c.id];
        double score = diff * kFineCountPenalty +
                       (c.exact ? assignmentCost(part.matrix, part.assignment)
                                : kernels::assignment(part.matrix.cells.data(), side, part.fast,
                                                      giveUp - offset + kAssignmentRounding));
        if (common_[c.id] != 0) {
            score += kCommonBonus;
        }
        score += cost_[c.id];
        return rankKey(score);
    }

    // 7. Precise pass, best lower bound first, only as far as the first `limit` need: a
    // template whose bound exceeds the limit-th score by more than twice the error cannot
    // precede it.
    void rankShortlist() {
        wanted_ = std::min(limit_, w_.shortlist.size());
        w_.fine.clear();
        w_.reduced.resize(std::max(n_, highest_));
        for (std::size_t e = 0; e < w_.shortlist.size(); ++e) {
            const Coarse& c = w_.shortlist[e];
            const std::size_t m = groups_[c.group].strokeCount;
            const double diff = static_cast<double>(differenceOf(m));
            double bound = diff * kFineCountPenalty +
                           assignmentBound(matrixOf(c), pitch_, n_, m, w_.reduced.data()) +
                           (common_[c.id] != 0 ? kCommonBonus : 0.0) + cost_[c.id] -
                           kAssignmentRounding;
            if (std::isnan(bound)) {
                bound = -kInf;
            }
            w_.fine.push_back({0.0, bound, static_cast<std::uint32_t>(e), false});
        }
        std::sort(w_.fine.begin(), w_.fine.end(),
                  [](const Fine& a, const Fine& b) { return a.bound < b.bound; });
        // With two threads each takes every other template in bound order and stops by its own
        // limit-th score, which is never better than the common one: it may score a few more.
        const bool parallelFine = parallel_ && n_ >= kParallelFineStrokes;
        const std::size_t shares = parallelFine ? 2 : 1;
        const auto rank = [&](std::size_t share) { rankShare(share, shares); };
        if (parallelFine) {
            helper_.split(rank);
        } else {
            rank(0);
        }
        std::erase_if(w_.fine, [](const Fine& f) { return !f.scored; });
        std::sort(w_.fine.begin(), w_.fine.end(), finer);
    }

    void rankShare(std::size_t share, std::size_t shares) {
        FinePart& part = w_.fineParts[share];
        std::vector<Fine>& heap = part.heap;
        heap.clear();
        for (std::size_t r = share; r < w_.fine.size(); r += shares) {
            Fine& f = w_.fine[r];
            if (heap.size() == wanted_ && f.bound > heap.front().key + 2 * kScoreError) {
                break;
            }
            // A template whose final score exceeds the limit-th by more than twice the error
            // cannot precede it: its assignment may stop there.
            const double giveUp =
                heap.size() == wanted_ ? heap.front().key + 2 * kScoreError : kInf;
            f.key = finalScore(w_.shortlist[f.entry], part, giveUp);
            if (f.key > giveUp) {
                continue;
            }
            f.scored = true;
            if (heap.size() < wanted_) {
                heap.push_back(f);
                std::push_heap(heap.begin(), heap.end(), finer);
            } else if (finer(f, heap.front())) {
                std::pop_heap(heap.begin(), heap.end(), finer);
                heap.back() = f;
                std::push_heap(heap.begin(), heap.end(), finer);
            }
        }
    }

    // 8. Scores closer than twice the error may be in either order: such runs are scored
    // again in double precision and ordered by final score, then coarse score, then database
    // order, as the two stable sorts of the definition order them.
    std::vector<std::string> resolveCloseScores() {
        std::vector<std::string> result;
        result.reserve(wanted_);
        for (std::size_t first = 0; first < w_.fine.size() && result.size() < wanted_;) {
            std::size_t last = first + 1;
            while (last < w_.fine.size() &&
                   w_.fine[last].key - w_.fine[last - 1].key <= 2 * kScoreError) {
                ++last;
            }
            if (last - first > 1) {
                for (std::size_t r = first; r < last; ++r) {
                    Coarse& c = w_.shortlist[w_.fine[r].entry];
                    if (!c.exact) {
                        scoreExactly(c);
                    }
                    w_.fine[r].key = finalScore(c, w_.fineParts[0]);
                }
                std::sort(w_.fine.begin() + static_cast<std::ptrdiff_t>(first),
                          w_.fine.begin() + static_cast<std::ptrdiff_t>(last),
                          [&](const Fine& a, const Fine& b) {
                              if (a.key != b.key) {
                                  return a.key < b.key;
                              }
                              return before(w_.shortlist[a.entry], w_.shortlist[b.entry]);
                          });
            }
            for (std::size_t r = first; r < last && result.size() < wanted_; ++r) {
                result.push_back(database_.templateCharacter(w_.shortlist[w_.fine[r].entry].id));
            }
            first = last;
        }
        return result;
    }

    const Ink& input_;
    const std::size_t n_;
    const std::size_t limit_;
    const TemplateSet& templateSet_;
    const std::vector<TemplateSet::Group>& groups_;
    const CharacterDatabase& database_;  // the templates' characters and exact strokes
    const std::vector<char>& common_;    // the common flag of each template
    const std::vector<double>& cost_;    // what each template adds to its scores
    HelperThread& helper_;
    Workspace& w_;

    std::size_t highest_ = 0;      // largest stroke count examined
    bool parallel_ = false;        // whether the work is worth sharing with the helper
    std::size_t sorted_ = 0;       // candidates [0, sorted_) are in bound order
    std::size_t pitch_ = 0;        // row pitch of a distance matrix
    std::size_t slotSize_ = 0;     // one distance matrix
    std::size_t batchStride_ = 0;  // row pitch of a batch of template strokes
    std::size_t always_ = 0;       // candidates scored whatever their bound
    std::size_t wanted_ = 0;       // candidates to answer
};

// Whether the ink's width and height are both under kSmallInk of the area's.
bool isSmallIn(const Ink& ink, const WritingArea& area) {
    const InkExtent extent = inkExtent(ink);
    return extent.width < CharacterDatabase::kSmallInk * area.width &&
           extent.height < CharacterDatabase::kSmallInk * area.height;
}

}  // namespace

std::vector<std::string> CharacterDatabase::recognize(const Ink& ink, std::ptrdiff_t limit,
                                                      std::optional<WritingArea> area) const {
    const Ink input = normalized(ink);
    if (input.empty()) {
        return {};
    }
    SUMIRO_EXPECTS(limit >= 0, "recognize: limit must not be negative");
    if (limit == 0) {
        return {};
    }
    // Working storage per thread, so a recognition allocates only when an ink needs more room
    // than any before it on that thread; the helper thread works in the caller's.
    thread_local Workspace workspace;
    std::vector<std::string> ranked =
        Recognition(input, static_cast<std::size_t>(limit), templateSet_, *this, templateCommon_,
                    templateCost_, *helper_, workspace)
            .run();
    if (area && area->width > 0 && area->height > 0) {
        orderKanaBySize(ranked, isSmallIn(ink, *area));
    }
    return ranked;
}

}  // namespace sumiro
