// The two-pass recognizer: a coarse nearest-stroke score for every template within the
// stroke-count tolerance, then an optimal stroke assignment for the best 180.
//
// Connected writing. A template that may be written joined (JoinedStrokes.h) enters the ranking
// once for each number of joins k from 0 to its most, as long as its stroke count less k is
// within the tolerance: entry (template, k). Entry (t, 0) is the template as the file has it.
// For k > 0 the drawing itself chooses which k pairs are joined: the set whose pieces (runs of
// joined strokes, and strokes left alone) each lie nearest to some drawn stroke, that is, with
// the least column term of the coarse score (chooseJoins); the entry is then scored like a
// template made of those pieces, and its joins' cost (CharacterDatabase::joinCost) is added to
// both its scores. Entries rank by score alone; of equal scores, by template, then by joins.
//
// Most entries are never scored exactly. A lower bound of the coarse score, computed for every
// template of a group at once and for all of its entries (the least column term over the sets
// of k joins, leastJoinedCosts), puts the entries in order. It comes from chunk centroids for
// the pieces of the entry of as many pieces as drawn strokes, which with the entries of fewer
// joins make nearly all of the shortlist, and from stroke centroids, far cheaper and looser,
// for the longer runs only entries of more joins use (boundPart). The search takes the first
// kind, then those of the second that can still reach the cut-off, each the entry of least
// bound first, and scores it in single precision, from the distances to every piece the entry
// may use (computed once per template and shared by its entries, one
// layer of longer runs at a time, as they need them). It stops, exactly, once no bound can
// reach the 180th score. Single precision is within kDistanceError of double precision, so only
// entries that close to the cut-off, or that close to another one in the final ranking, or whose
// choice of joins that close to another one, can be misplaced by it: those are scored again in
// double precision exactly as strokeDistance, chooseJoins and assignmentCost score them. The result
// is therefore the ranking of scoring every entry in double precision, ties and all.
#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iterator>
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
// Stroke pairs from which sharing the bounds with the helper thread pays.
constexpr std::size_t kParallelPairs = 40000;
// Stroke pairs of one batch of the search from which sharing its distances pays.
constexpr std::size_t kParallelDistancePairs = 512;
// About what scoring an entry costs, in stroke pairs' distances.
constexpr std::size_t kScoringPairs = 48;
// Drawn strokes from which sharing the precise pass with the helper thread pays.
constexpr std::size_t kParallelFineStrokes = 6;
// Candidates put in order at once; the search rarely reaches further.
constexpr std::size_t kPresorted = 3 * kShortlist;
// Distances copied at once into a template's table: its rows have this much room past their
// last slot (tablePitch), so that a run of them is copied in whole pieces, without a call to
// memmove per drawn stroke, which cost more than the copies.
constexpr std::size_t kTableCopy = 8;
constexpr std::size_t tablePitch(std::size_t slots) { return slots + kTableCopy; }
// Strokes copied at once when gathering a batch; the pool's padding allows reading this far.
constexpr std::size_t kCopyPiece = 16;
static_assert(kPoolPadding >= kCopyPiece);
// Template strokes whose distances one kernel call computes.
constexpr std::size_t kBatchStrokes = 256;
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr std::uint32_t kNone = std::numeric_limits<std::uint32_t>::max();

// A score that is not a number (a template without strokes, or with coordinates that overflow)
// ranks after every real score, so sorting stays a strict weak order.
double rankKey(double score) { return std::isnan(score) ? kInf : score; }

// The smaller of two distances; a NaN in `d` leaves `best`, as in every minimum here.
template <class T>
T nearer(T best, T d) {
    return d < best ? d : best;
}

// Mean nearest-stroke distance both ways, plus the stroke-count penalty, for the drawn strokes
// against the pieces in the slots `chosen`; d(i, q) is d[i * pitch + q]. One pass finds the
// nearest of every row and column; minima of T convert to double exactly, so this is the sum
// of the minima of the distances as doubles, in the same order.
//
// The same minima bound the final score's assignment part from below (`floor`): in the square
// matrix of the final score, padded with 0.55, every row's entry in the best pairing is at
// least its least entry, and so is every column's; the larger of the two sums, over the side.
template <class T>
double coarseScore(const T* d, std::size_t pitch, std::size_t n,
                   std::span<const std::uint32_t> chosen, std::vector<T>& columnNearest,
                   double& floor) {
    const std::size_t m = chosen.size();
    // A template without strokes has no nearest stroke: it ranks after every real score.
    if (m == 0) {
        floor = -std::numeric_limits<double>::infinity();
        return std::numeric_limits<double>::infinity();
    }
    constexpr T far = std::numeric_limits<T>::infinity();
    const std::size_t side = std::max(n, m);
    const double unmatched = kUnmatchedStrokeCost;
    // The padding's 0.55 in every row when there are fewer pieces, in every column when there
    // are fewer drawn strokes.
    const double rowCap = m < side ? unmatched : std::numeric_limits<double>::infinity();
    const double columnCap = n < side ? unmatched : std::numeric_limits<double>::infinity();
    columnNearest.assign(m, far);
    T* __restrict column = columnNearest.data();
    double rows = 0.0;
    double rowFloor = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const T* __restrict row = d + i * pitch;
        T best = far;
        for (std::size_t j = 0; j < m; ++j) {
            const T v = row[chosen[j]];
            best = nearer(best, v);
            column[j] = nearer(column[j], v);
        }
        rows += static_cast<double>(best);
        rowFloor += std::min(static_cast<double>(best), rowCap);
    }
    double columns = 0.0;
    double columnFloor = 0.0;
    for (std::size_t j = 0; j < m; ++j) {
        columns += static_cast<double>(column[j]);
        columnFloor += std::min(static_cast<double>(column[j]), columnCap);
    }
    rowFloor += static_cast<double>(side - n) * unmatched;
    columnFloor += static_cast<double>(side - m) * unmatched;
    floor = std::max(rowFloor, columnFloor) / static_cast<double>(side);
    const double diff = static_cast<double>(n > m ? n - m : m - n);
    return (rows / static_cast<double>(n) + columns / static_cast<double>(m)) * 0.5 +
           diff * kCoarseCountPenalty;
}

// Makes `v` hold at least `size` elements, keeping what it holds. Working storage that the
// callers overwrite is only ever grown: resized down and up again from one call to the next,
// the regrown part was filled with zeros every time (1% of a recognition).
template <class T>
void ensureSize(std::vector<T>& v, std::size_t size) {
    if (v.size() < size) {
        v.resize(size);
    }
}

// An entry with a lower bound of its coarse score.
struct Candidate {
    double bound;
    std::uint32_t id;     // template
    std::uint32_t joins;  // joins it is written with
};

bool byBound(const Candidate& a, const Candidate& b) { return a.bound < b.bound; }

