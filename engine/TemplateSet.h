#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "engine/Ink.h"
#include "engine/InkTemplate.h"

namespace sumiro {

/// Normalized templates laid out for the matching kernels: grouped by stroke count so a
/// stroke-count filter skips whole groups, each group one contiguous array of 16-point strokes.
class TemplateSet {
public:
    /// All templates with one stroke count, in database order.
    struct Group {
        std::size_t strokeCount = 0;
        std::vector<std::uint32_t> ids;  ///< Database indices of the templates.
        std::vector<InkPoint>
            points;  ///< Template k, stroke j starts at (k * strokeCount + j) * 16.

        /// The points of all strokes of the group's k-th template.
        std::span<const InkPoint> templatePoints(std::size_t k) const;
    };

    TemplateSet() = default;

    /// Lays out `templates` (each a normalized ink: 16 points in every stroke), sizing every
    /// array exactly; template i gets id i.
    explicit TemplateSet(const std::vector<InkTemplate>& templates);

    /// Groups in increasing stroke count; groups of counts that no template has are empty.
    const std::vector<Group>& groups() const { return groups_; }

    /// The group and the points of the template with database index `id`.
    const Group& groupOf(std::uint32_t id) const { return groups_[where_[id].group]; }
    std::span<const InkPoint> pointsOf(std::uint32_t id) const;

    std::size_t size() const { return where_.size(); }

private:
    struct Location {
        std::uint32_t group = 0;
        std::uint32_t position = 0;
    };
    std::vector<Group> groups_;
    std::vector<Location> where_;
};

}  // namespace sumiro
