#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "engine/InkTemplate.h"
#include "engine/JoinedStrokes.h"
#include "engine/LargePages.h"

namespace sumiro {

class HelperThread;

/// Points per stroke in every normalized ink.
inline constexpr std::size_t kStrokePoints = 16;
/// Consecutive points averaged into one chunk centroid for the matching lower bounds.
inline constexpr std::size_t kChunkPoints = 4;
inline constexpr std::size_t kChunks = kStrokePoints / kChunkPoints;
/// Zeros after the end of the pool, so that copies may work in whole vectors: a row of a
/// template's slots may be read up to this many floats past its end.
inline constexpr std::size_t kPoolPadding = 16;
/// Where the slot of a run that may not be joined lies, on both axes: so far from every stroke
/// that no bound or distance ever prefers it, and near enough that its squares stay finite.
inline constexpr float kFarAway = 1e6f;

/// Normalized templates laid out for the matching kernels, in single precision. A template has
/// piece slots (pieceSlot): its own strokes, then, for one that may be written joined, every run
/// of up to joins + 1 consecutive strokes joined into one. A run that may not be joined keeps
/// its slot, lying at kFarAway, so that all templates of one stroke count and as many joins
/// have one shape and their bounds are computed side by side. Exact double-precision work reads
/// the database's own strokes.
class TemplateSet {
public:
    /// Where the piece slots of one template lie.
    struct Layout {
        std::uint32_t first = 0;  ///< Where its coordinates begin in the pool (slotsX).
        std::uint32_t strokes = 0;
        std::uint32_t joins = 0;      ///< Most joins of a drawing of it.
        std::uint32_t slotCount = 0;  ///< pieceSlots(strokes, joins)
        std::uint32_t group = 0;      ///< Index in groups().
        std::uint64_t pairs = 0;      ///< Bit i: strokes i and i + 1 may be joined.
    };

    /// All templates with one stroke count and as many joins, in database order.
    struct Group {
        std::size_t strokeCount = 0;
        std::size_t joins = 0;
        std::size_t slotCount = 0;
        std::vector<std::uint32_t> ids;  ///< Database indices of the templates.
        /// Members per row of the chunk centroids: ids.size() rounded up to whole vectors of
        /// the bound kernels.
        std::size_t stride = 0;
        /// Centroid of chunk c (points 4c to 4c+3) of slot q of the k-th template at
        /// [(c * slotCount + q) * stride + k], in the bounds' fixed point
        /// (kernels::boundCoordinate): one slot of every template in a row, so bounds reduce
        /// over the slots of many templates at once; the rows' tails lie at kFarAway, so
        /// kernels work in whole vectors.
        std::span<std::int16_t> chunkX, chunkY;
        /// Centroid of slot q of the k-th template at [q * stride + k], laid out alike.
        std::span<std::int16_t> centroidX, centroidY;
    };

    /// The shape of one template: its stroke count and how it may be joined.
    struct Shape {
        std::uint32_t strokes = 0;
        Joinability joins;
    };

    /// Lists in `pieces` the normalized stroke of every slot of template `id`, an empty span for
    /// a run that may not be joined; the strokes may be made in `scratch`. Called from two
    /// threads at once.
    using PieceSource = std::function<void(
        std::size_t id, std::vector<std::span<const InkPoint>>& pieces, Ink& scratch)>;

    TemplateSet() = default;
    // The arrays live in one block that moves with the set, never copied.
    TemplateSet(TemplateSet&&) = default;
    TemplateSet& operator=(TemplateSet&&) = default;
    TemplateSet(const TemplateSet&) = delete;
    TemplateSet& operator=(const TemplateSet&) = delete;

    /// Lays out `templates` (each a normalized ink: 16 points in every stroke), none of them
    /// joined; template i gets id i.
    explicit TemplateSet(const std::vector<InkTemplate>& templates);

    /// Lays out templates of the given shapes, their pieces from `source`, filled on the
    /// calling thread and on `helper` if given.
    TemplateSet(const std::vector<Shape>& shapes, const PieceSource& source, HelperThread* helper);

    const Layout& layout(std::size_t id) const { return layouts_[id]; }

    /// Groups in increasing stroke count, then joins; groupsWith(m) are those of m strokes.
    const std::vector<Group>& groups() const { return groups_; }
    std::span<const Group> groupsWith(std::size_t strokes) const {
        if (strokes + 1 >= groupStart_.size()) {
            return {};
        }
        return std::span<const Group>(groups_).subspan(
            groupStart_[strokes], groupStart_[strokes + 1] - groupStart_[strokes]);
    }
    /// Largest stroke count of any template.
    std::size_t mostStrokes() const { return groupStart_.empty() ? 0 : groupStart_.size() - 2; }

    /// Point p of slot q of template `id` is at slotsX(id)[p * slotCount + q], and alike in
    /// slotsY(id): what the recognizer copies of a template lies in one block of a few hundred
    /// bytes to a few kilobytes, its slots consecutive in each row, instead of spread over
    /// the pool. Reading up to kPoolPadding floats past any row stays within the pool, and
    /// finds numbers.
    const float* slotsX(std::size_t id) const { return &pool_[layouts_[id].first]; }
    const float* slotsY(std::size_t id) const {
        return slotsX(id) + kStrokePoints * layouts_[id].slotCount;
    }
    std::size_t size() const { return layouts_.size(); }

private:
    void listMembers(const std::vector<Shape>& shapes);
    void fill(const PieceSource& source, HelperThread* helper);
    void fillTemplate(std::size_t id, const PieceSource& source,
                      std::vector<std::span<const InkPoint>>& pieces, Ink& scratch);

    std::vector<Layout> layouts_;
    std::vector<Group> groups_;
    // Groups of m strokes are groups_[groupStart_[m], groupStart_[m + 1]).
    std::vector<std::uint32_t> groupStart_;
    // Where each template sits in its group.
    std::vector<std::uint32_t> member_;
    // The pool; and every group's chunk centroids and centroids, one group after another. Each
    // block on large pages where they are offered.
    std::vector<float, LargePageAllocator<float>> block_;
    std::vector<std::int16_t, LargePageAllocator<std::int16_t>> boundBlock_;
    /// Floats of the block of a template of `slots` slots: x then y coordinates, rounded up so
    /// that every block begins on a cache line.
    static std::size_t blockSize(std::size_t slots) {
        constexpr std::size_t kLineFloats = 16;
        return (2 * kStrokePoints * slots + kLineFloats - 1) / kLineFloats * kLineFloats;
    }
    std::span<float> pool_;     // every template's block, then kPoolPadding zeros
    std::size_t poolSize_ = 0;  // floats of the blocks; the padding follows
};

/// Centroids of the chunks of one 16-point stroke: all x, then all y.
std::array<double, 2 * kChunks> chunkCentroids(std::span<const InkPoint> stroke);

/// The centroid (x, y) of a stroke from its chunks' centroids (chunkCentroids).
inline std::array<double, 2> strokeCentroid(const std::array<double, 2 * kChunks>& chunks) {
    double x = 0.0;
    double y = 0.0;
    for (std::size_t c = 0; c < kChunks; ++c) {
        x += chunks[c];
        y += chunks[kChunks + c];
    }
    return {x / kChunks, y / kChunks};
}

}  // namespace sumiro