// One entry scored in the coarse pass.
struct Coarse {
    double key;    // coarse score; exact when `exact`, else within kScoreError of it
    double floor;  // lower bound of its final score's assignment part, from the same distances
    std::uint32_t id;
    std::uint32_t joins;
    std::uint32_t chosen;  // its pieces' slots: Workspace::chosen[chosen, + strokes - joins)
    std::uint32_t matrix;  // its distance matrix in double precision, or kNone
    bool exact;
};

// The order of the ranking's definition: score, then template, then joins.
bool before(const Coarse& a, const Coarse& b) {
    if (a.key != b.key) {
        return a.key < b.key;
    }
    return a.id != b.id ? a.id < b.id : a.joins < b.joins;
}

// One shortlisted entry in the precise pass.
struct Fine {
    double key;    // final score, from the same distances as the entry's coarse key
    double bound;  // lower bound of `key`
    std::uint32_t entry;
    bool scored;
};

bool finer(const Fine& a, const Fine& b) {
    return a.key < b.key || (a.key == b.key && a.entry < b.entry);
}

// What one recognition knows of a template whose entries it has scored.
struct Family {
    std::uint32_t stamp = 0;   // the recognition that wrote the rest
    std::uint32_t table = 0;   // its distances to every slot: tables[table + i * pitch + q]
    std::uint32_t ready = 0;   // slots whose distances are in the table
    std::uint32_t wanted = 0;  // slots whose distances the current batch computes
};

// Working storage of one thread's share of the bounds.
struct BoundPart {
    struct Range {
        std::uint32_t group, first, count;  // templates [first, first + count) of the group
    };
    std::vector<Range> ranges;
    std::vector<float> rows, columns, least, scratch;
    std::vector<std::uint16_t> boundScratch;
    std::vector<Candidate> candidates;  // bounded by chunk centroids
    std::vector<Candidate> rough;       // bounded by stroke centroids only
};

// Working storage of one thread's share of the precise pass.
struct FinePart {
    std::vector<Fine> heap, half;  // max-heaps of its best `wanted_`, and best half of that
    std::vector<double> exact, exactColumns;  // for scoring entries exactly
    CostMatrix matrix;
    AssignmentWorkspace assignment;
    kernels::AssignmentScratch fast;
};

// Working storage of one thread's share of a batch's distances.
struct DistancePart {
    std::vector<float> x, y;  // strokes of its templates, point-major
    std::vector<float> distances, scratch;
};

// Working storage kept per thread, so a recognition allocates only when an ink needs more room
// than any before it on that thread.
struct Workspace {
    std::vector<float> ax, ay;            // drawn strokes, point p of stroke i at [i * 16 + p]
    std::vector<std::int16_t> chunks;     // drawn chunk centroids, 8 per stroke, in fixed point
    std::vector<std::int16_t> centroids;  // drawn stroke centroids, x and y, alike
    std::vector<std::uint32_t> order;     // groups to examine, nearest stroke count first
    std::array<BoundPart, 2> parts;
    std::vector<Candidate> candidates;  // the entries to search, by bound
    std::vector<Candidate> rough;       // entries bounded by stroke centroids only
    std::vector<Family> families;       // by template
    std::uint32_t stamp = 0;
    std::vector<float> tables;            // distances of the templates reached
    std::vector<float> nearest;           // per slot, the nearest drawn stroke's distance
    std::vector<std::uint32_t> chosen;    // the slots of every scored entry's pieces
    std::vector<double> paths;            // the choice of joins: two best totals per state
    std::vector<std::uint64_t> pathSets;  // and their joins
    struct Pending {
        std::uint32_t id, from, to, at;  // slots [from, to) of template id at batch column `at`
    };
    std::vector<Pending> pending;
    std::vector<Candidate> popped;
    std::vector<Candidate> scoring;  // the batch scored while the next one's distances are made
    std::array<DistancePart, 2> distanceParts;
    std::vector<Coarse> best;       // max-heap of the shortlist so far
    std::vector<Coarse> evaluated;  // every entry scored, for the cut-off band
    std::vector<Coarse> shortlist;
    std::vector<double> matrices;  // distance matrices in double precision, one slot each
    std::size_t slots = 0;
    std::vector<Fine> fine;
    std::vector<Coarse*> again;  // entries to score again in double precision
    std::vector<float> columnNearest;
    std::array<FinePart, 2> fineParts;

    std::uint32_t takeSlot(std::size_t slotSize) {
        matrices.resize(++slots * slotSize);
        return static_cast<std::uint32_t>(slots - 1);
    }
};

// One recognition, its stages in the order they run:
//   1. prepareInk       the drawn strokes in single precision, their chunk centroids and
//                       centroids;
//   2. orderGroups      groups by the stroke-count difference of their nearest entry;
//   3. boundGroups      bounds of every entry of the nearest groups (boundPart), those from
//                       chunk centroids put in bound order (sortByBound);
//   4. search           entries of least bound first, scored a batch at a time (scoreBatch),
//                       until no bound can reach the 180th score, then the entries bounded by
//                       stroke centroids alone that still can; then the farther groups
//                       (searchFartherGroups);
//   5. cutShortlist     the 180 best, those near the cut-off ranked in double precision;
//   6. rankShortlist    the precise pass: final scores, best lower bound first, only as far
//                       as the first `limit` need;
//   7. resolveCloseScores  runs of nearly equal final scores scored again exactly, and the
//                       answer.
class Recognition {
public:
    Recognition(const Ink& input, std::size_t limit, const TemplateSet& templateSet,
                const CharacterDatabase& database, const std::vector<char>& common,
                HelperThread& helper, Workspace& workspace)
        : input_(input),
          n_(input.size()),
          limit_(limit),
          set_(templateSet),
          database_(database),
          common_(common),
          helper_(helper),
          w_(workspace) {}

    std::vector<std::string> run() {
        prepareInk();
        orderGroups();
        std::size_t stageEnd = 0;
        while (stageEnd < w_.order.size() && nearestDifference(w_.order[stageEnd]) <= 1) {
            ++stageEnd;
        }
        boundGroups(0, stageEnd);
        search();
        searchFartherGroups(stageEnd);
        std::sort_heap(w_.best.begin(), w_.best.end(), before);
        cutShortlist();
        rankShortlist();
        return resolveCloseScores();
    }

private:
    std::size_t differenceOf(std::size_t m) const { return n_ > m ? n_ - m : m - n_; }
    const TemplateSet::Layout& layoutOf(std::size_t id) const { return set_.layout(id); }
    double joinCost(std::size_t joins) const { return database_.joinCost(joins); }
    std::span<const std::uint32_t> chosenOf(const Coarse& c) const {
        return {&w_.chosen[c.chosen], layoutOf(c.id).strokes - c.joins};
    }
    double* matrixOf(const Coarse& c) const { return &w_.matrices[c.matrix * slotSize_]; }
    // The terms of an entry's final score besides its assignment: the stroke-count penalty,
    // the common characters' bonus, the joins' cost.
    double fineOffset(const Coarse& c, std::size_t pieces) const {
        return static_cast<double>(differenceOf(pieces)) * kFineCountPenalty +
               (common_[c.id] != 0 ? kCommonBonus : 0.0) + joinCost(c.joins);
    }

