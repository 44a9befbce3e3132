#include "engine/JoinedStrokes.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <limits>

#include "engine/Contract.h"
#include "engine/Normalization.h"

namespace sumiro {

namespace {

// The larger of the ink's width and height: -infinity without points.
double largerExtent(const Ink& ink) {
    const InkExtent extent = inkExtent(ink);
    return std::max(extent.width, extent.height);
}

// Whether each stroke of `ink` is shorter than `maxLength` times its larger extent, the
// stroke's length being that of the path through its points.
std::vector<bool> markStrokes(const Ink& ink, double maxLength) {
    const double limit = maxLength * largerExtent(ink);
    std::vector<bool> marks;
    marks.reserve(ink.size());
    for (const Stroke& stroke : ink) {
        double length = 0.0;
        for (std::size_t p = 1; p < stroke.size(); ++p) {
            length += std::hypot(stroke[p].x - stroke[p - 1].x, stroke[p].y - stroke[p - 1].y);
        }
        // No mark under a limit of zero, nor one that is not a number (an ink without points).
        marks.push_back(length < limit);
    }
    return marks;
}

}  // namespace

Ink joinStrokes(const Ink& ink, const std::vector<std::size_t>& joins) {
    Ink out;
    out.reserve(ink.size() - std::min(joins.size(), ink.size()));
    auto next = joins.begin();
    for (std::size_t s = 0; s < ink.size(); ++s) {
        const bool continues = s > 0 && next != joins.end() && *next == s - 1;
        if (continues) {
            out.back().insert(out.back().end(), ink[s].begin(), ink[s].end());
            ++next;
        } else {
            out.push_back(ink[s]);
        }
        SUMIRO_EXPECTS(next == joins.end() || *next >= s,
                       "joinStrokes: joins must be ascending, distinct and inside the ink");
    }
    SUMIRO_EXPECTS(next == joins.end(), "joinStrokes: a join past the last stroke");
    return out;
}

std::vector<double> strokeGaps(const Ink& ink) {
    constexpr double kInf = std::numeric_limits<double>::infinity();
    const double extent = largerExtent(ink);
    std::vector<double> gaps;
    for (std::size_t s = 0; s + 1 < ink.size(); ++s) {
        const Stroke& a = ink[s];
        const Stroke& b = ink[s + 1];
        // A NaN extent fails this test too.
        if (a.empty() || b.empty() || !(extent > 0)) {
            gaps.push_back(kInf);
            continue;
        }
        gaps.push_back(std::hypot(b.front().x - a.back().x, b.front().y - a.back().y) / extent);
    }
    return gaps;
}

double joinCost(std::size_t joins, const JoinPolicy& policy) {
    return joins == 0 ? 0.0
                      : policy.costOfJoining + policy.costPerJoin * static_cast<double>(joins);
}

std::size_t joinsForStrokes(std::size_t strokes, const JoinPolicy& policy) {
    if (strokes < 2 || strokes > kMostJoinableStrokes) {
        return 0;
    }
    const std::size_t keep =
        std::max<std::size_t>(policy.minStrokes, strokes > policy.maxStrokesIntoOne ? 2 : 1);
    return strokes > keep ? std::min(policy.maxJoins, strokes - keep) : 0;
}

Joinability joinability(const Ink& ink, const JoinPolicy& policy) {
    Joinability result;
    const std::size_t most = joinsForStrokes(ink.size(), policy);
    if (most == 0) {
        return result;
    }
    const std::vector<double> gaps = strokeGaps(ink);
    const std::vector<bool> marks = markStrokes(ink, policy.maxMarkLength);
    std::size_t count = 0;
    for (std::size_t s = 0; s < gaps.size(); ++s) {
        if (gaps[s] <= policy.maxGap && !(marks[s] && marks[s + 1])) {
            result.pairs |= std::uint64_t{1} << s;
            ++count;
        }
    }
    result.maxJoins = std::min(most, count);
    if (result.maxJoins == 0) {
        result.pairs = 0;
    }
    return result;
}

double chooseJoins(std::size_t strokes, std::uint64_t pairs, std::size_t joins,
                   std::span<const double> slotCosts, std::vector<std::size_t>& chosen) {
    constexpr double kInf = std::numeric_limits<double>::infinity();
    chosen.clear();
    SUMIRO_EXPECTS(joins < std::max<std::size_t>(strokes, 1) &&
                       static_cast<std::size_t>(std::popcount(pairs)) >= joins,
                   "chooseJoins: more joins than the pairs allow");
    // Way to cover strokes [0, s) with j joins: its total and its joins so far.
    struct Way {
        double total = kInf;
        std::vector<std::size_t> joins;
    };
    std::vector<Way> ways((strokes + 1) * (joins + 1));
    const auto at = [&](std::size_t s, std::size_t j) -> Way& { return ways[s * (joins + 1) + j]; };
    at(0, 0).total = 0.0;
    for (std::size_t s = 0; s < strokes; ++s) {
        for (std::size_t j = 0; j <= joins; ++j) {
            const Way& from = at(s, j);
            if (from.total == kInf) {
                continue;
            }
            // A run of `length` strokes from s, joined by pairs s to s + length - 2.
            for (std::size_t length = 1; s + length <= strokes && j + length - 1 <= joins;
                 ++length) {
                if (length > 1 && (pairs >> (s + length - 2) & 1) == 0) {
                    break;
                }
                const double cost = slotCosts[pieceSlot(strokes, s, length)];
                if (std::isnan(cost)) {
                    continue;
                }
                const double total = from.total + cost;
                Way& to = at(s + length, j + length - 1);
                std::vector<std::size_t> extended = from.joins;
                for (std::size_t pair = s; pair + 1 < s + length; ++pair) {
                    extended.push_back(pair);
                }
                if (total < to.total || (total == to.total && extended < to.joins)) {
                    to.total = total;
                    to.joins = std::move(extended);
                }
            }
        }
    }
    const Way& best = at(strokes, joins);
    if (best.total == kInf) {
        // No set of finite cost (a drawing whose numbers overflow): the first pairs there are.
        for (std::size_t pair = 0; pair + 1 < strokes && chosen.size() < joins; ++pair) {
            if ((pairs >> pair & 1) != 0) {
                chosen.push_back(pair);
            }
        }
        return kInf;
    }
    chosen = best.joins;
    return best.total;
}

}  // namespace sumiro
