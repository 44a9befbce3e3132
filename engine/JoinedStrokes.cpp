#include "engine/JoinedStrokes.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <iterator>
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

double specimenCost(std::size_t joins, double likelihood, const JoinPolicy& policy) {
    return policy.costPerJoin * static_cast<double>(joins) -
           policy.costPerUnlikeliness * std::log(likelihood);
}

std::vector<std::vector<std::size_t>> joinSets(const Ink& ink, const JoinPolicy& policy,
                                               std::vector<double>* likelihoods) {
    if (likelihoods != nullptr) {
        likelihoods->clear();
    }
    const std::vector<double> gaps = strokeGaps(ink);
    const std::vector<bool> marks = markStrokes(ink, policy.maxMarkLength);
    std::vector<std::size_t> eligible;
    for (std::size_t s = 0; s < gaps.size(); ++s) {
        if (gaps[s] <= policy.maxGap && !(marks[s] && marks[s + 1])) {
            eligible.push_back(s);
        }
    }
    constexpr std::size_t kModelled = std::size(kJoinShares);
    const std::size_t most =
        std::min({policy.maxJoins, eligible.size(), kModelled,
                  ink.size() > policy.minStrokes ? ink.size() - policy.minStrokes : 0});
    if (most == 0) {
        return {};
    }

    // Weights of every pair, eligible or not, and for each k the sum over all sets of k pairs
    // of the product of their weights (the elementary symmetric sums).
    std::vector<double> weights;
    for (double gap : gaps) {
        weights.push_back(std::isfinite(gap) ? std::exp(-gap / kJoinGapScale) : 0.0);
    }
    std::vector<double> sums(most + 1, 0.0);
    sums[0] = 1.0;
    for (double w : weights) {
        for (std::size_t k = most; k > 0; --k) {
            sums[k] += sums[k - 1] * w;
        }
    }

    // Every set of 1 to `most` eligible pairs, in lexicographic order, but for the branches
    // where no set can reach the least likelihood: a set's weights are at most the largest
    // weight left after its last pair.
    std::vector<double> largestFrom(eligible.size() + 1, 0.0);
    for (std::size_t e = eligible.size(); e-- > 0;) {
        largestFrom[e] = std::max(largestFrom[e + 1], weights[eligible[e]]);
    }
    struct Choice {
        std::array<std::size_t, kModelled> joins;
        std::size_t size;
        double likelihood;
    };
    std::vector<Choice> choices;
    std::array<std::size_t, kModelled> picked{};
    const auto extend = [&](auto& self, std::size_t from, std::size_t k, double product) -> void {
        for (std::size_t e = from; e < eligible.size(); ++e) {
            picked[k] = eligible[e];
            const double p = product * weights[eligible[e]];
            const double likelihood = kJoinShares[k] * p / sums[k + 1];
            const bool intoOne = ink.size() - (k + 1) == 1;
            if (likelihood >= policy.minLikelihood &&
                !(intoOne && ink.size() > policy.maxStrokesIntoOne)) {
                choices.push_back({picked, k + 1, likelihood});
            }
            bool reachable = false;
            double bound = p;
            for (std::size_t deeper = k + 2; deeper <= most && !reachable; ++deeper) {
                bound *= largestFrom[e + 1];
                reachable = kJoinShares[deeper - 1] * bound / sums[deeper] >= policy.minLikelihood;
            }
            if (reachable) {
                self(self, e + 1, k + 1, p);
            }
        }
    };
    extend(extend, 0, 0, 1.0);
    std::stable_sort(choices.begin(), choices.end(), [](const Choice& a, const Choice& b) {
        if (a.likelihood != b.likelihood) {
            return a.likelihood > b.likelihood;
        }
        if (a.size != b.size) {
            return a.size < b.size;
        }
        return std::lexicographical_compare(a.joins.begin(), a.joins.begin() + a.size,
                                            b.joins.begin(), b.joins.begin() + b.size);
    });
    std::vector<std::vector<std::size_t>> sets;
    std::size_t strokes = 0;
    for (std::size_t c = 0; c < choices.size() && sets.size() < policy.maxSpecimens; ++c) {
        strokes += ink.size() - choices[c].size;
        if (strokes > policy.maxSpecimenStrokes) {
            break;
        }
        sets.emplace_back(choices[c].joins.begin(), choices[c].joins.begin() + choices[c].size);
        if (likelihoods != nullptr) {
            likelihoods->push_back(choices[c].likelihood);
        }
    }
    return sets;
}

}  // namespace sumiro