    // Joins of the entries of a template of m strokes and at most `joins` joins within the
    // tolerance: [lowest, highest], empty when lowest > highest.
    std::pair<std::size_t, std::size_t> joinRange(std::size_t m, std::size_t joins) const {
        const std::size_t lowest = m > n_ + tolerance_ ? m - n_ - tolerance_ : 0;
        const std::size_t highest = std::min(joins, m + tolerance_ >= n_ ? m + tolerance_ - n_ : 0);
        if (m + tolerance_ < n_) {
            return {1, 0};
        }
        return {lowest, highest};
    }
    std::size_t nearestDifference(std::uint32_t g) const { return groupDifference_[g]; }

    Family& familyOf(std::size_t id) {
        Family& f = w_.families[id];
        if (f.stamp != w_.stamp) {
            f = Family{w_.stamp, kNone, 0, 0};
        }
        return f;
    }

    // 1. The drawn strokes, point-major in single precision, their chunk centroids and
    // centroids.
    void prepareInk() {
        w_.ax.resize(n_ * kStrokePoints);
        w_.ay.resize(n_ * kStrokePoints);
        w_.chunks.resize(n_ * 2 * kChunks);
        w_.centroids.resize(n_ * 2);
        for (std::size_t i = 0; i < n_; ++i) {
            for (std::size_t p = 0; p < kStrokePoints; ++p) {
                w_.ax[i * kStrokePoints + p] = static_cast<float>(input_[i][p].x);
                w_.ay[i * kStrokePoints + p] = static_cast<float>(input_[i][p].y);
            }
            const auto chunks = chunkCentroids(input_[i]);
            std::transform(chunks.begin(), chunks.end(),
                           w_.chunks.begin() + static_cast<std::ptrdiff_t>(i * 2 * kChunks),
                           kernels::boundCoordinate);
            const auto [x, y] = strokeCentroid(chunks);
            w_.centroids[2 * i] = kernels::boundCoordinate(x);
            w_.centroids[2 * i + 1] = kernels::boundCoordinate(y);
        }
        if (w_.families.size() != set_.size() || ++w_.stamp == 0) {
            w_.families.assign(set_.size(), Family{});
            w_.stamp = 1;
        }
        w_.chosen.clear();
        w_.best.clear();
        w_.evaluated.clear();
        w_.matrices.clear();
        w_.slots = 0;
    }

    // 2. The groups with an entry within the tolerance, by increasing stroke-count difference
    // of their nearest entry: the count penalty alone may rule out the farther ones once the
    // nearer ones are scored.
    void orderGroups() {
        tolerance_ = std::max<std::size_t>(2, n_ / 5);
        const std::vector<TemplateSet::Group>& groups = set_.groups();
        groupDifference_.assign(groups.size(), 0);
        w_.order.clear();
        highest_ = 0;
        for (std::size_t g = 0; g < groups.size(); ++g) {
            const TemplateSet::Group& group = groups[g];
            const auto [lowest, highest] = joinRange(group.strokeCount, group.joins);
            if (lowest > highest || group.ids.empty()) {
                continue;
            }
            std::size_t nearest = std::numeric_limits<std::size_t>::max();
            for (std::size_t k = lowest; k <= highest; ++k) {
                nearest = std::min(nearest, differenceOf(group.strokeCount - k));
            }
            groupDifference_[g] = nearest;
            w_.order.push_back(static_cast<std::uint32_t>(g));
            highest_ = std::max(highest_, group.strokeCount - lowest);
        }
        std::stable_sort(w_.order.begin(), w_.order.end(), [&](std::uint32_t a, std::uint32_t b) {
            return groupDifference_[a] < groupDifference_[b];
        });
        pitch_ = std::max<std::size_t>(highest_, 1);
        slotSize_ = n_ * pitch_;
    }

    // 3. Bounds of every entry of the groups w_.order[first, last) into
    // w_.candidates, the groups shared out between this thread and the helper when there is
    // enough work to pay for it.
    void boundGroups(std::size_t first, std::size_t last) {
        std::size_t pairs = 0;
        for (std::size_t g = first; g < last; ++g) {
            const TemplateSet::Group& group = set_.groups()[w_.order[g]];
            pairs += n_ * group.slotCount * group.ids.size();
        }
        // Each group's templates are halved between the two threads.
        const bool shared = pairs >= kParallelPairs;
        for (BoundPart& part : w_.parts) {
            part.ranges.clear();
            part.candidates.clear();
            part.rough.clear();
        }
        for (std::size_t g = first; g < last; ++g) {
            const std::uint32_t index = w_.order[g];
            const auto count = static_cast<std::uint32_t>(set_.groups()[index].ids.size());
            // Shares begin on whole vectors.
            const std::uint32_t half =
                shared
                    ? std::min(count, static_cast<std::uint32_t>(kernels::boundLanesFor(count / 2)))
                    : count;
            w_.parts[0].ranges.push_back({index, 0, half});
            w_.parts[1].ranges.push_back({index, half, count - half});
        }
        parallel_ = parallel_ || shared;
        if (shared) {
            helper_.split([&](std::size_t part) { boundPart(w_.parts[part]); });
        } else {
            boundPart(w_.parts[0]);
        }
        w_.rough.assign(w_.parts[0].rough.begin(), w_.parts[0].rough.end());
        w_.rough.insert(w_.rough.end(), w_.parts[1].rough.begin(), w_.parts[1].rough.end());
        w_.candidates.assign(w_.parts[0].candidates.begin(), w_.parts[0].candidates.end());
        w_.candidates.insert(w_.candidates.end(), w_.parts[1].candidates.begin(),
                             w_.parts[1].candidates.end());
        sortByBound();
    }

    // The column term's bounds of `lanes` templates side by side of m strokes, for 0 to
    // `joins` joins, from their slots' column bounds.
    void leastColumns(const TemplateSet::Group& group, std::size_t joins, std::size_t lanes,
                      const std::vector<float>& columns, std::vector<float>& least,
                      std::vector<float>& scratch) const {
        const std::size_t m = group.strokeCount;
        ensureSize(least, (joins + 1) * lanes);
        if (group.joins == 0) {
            // The column term of a template as it is: the sum over its strokes.
            std::fill_n(least.begin(), (joins + 1) * lanes, 0.0f);
            for (std::size_t q = 0; q < m; ++q) {
                for (std::size_t k = 0; k < lanes; ++k) {
                    least[k] += columns[q * lanes + k];
                }
            }
        } else {
            ensureSize(scratch, (m + 1) * (joins + 1) * lanes);
            kernels::leastJoinedCosts(columns.data(), m, joins, lanes, least.data(),
                                      scratch.data());
        }
    }

