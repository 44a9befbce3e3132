#include "tools/evaluate/EvaluationInks.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "engine/JoinedStrokes.h"

namespace sumiro::evaluation {

namespace {

constexpr double kCanvasCentre = 150;
constexpr double kCanvasScale = 250.0 / 109.0;  // KanjiVG's 109-unit box to 250 points

InkPoint lerp(const InkPoint& a, const InkPoint& b, double f) {
    return {a.x + (b.x - a.x) * f, a.y + (b.y - a.y) * f};
}

// The point at fraction `s` (0 to 1) of the index range of evenly spaced points.
InkPoint along(const Stroke& dense, double s) {
    const double at = std::clamp(s, 0.0, 1.0) * static_cast<double>(dense.size() - 1);
    const auto i = std::min(static_cast<std::size_t>(at), dense.size() - 2);
    return lerp(dense[i], dense[i + 1], at - static_cast<double>(i));
}

double length(const Stroke& stroke) {
    double total = 0;
    for (std::size_t i = 1; i < stroke.size(); ++i) {
        total += std::hypot(stroke[i].x - stroke[i - 1].x, stroke[i].y - stroke[i - 1].y);
    }
    return total;
}

// Points at a pen speed that is slow at both ends and fast in the middle, about one per
// `spacing` units on average.
Stroke penSampled(const Stroke& dense, double spacing, double slowEnds) {
    if (dense.size() < 2) {
        return dense;
    }
    const auto count = static_cast<std::size_t>(std::clamp(length(dense) / spacing, 2.0, 200.0));
    Stroke out;
    for (std::size_t i = 0; i <= count; ++i) {
        const double u = static_cast<double>(i) / static_cast<double>(count);
        out.push_back(along(
            dense, u - slowEnds * std::sin(2 * std::numbers::pi * u) / (2 * std::numbers::pi)));
    }
    return out;
}

// The strokes with the pairs `joins` joined by the pen's path: a gentle curve off the straight
// line, a few points as the pen hurries.
Ink withCurvedPenPaths(const Ink& strokes, const std::vector<std::size_t>& joins,
                       std::mt19937& random) {
    std::normal_distribution<double> normal(0.0, 1.0);
    Ink out;
    auto next = joins.begin();
    for (std::size_t s = 0; s < strokes.size(); ++s) {
        if (s == 0 || next == joins.end() || *next != s - 1) {
            out.push_back(strokes[s]);
            continue;
        }
        const InkPoint a = out.back().back();
        const InkPoint b = strokes[s].front();
        const double gap = std::hypot(b.x - a.x, b.y - a.y);
        const double bulge = 0.2 * gap * normal(random);
        const double g = std::max(gap, 1e-9);
        const InkPoint control{(a.x + b.x) / 2 - (b.y - a.y) / g * bulge,
                               (a.y + b.y) / 2 + (b.x - a.x) / g * bulge};
        const auto count = static_cast<std::size_t>(gap / 8.0);
        for (std::size_t i = 1; i <= count; ++i) {
            const double t = static_cast<double>(i) / static_cast<double>(count + 1);
            out.back().push_back(lerp(lerp(a, control, t), lerp(control, b, t), t));
        }
        out.back().insert(out.back().end(), strokes[s].begin(), strokes[s].end());
        ++next;
    }
    return out;
}

}  // namespace

std::vector<std::size_t> pickJoins(const Ink& model, std::size_t count, std::mt19937& random) {
    std::vector<double> weights;
    for (double gap : strokeGaps(model)) {
        weights.push_back(std::isfinite(gap) ? std::exp(-gap / kJoinGapScale) : 0.0);
    }
    std::vector<std::size_t> picked;
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    while (picked.size() < count) {
        double total = 0;
        for (double w : weights) {
            total += w;
        }
        if (!(total > 0)) {
            break;
        }
        double r = unit(random) * total;
        std::size_t pair = 0;
        while (pair + 1 < weights.size() && (weights[pair] == 0 || r >= weights[pair])) {
            r -= weights[pair];
            ++pair;
        }
        picked.push_back(pair);
        weights[pair] = 0;
    }
    std::sort(picked.begin(), picked.end());
    return picked;
}

namespace {

// The random numbers of one hand-drawn character. The normal distribution keeps a spare value
// between calls, so one drawing draws from one of each.
struct Dice {
    std::mt19937& random;
    std::uniform_real_distribution<double> uniform{0.0, 1.0};
    std::normal_distribution<double> gauss{0.0, 1.0};

