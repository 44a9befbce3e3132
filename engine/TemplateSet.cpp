#include "engine/TemplateSet.h"

#include <algorithm>

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

TemplateSet::TemplateSet(const std::vector<InkTemplate>& templates) {
    std::size_t most = 0;
    for (const InkTemplate& t : templates) {
        most = std::max(most, t.strokes.size());
    }
    groups_.resize(templates.empty() ? 0 : most + 1);
    std::vector<std::size_t> members(groups_.size(), 0);
    for (const InkTemplate& t : templates) {
        ++members[t.strokes.size()];
    }
    for (std::size_t m = 0; m < groups_.size(); ++m) {
        groups_[m].strokeCount = m;
        groups_[m].ids.reserve(members[m]);
        groups_[m].points.reserve(members[m] * m * kPoints);
    }
    where_.reserve(templates.size());
    for (std::size_t id = 0; id < templates.size(); ++id) {
        const Ink& ink = templates[id].strokes;
        Group& group = groups_[ink.size()];
        where_.push_back(
            {static_cast<std::uint32_t>(ink.size()), static_cast<std::uint32_t>(group.ids.size())});
        group.ids.push_back(static_cast<std::uint32_t>(id));
        for (const Stroke& stroke : ink) {
            SUMIRO_EXPECTS(stroke.size() == kPoints, "TemplateSet: strokes must be normalized");
            group.points.insert(group.points.end(), stroke.begin(), stroke.end());
        }
    }
}

std::span<const InkPoint> TemplateSet::pointsOf(std::uint32_t id) const {
    const Location where = where_[id];
    return groups_[where.group].templatePoints(where.position);
}

}  // namespace sumiro