    // Bounds of the part's entries. Nearly every entry that reaches the shortlist has as many
    // pieces as the drawing has strokes: one a stroke more or fewer starts 0.09 behind, which
    // its distances seldom make up (held-out inks: of 1,700 such entries per drawing, 4 got
    // through chunk bounds and 80 through centroid bounds; of 875 with as many pieces, 310
    // and 845). The layers of slots that entry uses are bounded from chunk centroids, which
    // serves the entries of fewer joins too; the layers beyond, which only entries of more
    // joins use, from stroke centroids, at an eighth of the work: those entries' bounds are
    // looser, and they are searched last.
    void boundPart(BoundPart& part) const {
        std::array<std::uint32_t, 64> layerEnd{};
        for (const auto& [index, begin, count] : part.ranges) {
            const TemplateSet::Group& group = set_.groups()[index];
            const std::size_t m = group.strokeCount;
            if (count == 0) {
                continue;
            }
            const auto [lowest, highest] = joinRange(m, group.joins);
            if (m == 0) {
                // No strokes, no bound: such templates are always scored.
                for (std::uint32_t k = begin; k < begin + count; ++k) {
                    part.candidates.push_back({-kInf, group.ids[k], 0});
                }
                continue;
            }
            // Only the runs that the entries within the tolerance may use: a drawing of as many
            // strokes as the template, or more, never joins all that the template allows.
            const std::size_t layers = highest + 1;
            for (std::size_t l = 0; l < layers; ++l) {
                layerEnd[l] = static_cast<std::uint32_t>(pieceSlots(m, l));
            }
            // The entry of as many pieces as drawn strokes, if the template has one.
            const std::size_t same =
                m >= n_ && m - n_ >= lowest && m - n_ <= highest ? m - n_ : kNone;
            const std::size_t lanes = kernels::boundLanesFor(count);
            ensureSize(part.rows, layers * lanes);
            ensureSize(part.columns, group.slotCount * lanes);
            ensureSize(part.boundScratch, (group.slotCount + 1) * kernels::kBoundLanes);
            const kernels::BoundedGroup bounded{
                group.chunkX.data(),         group.chunkY.data(), group.centroidX.data(),
                group.centroidY.data(),      group.stride,        group.slotCount,
                same == kNone ? 0 : same + 1};
            kernels::templateBounds(w_.chunks.data(), w_.centroids.data(), n_, bounded, begin,
                                    count, layerEnd.data(), layers, part.rows.data(),
                                    part.columns.data(), part.boundScratch.data());
            leastColumns(group, highest, lanes, part.columns, part.least, part.scratch);
            for (std::size_t j = lowest; j <= highest; ++j) {
                // An entry of fewer joins uses slots of the chunk-bounded layers only.
                const bool chunked = same != kNone && j <= same;
                std::vector<Candidate>& out = chunked ? part.candidates : part.rough;
                const std::size_t at = out.size();
                out.resize(at + count);
                // The bound of the coarse score from its row and column sums' bounds, less the
                // bounds' error: multiplied by reciprocals, which rounds far below the margin.
                const double rowScale = 0.5 / static_cast<double>(n_);
                const double columnScale = 0.5 / static_cast<double>(m - j);
                const double offset =
                    static_cast<double>(differenceOf(m - j)) * kCoarseCountPenalty + joinCost(j) -
                    kernels::kBoundExcess - kBoundMargin;
                const float* rows = &part.rows[j * lanes];
                const float* least = &part.least[j * lanes];
                for (std::uint32_t k = 0; k < count; ++k) {
                    const double bound = static_cast<double>(rows[k]) * rowScale +
                                         static_cast<double>(least[k]) * columnScale + offset;
                    out[at + k] = {std::isnan(bound) ? -kInf : bound, group.ids[begin + k],
                                   static_cast<std::uint32_t>(j)};
                }
            }
        }
    }

    // Only the first few hundred are normally reached: those are put in order, the next
    // as many when reached.
    void sortByBound() {
        sorted_ = 0;
        next_ = 0;
        sortedUpTo(0);
    }
    void sortedUpTo(std::size_t index) {
        if (index < sorted_ || sorted_ == w_.candidates.size()) {
            return;
        }
        const auto from = w_.candidates.begin() + static_cast<std::ptrdiff_t>(sorted_);
        sorted_ = std::min(w_.candidates.size(), sorted_ + kPresorted);
        const auto to = w_.candidates.begin() + static_cast<std::ptrdiff_t>(sorted_);
        std::nth_element(from, to, w_.candidates.end(), byBound);
        std::sort(from, to, byBound);
    }

    // The 180th score plus the scores' error: no entry whose bound exceeds it can be among the
    // 180 best in double precision.
    double cutOff() const {
        return w_.best.size() == kShortlist ? w_.best.front().key + kScoreError : kInf;
    }

    // 4. Scores candidates in bound order while a bound can still reach the 180th score. A
    // batch may score a few entries that the stopping rule would have skipped, which changes
    // nothing but time.
    //
    // The entries bounded by chunk centroids go first: by then the 180th score is nearly
    // final, and the few entries whose looser bounds still reach it follow (takeRough), in the
    // same stream of batches, so that their first batch's distances are computed while the
    // last batch of the others is scored. Any order gives the same result; this one scores
    // the fewest.
    void search() {
        roughTaken_ = false;
        searchCandidates();
    }

    // Once no entry bounded by chunk centroids can reach the 180th score any more, the entries
    // bounded by stroke centroids alone that still can, in bound order.
    void takeRough() {
        roughTaken_ = true;
        w_.candidates.clear();
        const double cut = cutOff();
        std::copy_if(w_.rough.begin(), w_.rough.end(), std::back_inserter(w_.candidates),
                     [&](const Candidate& c) { return !(c.bound > cut); });
        sortByBound();
    }