    double unit() { return uniform(random); }
    double normal() { return gauss(random); }
    double between(double low, double high) { return low + (high - low) * unit(); }
    // An index below n (n > 0).
    std::size_t pick(std::size_t n) {
        return std::min(n - 1, static_cast<std::size_t>(unit() * static_cast<double>(n)));
    }
};

// Each stroke on its own: pen speed, then a small move, scale and turn about its centre.
Ink penStrokes(const Ink& paths, Dice& dice) {
    const double spacing = dice.between(1.0, 5.0);
    Ink strokes;
    for (const Stroke& path : paths) {
        Stroke stroke = penSampled(path, spacing, dice.between(0.0, 0.7));
        if (stroke.empty()) {
            continue;
        }
        InkPoint centre{0, 0};
        for (const InkPoint& p : stroke) {
            centre.x += p.x / static_cast<double>(stroke.size());
            centre.y += p.y / static_cast<double>(stroke.size());
        }
        const double scale = dice.between(0.9, 1.1);
        const double turn = 0.05 * dice.normal();
        const InkPoint shift{2.5 * dice.normal(), 2.5 * dice.normal()};
        for (InkPoint& p : stroke) {
            const double x = (p.x - centre.x) * scale;
            const double y = (p.y - centre.y) * scale;
            p = {centre.x + std::cos(turn) * x - std::sin(turn) * y + shift.x,
                 centre.y + std::sin(turn) * x + std::cos(turn) * y + shift.y};
        }
        strokes.push_back(std::move(stroke));
    }
    return strokes;
}

// The whole character: a smooth warp, an affine distortion, smoothed jitter, the canvas.
void distortWhole(Ink& ink, Dice& dice) {
    const double warp = dice.between(0.0, 3.0);
    const double frequency = dice.between(0.5, 1.0);
    const double phaseX = dice.between(0.0, 2 * std::numbers::pi);
    const double phaseY = dice.between(0.0, 2 * std::numbers::pi);
    const double rotation = dice.between(-0.1, 0.1);
    const double aspect = dice.between(0.85, 1.15);
    const double shear = dice.between(-0.12, 0.12);
    for (Stroke& stroke : ink) {
        std::vector<InkPoint> noise(stroke.size());
        for (InkPoint& n : noise) {
            n = {0.5 * dice.normal(), 0.5 * dice.normal()};
        }
        for (std::size_t i = 0; i < stroke.size(); ++i) {
            const InkPoint& before = noise[i > 0 ? i - 1 : i];
            const InkPoint& after = noise[i + 1 < noise.size() ? i + 1 : i];
            const InkPoint smooth{(before.x + noise[i].x + after.x) / 3,
                                  (before.y + noise[i].y + after.y) / 3};
            InkPoint& p = stroke[i];
            const double wx =
                p.x + warp * std::sin(2 * std::numbers::pi * frequency * p.y / 109 + phaseX);
            const double wy =
                p.y + warp * std::sin(2 * std::numbers::pi * frequency * p.x / 109 + phaseY);
            const double x = (wx - 54.5) * aspect + shear * (wy - 54.5);
            const double y = (wy - 54.5) / aspect;
            p = {kCanvasCentre +
                     kCanvasScale * (std::cos(rotation) * x - std::sin(rotation) * y + smooth.x),
                 kCanvasCentre +
                     kCanvasScale * (std::sin(rotation) * x + std::cos(rotation) * y + smooth.y)};
        }
    }
}

// A polyline through few points as a pen draws it: corners rounded (two rounds of corner
// cutting), then points every half unit along it.
Stroke penPath(const Stroke& polyline) {
    Stroke path = polyline;
    for (int round = 0; round < 2 && path.size() > 2; ++round) {
        Stroke cut{path.front()};
        for (std::size_t i = 0; i + 1 < path.size(); ++i) {
            cut.push_back(lerp(path[i], path[i + 1], 0.25));
            cut.push_back(lerp(path[i], path[i + 1], 0.75));
        }
        cut.push_back(path.back());
        path = std::move(cut);
    }
    const double total = length(path);
    if (path.size() < 2 || !(total > 0)) {
        return path;
    }
    const auto count = static_cast<std::size_t>(std::clamp(total / 0.5, 8.0, 400.0));
    Stroke out{path.front()};
    double walked = 0;
    std::size_t segment = 1;
    double segmentStart = 0;
    for (std::size_t k = 1; k < count; ++k) {
        walked = total * static_cast<double>(k) / static_cast<double>(count);
        while (segment + 1 < path.size()) {
            const double next = segmentStart + std::hypot(path[segment].x - path[segment - 1].x,
                                                          path[segment].y - path[segment - 1].y);
            if (next >= walked) {
                break;
            }
            segmentStart = next;
            ++segment;
        }
        const double piece = std::hypot(path[segment].x - path[segment - 1].x,
                                        path[segment].y - path[segment - 1].y);
        out.push_back(
            lerp(path[segment - 1], path[segment],
                 piece > 0 ? std::clamp((walked - segmentStart) / piece, 0.0, 1.0) : 0.0));
    }
    out.push_back(path.back());
    return out;
}

// Splits the stroke at its sharpest bend (away from its ends), or at its middle when it has
// none: a writer who lifts the pen at a corner.
void splitStroke(Ink& strokes, std::size_t s) {
    const Stroke& stroke = strokes[s];
    const std::size_t n = stroke.size();
    const std::size_t reach = std::max<std::size_t>(2, n / 12);
    std::size_t at = n / 2;
    double sharpest = 0.8;  // radians: a gentle curve is not a corner
    for (std::size_t i = std::max(reach, n / 6); i + std::max(reach, n / 6) < n; ++i) {
        const InkPoint& a = stroke[i - reach];
        const InkPoint& b = stroke[i];
        const InkPoint& c = stroke[i + reach];
        const double turn = std::abs(
            std::remainder(std::atan2(c.y - b.y, c.x - b.x) - std::atan2(b.y - a.y, b.x - a.x),
                           2 * std::numbers::pi));
        if (turn > sharpest) {
            sharpest = turn;
            at = i;
        }
    }
    if (n < 4) {
        return;
    }
    Stroke second(stroke.begin() + static_cast<std::ptrdiff_t>(at), stroke.end());
    strokes[s].resize(at + 1);
    strokes.insert(strokes.begin() + static_cast<std::ptrdiff_t>(s + 1), std::move(second));
}

// Parts of a character drawn out of proportion: on one side of a line across it (left and
// right, or top and bottom), everything stretched or squeezed towards that line.
void unevenProportions(Ink& strokes, Dice& dice) {
    const bool across = dice.unit() < 0.5;
    const double line = 54.5 + 109 * (dice.unit() - 0.5) * 0.3;
    const double low = dice.between(0.75, 1.25);
    const double high = dice.between(0.75, 1.25);
    for (Stroke& stroke : strokes) {
        for (InkPoint& p : stroke) {
            double& v = across ? p.x : p.y;
            v = line + (v - line) * (v < line ? low : high);
        }
    }
}

}  // namespace

Ink testDrawing(const Ink& paths, const std::vector<std::size_t>& joins, std::mt19937& random) {
    Dice dice{random};
    Ink ink = withCurvedPenPaths(penStrokes(paths, dice), joins, random);
    distortWhole(ink, dice);
    if (joins.empty() && ink.size() > 1) {
        if (dice.unit() < 0.3) {
            const auto first = static_cast<std::size_t>(dice.unit() * (ink.size() - 1));
            std::swap(ink[first], ink[first + 1]);
        }
        if (dice.unit() < 0.2) {
            Stroke& backwards =
                ink[static_cast<std::size_t>(dice.unit() * ink.size()) % ink.size()];
            std::reverse(backwards.begin(), backwards.end());
        }
    }
    return ink;
}

Ink writerDrawing(const Ink& medians, const std::vector<std::size_t>& joins, WriterFault fault,
                  std::mt19937& random) {
    Dice dice{random};
    Ink paths;
    for (const Stroke& median : medians) {
        paths.push_back(penPath(median));
    }
    if (fault == WriterFault::strokeFewer && paths.size() > 1) {
        paths.erase(paths.begin() + static_cast<std::ptrdiff_t>(dice.pick(paths.size())));
    } else if (fault == WriterFault::strokeMore && !paths.empty()) {
        splitStroke(paths, dice.pick(paths.size()));
    }
    if (dice.unit() < 0.6) {
        unevenProportions(paths, dice);
    }
    Ink ink = withCurvedPenPaths(penStrokes(paths, dice), joins, random);
    distortWhole(ink, dice);
    if (!joins.empty() || ink.size() < 2) {
        return ink;
    }
    // The order and direction of a hand that learnt another stroke order, or hurries.
    if (dice.unit() < 0.3) {
        const std::size_t first = dice.pick(ink.size() - 1);
        std::swap(ink[first], ink[first + 1]);
    }
    if (dice.unit() < 0.15) {
        std::swap(ink[dice.pick(ink.size())], ink[dice.pick(ink.size())]);
    }
    for (double chance : {0.25, 0.08}) {
        if (dice.unit() < chance) {
            Stroke& backwards = ink[dice.pick(ink.size())];
            std::reverse(backwards.begin(), backwards.end());
        }
    }
    return ink;
}

}  // namespace sumiro::evaluation
