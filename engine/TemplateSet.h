#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "engine/InkTemplate.h"
#include "engine/LargePages.h"

namespace sumiro {

class HelperThread;

/// Points per stroke in every normalized ink.
inline constexpr std::size_t kStrokePoints = 16;
/// Consecutive points averaged into one chunk centroid for the matching lower bounds.
inline constexpr std::size_t kChunkPoints = 4;
inline constexpr std::size_t kChunks = kStrokePoints / kChunkPoints;
/// Zero strokes after the end of the pool, so that copies may work in whole vectors: a run of
/// strokes may be read up to this many strokes past its end.
inline constexpr std::size_t kStrokePadding = 16;

/// Normalized templates laid out for the matching kernels, in single precision. Each stroke is
/// stored once, in a pool in structure-of-arrays form, from which the recognizer gathers the
/// strokes of many templates side by side for one kernel call. A template is a list of runs of
/// pool strokes, and one that repeats strokes of an earlier template (a joined-stroke specimen
/// keeps most of its template's strokes) costs the pool only the strokes of its own. For the
/// bounds, templates are grouped by stroke count, so a stroke-count filter skips whole groups.
/// Exact double-precision work reads the templates themselves.
class TemplateSet {
public:
    /// All templates with one stroke count, in database order.
    struct Group {
        std::size_t strokeCount = 0;
        std::vector<std::uint32_t> ids;  ///< Database indices of the templates.
        /// Centroid of chunk c (points 4c to 4c+3) of stroke j of the k-th template at
        /// [c * strokes() + j * ids.size() + k]: stroke j of every template in a row, so bounds
        /// reduce over the strokes of many templates at once.
        std::span<float> chunkX, chunkY;

        /// Number of strokes of all templates of the group together.
        std::size_t strokes() const { return ids.size() * strokeCount; }
    };

    /// Consecutive strokes of the pool, all in one tile.
    struct Run {
        std::uint32_t first = 0;
        std::uint32_t count = 0;
        friend bool operator==(const Run&, const Run&) = default;
    };

    TemplateSet() = default;
    // The arrays live in one block that moves with the set, never copied.
    TemplateSet(TemplateSet&&) = default;
    TemplateSet& operator=(TemplateSet&&) = default;
    TemplateSet(const TemplateSet&) = delete;
    TemplateSet& operator=(const TemplateSet&) = delete;

    /// Lays out `templates` (each a normalized ink: 16 points in every stroke); template i gets
    /// id i.
    explicit TemplateSet(const std::vector<InkTemplate>& templates);

    /// The same layout, with the groups filled on the calling thread and on `helper`.
    TemplateSet(const std::vector<InkTemplate>& templates, HelperThread& helper);

    /// Lists in `strokes` the normalized strokes of template `id`: stored strokes, or strokes
    /// made for the call in `scratch`. Called from two threads at once.
    using StrokeSource = std::function<void(
        std::size_t id, std::vector<std::span<const InkPoint>>& strokes, Ink& scratch)>;

    /// Where a stroke of a template comes from: stroke `stroke` of the earlier template `of`,
    /// which must have only strokes of its own, or, with `of` kOwn, the template itself.
    struct StrokeOrigin {
        std::uint32_t of = 0;
        std::uint32_t stroke = 0;
    };
    static constexpr std::uint32_t kOwn = 0xFFFFFFFF;
    /// Lists in `origins` where each stroke of template `id` comes from; an empty list when
    /// all of them are its own.
    using OriginSource = std::function<void(std::size_t id, std::vector<StrokeOrigin>& origins)>;

    /// The same layout for templates that need not be held all at once: template i has
    /// strokeCounts[i] strokes, given by `source`, which gives the very strokes `origins` says
    /// it shares with an earlier template.
    TemplateSet(const std::vector<std::uint32_t>& strokeCounts, const StrokeSource& source,
                const OriginSource& origins, HelperThread& helper);

    /// Groups in increasing stroke count; groups of counts that no template has are empty.
    const std::vector<Group>& groups() const { return groups_; }

    /// Strokes per tile of the pool. A tile holds all 16 x coordinates of its strokes, then all
    /// their y coordinates, point by point: what the recognizer copies of a template, and of
    /// the specimens next to it, lies within a few kilobytes instead of spread over the pool.
    static constexpr std::size_t kTileStrokes = 64;
    /// Point p of pool stroke s is at strokeX(s)[p * kTileStrokes] and
    /// strokeY(s)[p * kTileStrokes]; the strokes of a run are consecutive in each such row.
    /// Reading up to kStrokePadding strokes past a run stays within the block.
    const float* strokeX(std::size_t s) const { return &pool_[offsetOf(s)]; }
    const float* strokeY(std::size_t s) const { return strokeX(s) + kTileStrokes * kStrokePoints; }
    /// Number of strokes in the pool.
    std::size_t poolStrokes() const { return poolStrokes_; }

    /// The strokes of template `id`, in order.
    std::span<const Run> runs(std::size_t id) const {
        return std::span<const Run>(runs_).subspan(runStart_[id],
                                                   runStart_[id + 1] - runStart_[id]);
    }

    std::size_t size() const { return size_; }

private:
    /// Sizes the groups and lists their ids; places the strokes of every template in the pool
    /// (`own` gets the first pool stroke of each template's own strokes) and lists its runs;
    /// places the arrays in the block.
    void listMembers(const std::vector<std::uint32_t>& strokeCounts, const OriginSource* origins,
                     std::vector<std::uint32_t>& own);
    /// Fills the pool and the groups on the calling thread and on `helper`, if given.
    void fill(const StrokeSource& source, const std::vector<std::uint32_t>& own,
              HelperThread* helper);
    void fillGroup(Group& group, const StrokeSource& source, const std::vector<std::uint32_t>& own,
                   Ink& scratch);

    std::vector<Group> groups_;
    std::vector<Run> runs_;
    // The runs of template id are runs_[runStart_[id], runStart_[id + 1]).
    std::vector<std::uint32_t> runStart_;
    // The pool and every group's centroids, one after another: one block of large pages.
    std::vector<float, LargePageAllocator<float>> block_;
    static constexpr std::size_t kTileFloats = 2 * kTileStrokes * kStrokePoints;
    /// Where point 0 of pool stroke s has its x coordinate.
    static std::size_t offsetOf(std::size_t s) {
        return s / kTileStrokes * kTileFloats + s % kTileStrokes;
    }
    std::span<float> pool_;  // whole tiles, then kStrokePadding strokes' worth of zeros
    std::size_t poolStrokes_ = 0;
    std::size_t size_ = 0;
};

/// Centroids of the chunks of one 16-point stroke: all x, then all y.
std::array<double, 2 * kChunks> chunkCentroids(std::span<const InkPoint> stroke);

}  // namespace sumiro