    // Scores the candidates in bound order, a batch at a time, while a bound can still reach
    // the 180th score.
    //
    // With the helper thread free, the next batch is taken before this one is scored, from a
    // cut-off that this batch has not lowered yet (a few more entries, perhaps), and its
    // distances are computed while this batch is scored: the helper computes the later runs,
    // this thread scores and then computes the earlier ones, in shares of about equal cost
    // (kScoringPairs). Scoring does not divide; this way it costs no waiting (a batch's
    // scoring is about a quarter of its distances).
    void searchCandidates() {
        std::size_t strokes = takeBatch();
        if (w_.popped.empty()) {
            return;
        }
        computeDistances(strokes);
        for (;;) {
            std::swap(w_.popped, w_.scoring);
            // Alone, this thread scores first: the cut-off it lowers leaves fewer to take.
            const bool overlap = parallel_ && helperFree_;
            if (!overlap) {
                scoreBatch(w_.scoring);
            }
            strokes = takeBatch();
            if (w_.popped.empty()) {
                if (overlap) {
                    scoreBatch(w_.scoring);
                }
                return;
            }
            if (overlap && strokes * n_ >= kParallelDistancePairs) {
                // The helper takes the later runs, about half of the scoring and the distances
                // together; this thread scores, then computes the earlier runs.
                const std::size_t count = w_.pending.size();
                const std::size_t helperPairs =
                    (strokes * n_ + w_.scoring.size() * kScoringPairs) / 2;
                const std::size_t mine = strokes - std::min(strokes, helperPairs / n_);
                std::size_t half = 0;
                while (half < count && w_.pending[half].at < mine) {
                    ++half;
                }
                const std::size_t end = half < count ? w_.pending[half].at : strokes;
                helperFree_ = helper_.split([&](std::size_t part) {
                    if (part == 0) {
                        scoreBatch(w_.scoring);
                        if (half > 0) {
                            distancesOf(w_.distanceParts[0], 0, half, end);
                        }
                    } else if (half < count) {
                        distancesOf(w_.distanceParts[1], half, count, strokes);
                    }
                });
                distancesDone();
            } else {
                if (overlap) {
                    scoreBatch(w_.scoring);
                }
                computeDistances(strokes);
            }
        }
    }

    // The least total over the sets of k joins of the costs w_.nearest[slot], as chooseJoins
    // finds it, and how far above it the next best set's total lies (0 when they tie); the
    // best set's joins (bit i: pair i) go to `joins`.
    double choose(std::size_t m, std::uint64_t pairs, std::size_t k, double& margin,
                  std::uint64_t& joins) {
        // The two least totals of the ways to cover the first s strokes with j joins, and
        // their joins.
        const std::size_t states = (m + 1) * (k + 1);
        ensureSize(w_.paths, 2 * states);
        ensureSize(w_.pathSets, 2 * states);
        double* totals = w_.paths.data();
        std::uint64_t* sets = w_.pathSets.data();
        std::fill_n(totals, 2 * states, kInf);
        totals[0] = 0.0;
        sets[0] = 0;
        const float* cost = w_.nearest.data();
        for (std::size_t s = 0; s < m; ++s) {
            for (std::size_t j = 0; j <= k; ++j) {
                const std::size_t from = s * (k + 1) + j;
                if (totals[2 * from] == kInf) {
                    continue;
                }
                std::uint64_t run = 0;
                for (std::size_t length = 1; s + length <= m && j + length - 1 <= k; ++length) {
                    if (length > 1) {
                        if ((pairs >> (s + length - 2) & 1) == 0) {
                            break;
                        }
                        run |= std::uint64_t{1} << (s + length - 2);
                    }
                    const double piece = cost[pieceSlot(m, s, length)];
                    if (!(piece < kInf)) {
                        continue;
                    }
                    const std::size_t to = (s + length) * (k + 1) + j + length - 1;
                    double* total = &totals[2 * to];
                    std::uint64_t* set = &sets[2 * to];
                    for (std::size_t r = 0; r < 2; ++r) {
                        const double extended = totals[2 * from + r] + piece;
                        const std::uint64_t joined = sets[2 * from + r] | run;
                        if (extended < total[0]) {
                            total[1] = total[0];
                            set[1] = set[0];
                            total[0] = extended;
                            set[0] = joined;
                        } else if (extended < total[1]) {
                            total[1] = extended;
                            set[1] = joined;
                        }
                    }
                }
            }
        }
        const std::size_t end = m * (k + 1) + k;
        margin = totals[2 * end + 1] - totals[2 * end];
        joins = sets[2 * end];
        return totals[2 * end];
    }

    // Takes into w_.popped the next candidates while their bound is at most the 180th score,
    // and lists in w_.pending the distances their templates still lack, to be computed together
    // in one batch; returns how many template strokes that is.
    std::size_t takeBatch() {
        w_.popped.clear();
        w_.pending.clear();
        std::size_t strokes = 0;
        const double cut = cutOff();
        while (strokes < kBatchStrokes) {
            if (next_ < w_.candidates.size()) {
                sortedUpTo(next_);
            }
            if (next_ == w_.candidates.size() || w_.candidates[next_].bound > cut) {
                if (roughTaken_) {
                    break;
                }
                takeRough();
                continue;
            }
            const Candidate& c = w_.candidates[next_];
            ++next_;
            w_.popped.push_back(c);
            const TemplateSet::Layout& layout = layoutOf(c.id);
            Family& family = familyOf(c.id);
            if (family.table == kNone) {
                family.table = static_cast<std::uint32_t>(tablesUsed_);
                tablesUsed_ += n_ * tablePitch(layout.slotCount);
                if (w_.tables.size() < tablesUsed_) {
                    w_.tables.resize(2 * tablesUsed_);
                }
            }
            const auto needed = static_cast<std::uint32_t>(pieceSlots(layout.strokes, c.joins));
            const std::uint32_t from = std::max(family.ready, family.wanted);
            if (needed > from) {
                w_.pending.push_back({c.id, from, needed, static_cast<std::uint32_t>(strokes)});
                family.wanted = needed;
                strokes += needed - from;
            }
        }
        return strokes;
    }

    // Scores a batch whose distances are ready. An entry whose bound exceeds the 180th score
    // by now, the batch having been taken before earlier entries lowered it, is passed over
    // as the search would have.
    void scoreBatch(const std::vector<Candidate>& batch) {
        for (const Candidate& c : batch) {
            if (!(c.bound > cutOff())) {
                keepIfAmongBest(scoreEntry(c));
            }
        }
    }

    // The distances of the pending slots into their templates' tables, in one kernel call, or
    // two, the second on the helper thread, when the search is large enough to share.
    void computeDistances(std::size_t strokes) {
        const std::size_t count = w_.pending.size();
        if (strokes == 0) {
            return;
        }
        // Once the helper has found no free core, the search's many small shares stay here:
        // a helper that a busy machine preempts in the middle of one would hold it up.
        if (parallel_ && helperFree_ && strokes * n_ >= kParallelDistancePairs && count >= 2) {
            // The first pending run that starts past half the strokes begins the helper's share.
            std::size_t half = 1;
            while (half + 1 < count && w_.pending[half].at < strokes / 2) {
                ++half;
            }
            helperFree_ = helper_.split([&](std::size_t part) {
                if (part == 0) {
                    distancesOf(w_.distanceParts[0], 0, half, w_.pending[half].at);
                } else {
                    distancesOf(w_.distanceParts[1], half, count, strokes);
                }
            });
        } else {
            distancesOf(w_.distanceParts[0], 0, count, strokes);
        }
        distancesDone();
    }

    // The pending slots' distances are in their tables.
    void distancesDone() {
        for (const Workspace::Pending& p : w_.pending) {
            Family& family = familyOf(p.id);
            family.ready = std::max(family.ready, p.to);
        }
    }

