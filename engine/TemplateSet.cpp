#include "engine/TemplateSet.h"

#include "engine/Contract.h"
#include "engine/Normalization.h"

namespace sumiro {

namespace {
constexpr auto kPoints = static_cast<std::size_t>(kNormalizedPoints);
}

std::span<const InkPoint> TemplateSet::Group::templatePoints(std::size_t k) const {
    const std::size_t stride = strokeCount * kPoints;
    return std::span<const InkPoint>(points).subspan(k * stride, stride);
}

void TemplateSet::add(std::uint32_t id, const Ink& normalizedInk) {
    SUMIRO_EXPECTS(id == where_.size(), "TemplateSet::add: ids must be consecutive");
    const std::size_t m = normalizedInk.size();
    if (groups_.size() <= m) {
        const std::size_t first = groups_.size();
        groups_.resize(m + 1);
        for (std::size_t c = first; c <= m; ++c) {
            groups_[c].strokeCount = c;
        }
    }
    Group& group = groups_[m];
    where_.push_back({static_cast<std::uint32_t>(m), static_cast<std::uint32_t>(group.ids.size())});
    group.ids.push_back(id);
    for (const Stroke& stroke : normalizedInk) {
        SUMIRO_EXPECTS(stroke.size() == kPoints, "TemplateSet::add: strokes must be normalized");
        group.points.insert(group.points.end(), stroke.begin(), stroke.end());
    }
}

void TemplateSet::shrinkToFit() {
    for (Group& group : groups_) {
        group.ids.shrink_to_fit();
        group.points.shrink_to_fit();
    }
    where_.shrink_to_fit();
}

std::span<const InkPoint> TemplateSet::pointsOf(std::uint32_t id) const {
    const Location where = where_[id];
    return groups_[where.group].templatePoints(where.position);
}

}  // namespace sumiro
