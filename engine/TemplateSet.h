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
/// Zero strokes after each group's last stroke, so that kernels and copies may work in whole
/// vectors: a run of strokes may be read up to this many strokes past its end.
inline constexpr std::size_t kStrokePadding = 16;

/// Normalized templates laid out for the matching kernels, in single precision: grouped by
/// stroke count so a stroke-count filter skips whole groups, each group's coordinates in
/// structure-of-arrays form so one kernel call compares drawn strokes with many template
/// strokes at once. Exact double-precision work reads the templates themselves.
class TemplateSet {
public:
    /// All templates with one stroke count, in database order.
    struct Group {
        std::size_t strokeCount = 0;
        std::vector<std::uint32_t> ids;  ///< Database indices of the templates.
        /// Point p of stroke j of the k-th template is at [p * stride() + k * strokeCount + j]:
        /// the same point of neighbouring strokes is contiguous, and a stroke read backwards
        /// needs no copy.
        std::span<float> x, y;
        /// Centroid of chunk c (points 4c to 4c+3) of stroke j of the k-th template at
        /// [c * strokes() + j * ids.size() + k]: stroke j of every template in a row, so bounds
        /// reduce over the strokes of many templates at once.
        std::span<float> chunkX, chunkY;

        /// Number of strokes of all templates of the group together.
        std::size_t strokes() const { return ids.size() * strokeCount; }
        /// Distance between point p and point p + 1 of one stroke in `x` and `y`.
        std::size_t stride() const { return strokes() + kStrokePadding; }
    };

    TemplateSet() = default;
    // The groups' arrays live in one block that moves with the set, never copied.
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
    using StrokeSource =
        std::function<void(std::size_t id, std::vector<const Stroke*>& strokes, Ink& scratch)>;

    /// The same layout for templates that need not be held all at once: template i has
    /// strokeCounts[i] strokes, given by `source`.
    TemplateSet(const std::vector<std::uint32_t>& strokeCounts, const StrokeSource& source,
                HelperThread& helper);

    /// Groups in increasing stroke count; groups of counts that no template has are empty.
    const std::vector<Group>& groups() const { return groups_; }

    std::size_t size() const { return size_; }

private:
    /// Sizes the groups, lists their ids and places their arrays in the block.
    void listMembers(const std::vector<std::uint32_t>& strokeCounts);
    /// Fills the groups on the calling thread and on `helper`, if given.
    void fill(const StrokeSource& source, HelperThread* helper);

    std::vector<Group> groups_;
    // Every group's coordinates and centroids, one after another: one block of large pages.
    std::vector<float, LargePageAllocator<float>> block_;
    std::size_t size_ = 0;
};

/// Centroids of the chunks of one 16-point stroke: all x, then all y.
std::array<double, 2 * kChunks> chunkCentroids(const Stroke& stroke);

}  // namespace sumiro