    // The distances of the pending runs [first, last), batch columns [pending[first].at, end),
    // into their tables. Runs one thread's share: it writes only `part` and its runs' tables.
    void distancesOf(DistancePart& part, std::size_t first, std::size_t last,
                     std::size_t end) const {
        const std::size_t base = w_.pending[first].at;
        const std::size_t strokes = end - base;
        const std::size_t stride = kernels::lanesFor(strokes) + kCopyPiece;
        ensureSize(part.x, kStrokePoints * stride);
        ensureSize(part.y, kStrokePoints * stride);
        ensureSize(part.distances, n_ * stride);
        ensureSize(part.scratch, n_ * stride);
        for (std::size_t r = first; r < last; ++r) {
            const Workspace::Pending& p = w_.pending[r];
            const std::size_t pitch = layoutOf(p.id).slotCount;
            const float* fromX = set_.slotsX(p.id) + p.from;
            const float* fromY = set_.slotsY(p.id) + p.from;
            const std::size_t run = p.to - p.from;
            const std::size_t at = p.at - base;
            // Whole 64-byte pieces: a call to memmove per short run would cost more than the
            // copy. Reading past a row stays within the pool, writing past it within the
            // batch's slack, and the next run overwrites it.
            for (std::size_t point = 0; point < kStrokePoints; ++point) {
                float* toX = &part.x[point * stride + at];
                float* toY = &part.y[point * stride + at];
                const float* rowX = fromX + point * pitch;
                const float* rowY = fromY + point * pitch;
                for (std::size_t j = 0; j < run; j += kCopyPiece) {
                    std::memcpy(toX + j, rowX + j, kCopyPiece * sizeof(float));
                    std::memcpy(toY + j, rowY + j, kCopyPiece * sizeof(float));
                }
            }
        }
        kernels::strokeDistances(w_.ax.data(), w_.ay.data(), n_, part.x.data(), part.y.data(),
                                 stride, 0, strokes, stride, part.distances.data(),
                                 part.scratch.data());
        for (std::size_t r = first; r < last; ++r) {
            const Workspace::Pending& p = w_.pending[r];
            // Only read here: scoreBatch has stamped every pending template's family.
            const std::size_t table = w_.families[p.id].table;
            const std::size_t pitch = tablePitch(layoutOf(p.id).slotCount);
            // Past the run's end, a row's slots are not ready yet, and the slack is never read;
            // the batch's rows have room to read as far.
            for (std::size_t i = 0; i < n_; ++i) {
                const float* from = &part.distances[i * stride + p.at - base];
                float* to = &w_.tables[table + i * pitch + p.from];
                for (std::size_t j = 0; j < p.to - p.from; j += kTableCopy) {
                    std::memcpy(to + j, from + j, kTableCopy * sizeof(float));
                }
            }
        }
    }

    // The coarse score of an entry from its template's table: its joins chosen from the
    // nearest drawn stroke of each piece, unless the choice is too close to call in single
    // precision, then exactly.
    Coarse scoreEntry(const Candidate& c) {
        const TemplateSet::Layout& layout = layoutOf(c.id);
        const Family& family = familyOf(c.id);
        const std::size_t m = layout.strokes;
        const std::size_t pitch = tablePitch(layout.slotCount);
        Coarse entry{0.0,   -kInf, c.id, c.joins, static_cast<std::uint32_t>(w_.chosen.size()),
                     kNone, false};
        if (m == 0) {
            entry.key = kInf;
            return entry;
        }
        const float* table = &w_.tables[family.table];
        if (c.joins == 0) {
            for (std::uint32_t q = 0; q < m; ++q) {
                w_.chosen.push_back(q);
            }
        } else {
            const std::size_t needed = pieceSlots(m, c.joins);
            w_.nearest.assign(needed, std::numeric_limits<float>::infinity());
            float* __restrict nearest = w_.nearest.data();
            for (std::size_t i = 0; i < n_; ++i) {
                const float* __restrict row = table + i * pitch;
                for (std::size_t q = 0; q < needed; ++q) {
                    nearest[q] = nearer(nearest[q], row[q]);
                }
            }
            double margin = 0.0;
            std::uint64_t joins = 0;
            const double total = choose(m, layout.pairs, c.joins, margin, joins);
            // Each piece's nearest distance is within kDistanceError of double precision, so
            // a margin over twice the error of the sum keeps the choice.
            if (!(total < kInf) ||
                !(margin > 2.0 * static_cast<double>(m) * kScoreError + kBoundMargin * 1e-3)) {
                scoreExactly(entry, w_.fineParts[0]);
                return entry;
            }
            listPieces(m, joins);
        }
        entry.key =
            rankKey(coarseScore(table, pitch, n_, chosenOf(entry), w_.columnNearest, entry.floor) +
                    joinCost(c.joins));
        return entry;
    }

    // Appends to w_.chosen the slots of the pieces of a template of m strokes with `joins`.
    void listPieces(std::size_t m, std::uint64_t joins) {
        for (std::size_t s = 0; s < m;) {
            std::size_t length = 1;
            while ((joins >> (s + length - 1) & 1) != 0) {
                ++length;
            }
            w_.chosen.push_back(static_cast<std::uint32_t>(pieceSlot(m, s, length)));
            s += length;
        }
    }

    void keepIfAmongBest(const Coarse& scored) {
        w_.evaluated.push_back(scored);
        if (w_.best.size() < kShortlist) {
            w_.best.push_back(scored);
            std::push_heap(w_.best.begin(), w_.best.end(), before);
        } else if (before(scored, w_.best.front())) {
            std::pop_heap(w_.best.begin(), w_.best.end(), before);
            w_.best.back() = scored;
            std::push_heap(w_.best.begin(), w_.best.end(), before);
        }
    }

    // The farther groups, one difference at a time, unless their count penalty alone already
    // exceeds the 180th score.
    void searchFartherGroups(std::size_t stageEnd) {
        for (std::size_t first = stageEnd; first < w_.order.size(); first = stageEnd) {
            const std::size_t diff = nearestDifference(w_.order[first]);
            if (static_cast<double>(diff) * kCoarseCountPenalty > cutOff()) {
                break;
            }
            while (stageEnd < w_.order.size() && nearestDifference(w_.order[stageEnd]) == diff) {
                ++stageEnd;
            }
            boundGroups(first, stageEnd);
            search();
        }
    }

    // Distances and coarse score of an entry in double precision, exactly as defined, with its
    // matrix of the chosen pieces' distances.
    //
    // An entry scored in single precision already has its pieces (`scored`): its choice of
    // joins was taken only by a margin that single precision cannot reverse, so it is the
    // choice in double precision too, and only those pieces' distances are needed.
    //
    // Writes only `c`, its matrix and `part`, when `scored` and `c` has its matrix slot: the
    // threads may score entries again at once.
    void scoreExactly(Coarse& c, FinePart& part, bool scored = false) {
        std::vector<double>& exact = part.exact;
        const std::size_t m = layoutOf(c.id).strokes;
        const std::size_t needed = pieceSlots(m, c.joins);
        const std::uint64_t pairs = layoutOf(c.id).pairs;
        ensureSize(exact, n_ * needed);
        const auto distances = [&](std::size_t q) {
            const std::span<const InkPoint> piece = database_.pieceStroke(c.id, q);
            if (!piece.empty()) {
                kernels::exactStrokeDistances(input_, piece, &exact[q], needed);
            }
            return !piece.empty();
        };
        if (scored) {
            for (const std::uint32_t q : chosenOf(c)) {
                distances(q);
            }
        } else {
            costs_.assign(needed, kInf);
            for (std::size_t q = 0; q < needed; ++q) {
                if (distances(q)) {
                    for (std::size_t i = 0; i < n_; ++i) {
                        costs_[q] = nearer(costs_[q], exact[i * needed + q]);
                    }
                }
            }
            chooseExactly(c, m, pairs);
        }
        const std::span<const std::uint32_t> chosen = chosenOf(c);
        c.key = rankKey(coarseScore(exact.data(), needed, n_, chosen, part.exactColumns, c.floor) +
                        joinCost(c.joins));
        c.exact = true;
        if (c.matrix == kNone) {
            c.matrix = w_.takeSlot(slotSize_);
        }
        double* d = matrixOf(c);
        for (std::size_t i = 0; i < n_; ++i) {
            for (std::size_t j = 0; j < chosen.size(); ++j) {
                d[i * pitch_ + j] = exact[i * needed + chosen[j]];
            }
        }
    }

    // The pieces of an entry from its pieces' exact nearest distances (costs_), as the
    // definition chooses them.
    void chooseExactly(Coarse& c, std::size_t m, std::uint64_t pairs) {
        c.chosen = static_cast<std::uint32_t>(w_.chosen.size());
        if (c.joins == 0) {
            for (std::uint32_t q = 0; q < m; ++q) {
                w_.chosen.push_back(q);
            }
        } else {
            chooseJoins(m, pairs, c.joins, costs_, joins_);
            std::uint64_t joins = 0;
            for (const std::size_t pair : joins_) {
                joins |= std::uint64_t{1} << pair;
            }
            listPieces(m, joins);
        }
    }

    // The distance matrix of a scored entry (row i: its chosen pieces' distances to drawn stroke
    // i) to out[i * pitch + j]: its double-precision matrix when it was scored exactly, else
    // its pieces' single-precision distances from its template's table. Only reads: the
    // threads of the precise pass gather at once.
    void gatherMatrix(const Coarse& c, double* out, std::size_t pitch) const {
        const std::span<const std::uint32_t> chosen = chosenOf(c);
        if (c.matrix != kNone) {
            const double* d = matrixOf(c);
            for (std::size_t i = 0; i < n_; ++i) {
                std::copy_n(d + i * pitch_, chosen.size(), out + i * pitch);
            }
            return;
        }
        const std::size_t tableRow = tablePitch(layoutOf(c.id).slotCount);
        const float* table = &w_.tables[w_.families[c.id].table];
        for (std::size_t i = 0; i < n_; ++i) {
            for (std::size_t j = 0; j < chosen.size(); ++j) {
                out[i * pitch + j] = table[i * tableRow + chosen[j]];
            }
        }
    }

    // Scores the entries in w_.again in double precision, those not scored so yet, and, given
    // `finals`, their final scores into it, by position; shared with the helper when there are
    // several.
    void scoreAgain(std::vector<double>* finals) {
        for (Coarse* c : w_.again) {
            if (!c->exact && c->matrix == kNone) {
                c->matrix = w_.takeSlot(slotSize_);
            }
        }
        if (finals != nullptr) {
            finals->resize(w_.again.size());
        }
        const bool shared = parallel_ && w_.again.size() >= 2;
        const std::size_t shares = shared ? 2 : 1;
        const auto share = [&](std::size_t s) {
            FinePart& part = w_.fineParts[s];
            for (std::size_t k = s; k < w_.again.size(); k += shares) {
                Coarse& c = *w_.again[k];
                if (!c.exact) {
                    scoreExactly(c, part, true);
                }
                if (finals != nullptr) {
                    (*finals)[k] = finalScore(c, part);
                }
            }
        };
        if (shared) {
            helper_.split(share);
        } else {
            share(0);
        }
    }

    // 5. The shortlist: entries clearly inside the cut-off, then the best of those within
    // twice the error of it, ranked in double precision.
    void cutShortlist() {
        w_.shortlist.clear();
        if (w_.evaluated.size() <= kShortlist) {
            w_.shortlist = w_.best;
        } else {
            const double cut = w_.best.back().key;
            const double low = cut - 2 * kScoreError;
            const double high = cut + 2 * kScoreError;
            for (const Coarse& c : w_.best) {
                if (c.key < low) {
                    w_.shortlist.push_back(c);
                }
            }
            const std::size_t inside = w_.shortlist.size();
            w_.again.clear();
            for (Coarse& c : w_.evaluated) {
                if (c.key >= low && c.key <= high) {
                    w_.again.push_back(&c);
                }
            }
            scoreAgain(nullptr);
            for (const Coarse* c : w_.again) {
                w_.shortlist.push_back(*c);
            }
            const auto band = w_.shortlist.begin() + static_cast<std::ptrdiff_t>(inside);
            std::sort(band, w_.shortlist.end(), before);
            w_.shortlist.resize(kShortlist);
        }
    }

    // Final score of a shortlisted entry from its distance matrix. With `giveUp`, a score
    // above it may be returned as soon as the assignment shows that the final score exceeds it.
    double finalScore(const Coarse& c, FinePart& part, double giveUp = kInf) {
        const std::size_t m = layoutOf(c.id).strokes - c.joins;
        const std::size_t side = std::max(n_, m);
        part.matrix.side = side;
        part.matrix.cells.resize(side * side);
        // The distances, each row padded with 0.55, then rows of 0.55: each cell written once.
        double* cells = part.matrix.cells.data();
        gatherMatrix(c, cells, side);
        for (std::size_t i = 0; i < n_; ++i) {
            std::fill(cells + i * side + m, cells + (i + 1) * side, kUnmatchedStrokeCost);
        }
        std::fill(cells + n_ * side, cells + side * side, kUnmatchedStrokeCost);
        const double diff = static_cast<double>(differenceOf(m));
        const double offset = fineOffset(c, m);
        // The terms added one by one, in the order that the definition sums them.
        double score = diff * kFineCountPenalty +
                       (c.exact ? assignmentCost(part.matrix, part.assignment)
                                : kernels::assignment(part.matrix.cells.data(), side, part.fast,
                                                      giveUp - offset + kAssignmentRounding));
        if (common_[c.id] != 0) {
            score += kCommonBonus;
        }
        score += joinCost(c.joins);
        return rankKey(score);
    }

    // 6. Precise pass, best lower bound first, only as far as the first `limit` need: an
    // entry whose bound exceeds the limit-th score by more than twice the error cannot precede
    // it.
    void rankShortlist() {
        wanted_ = std::min(limit_, w_.shortlist.size());
        w_.fine.resize(w_.shortlist.size());
        // The bounds come with the coarse scores (coarseScore's floor).
        for (std::size_t e = 0; e < w_.shortlist.size(); ++e) {
            const Coarse& c = w_.shortlist[e];
            const std::size_t m = layoutOf(c.id).strokes - c.joins;
            double bound = c.floor + fineOffset(c, m) - kAssignmentRounding;
            if (std::isnan(bound)) {
                bound = -kInf;
            }
            w_.fine[e] = {0.0, bound, static_cast<std::uint32_t>(e), false};
        }
        std::sort(w_.fine.begin(), w_.fine.end(),
                  [](const Fine& a, const Fine& b) { return a.bound < b.bound; });
        // With two threads each takes every other entry in bound order and stops by a score at
        // or above the limit-th of both (rankShare): they may score a few more than one
        // thread would.
        const bool parallelFine = parallel_ && n_ >= kParallelFineStrokes;
        const std::size_t shares = parallelFine ? 2 : 1;
        const auto rank = [&](std::size_t share) { rankShare(share, shares); };
        for (std::atomic<double>& worst : halfWorst_) {
            worst.store(kInf, std::memory_order_relaxed);
        }
        if (parallelFine) {
            helper_.split(rank);
        } else {
            rank(0);
        }
        std::erase_if(w_.fine, [](const Fine& f) { return !f.scored; });
        std::sort(w_.fine.begin(), w_.fine.end(), finer);
    }

    // Final scores of every `shares`-th entry in bound order, as far as the first `wanted_` of
    // all need. The `wanted_`-th best score a thread has seen is at or above the `wanted_`-th
    // of all, and so is the worse of the two threads' `half`-th best (their best `half` are at
    // least `wanted_` entries, all at or under it): each thread tells the other its `half`-th
    // and stops by the lower of the two limits. A stale value from the other thread is only
    // higher; the first limit serves while the other thread has not started.
    void rankShare(std::size_t share, std::size_t shares) {
        FinePart& part = w_.fineParts[share];
        part.heap.clear();
        part.half.clear();
        const std::size_t half = (wanted_ + 1) / 2;
        const std::atomic<double>& other = halfWorst_[shares == 2 ? 1 - share : share];
        const auto worstOf = [](const std::vector<Fine>& heap, std::size_t size) {
            return heap.size() == size ? heap.front().key : kInf;
        };
        const auto keep = [](std::vector<Fine>& heap, std::size_t size, const Fine& f) {
            if (heap.size() < size) {
                heap.push_back(f);
                std::push_heap(heap.begin(), heap.end(), finer);
            } else if (finer(f, heap.front())) {
                std::pop_heap(heap.begin(), heap.end(), finer);
                heap.back() = f;
                std::push_heap(heap.begin(), heap.end(), finer);
            }
        };
        for (std::size_t r = share; r < w_.fine.size(); r += shares) {
            Fine& f = w_.fine[r];
            double limit = worstOf(part.heap, wanted_);
            if (shares == 2) {
                limit = std::min(limit, std::max(worstOf(part.half, half),
                                                 other.load(std::memory_order_relaxed)));
            }
            // An entry whose final score exceeds the wanted_-th by more than twice the error
            // cannot precede it: its assignment may stop there, and once its bound does, so
            // do those of the entries after it.
            const double giveUp = limit + 2 * kScoreError;
            if (f.bound > giveUp) {
                break;
            }
            f.key = finalScore(w_.shortlist[f.entry], part, giveUp);
            if (f.key > giveUp) {
                continue;
            }
            f.scored = true;
            keep(part.heap, wanted_, f);
            keep(part.half, half, f);
            if (part.half.size() == half) {
                halfWorst_[share].store(part.half.front().key, std::memory_order_relaxed);
            }
        }
    }

    // 7. Scores closer than twice the error may be in either order: such runs are scored
    // again in double precision and ordered by final score, then coarse score, then template
    // and joins, as the two stable sorts of the definition order them.
    std::vector<std::string> resolveCloseScores() {
        // The runs the answer reaches, and their members scored again.
        std::vector<std::pair<std::size_t, std::size_t>> runs;
        w_.again.clear();
        std::size_t answered = 0;
        for (std::size_t first = 0; first < w_.fine.size() && answered < wanted_;) {
            std::size_t last = first + 1;
            while (last < w_.fine.size() &&
                   w_.fine[last].key - w_.fine[last - 1].key <= 2 * kScoreError) {
                ++last;
            }
            runs.emplace_back(first, last);
            if (last - first > 1) {
                for (std::size_t r = first; r < last; ++r) {
                    w_.again.push_back(&w_.shortlist[w_.fine[r].entry]);
                }
            }
            answered += last - first;
            first = last;
        }
        std::vector<double> finals;
        scoreAgain(&finals);
        std::vector<std::string> result;
        result.reserve(wanted_);
        std::size_t again = 0;
        for (const auto& [first, last] : runs) {
            if (last - first > 1) {
                for (std::size_t r = first; r < last; ++r) {
                    w_.fine[r].key = finals[again++];
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
        }
        return result;
    }

    const Ink& input_;
    const std::size_t n_;
    const std::size_t limit_;
    const TemplateSet& set_;
    const CharacterDatabase& database_;  // the templates' characters, strokes and pieces
    const std::vector<char>& common_;    // the common flag of each template
    HelperThread& helper_;
    Workspace& w_;

    std::size_t tolerance_ = 0;
    std::size_t tablesUsed_ = 0;                // floats of w_.tables in use
    bool parallel_ = false;                     // whether the work is worth sharing with the helper
    bool helperFree_ = true;                    // whether the helper took its last share
    bool roughTaken_ = false;                   // whether the search has gone on to w_.rough
    std::vector<std::size_t> groupDifference_;  // by group: its nearest entry's difference
    std::size_t highest_ = 0;                   // most strokes of any entry examined
    std::size_t sorted_ = 0;                    // candidates [0, sorted_) are in bound order
    std::size_t next_ = 0;                      // the next candidate to score
    std::size_t pitch_ = 0;                     // row pitch of a distance matrix
    std::size_t slotSize_ = 0;                  // one distance matrix
    std::size_t wanted_ = 0;                    // candidates to answer
    std::vector<double> costs_;
    std::vector<std::size_t> joins_;
    // Each thread's half-th best final score in the precise pass.
    std::array<std::atomic<double>, 2> halfWorst_{};
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
                    *helper_, workspace)
            .run();
    if (area && area->width > 0 && area->height > 0) {
        orderKanaBySize(ranked, isSmallIn(ink, *area));
    }
    return ranked;
}

}  // namespace sumiro
