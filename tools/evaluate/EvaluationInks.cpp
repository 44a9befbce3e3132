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

Ink tuningDrawing(const Ink& model, const std::vector<std::size_t>& joins, std::mt19937& random) {
    std::uniform_real_distribution<double> angle(-0.12, 0.12);
    std::uniform_real_distribution<double> shear(-0.15, 0.15);
    std::normal_distribution<double> jitter(0.0, 1.5);
    const double a = angle(random);
    const double s = shear(random);
    const double c = std::cos(a);
    const double sn = std::sin(a);
    // Straight pen paths: the joined points simply follow each other.
    const Ink strokes = joinStrokes(model, joins);
    Ink ink;
    for (const Stroke& stroke : strokes) {
        Stroke drawn;
        for (std::size_t i = 0; i < stroke.size(); ++i) {
            const int samples = i + 1 < stroke.size() ? 3 : 1;
            for (int k = 0; k < samples; ++k) {
                const InkPoint p =
                    lerp(stroke[i], stroke[std::min(i + 1, stroke.size() - 1)], k / 3.0);
                const double x = p.x / 109 - 0.5;
                const double y = p.y / 109 - 0.5;
                drawn.push_back({kCanvasCentre + 250 * (c * x - sn * y + s * y) + jitter(random),
                                 kCanvasCentre + 250 * (sn * x + c * y) + jitter(random)});
            }
        }
        ink.push_back(std::move(drawn));
    }
    if (joins.empty() && !ink.empty()) {
        std::uniform_int_distribution<std::size_t> pick(0, ink.size() - 1);
        Stroke& backwards = ink[pick(random)];
        std::reverse(backwards.begin(), backwards.end());
        const std::size_t first = pick(random);
        std::swap(ink[first], ink[pick(random)]);
    }
    return ink;
}

Ink testDrawing(const Ink& paths, const std::vector<std::size_t>& joins, std::mt19937& random) {
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::normal_distribution<double> normal(0.0, 1.0);
    const auto between = [&](double low, double high) { return low + (high - low) * unit(random); };

    // Each stroke on its own: pen speed, then a small move, scale and turn about its centre.
    const double spacing = between(1.0, 5.0);
    Ink strokes;
    for (const Stroke& path : paths) {
        Stroke stroke = penSampled(path, spacing, between(0.0, 0.7));
        if (stroke.empty()) {
            continue;
        }
        InkPoint centre{0, 0};
        for (const InkPoint& p : stroke) {
            centre.x += p.x / static_cast<double>(stroke.size());
            centre.y += p.y / static_cast<double>(stroke.size());
        }
        const double scale = between(0.9, 1.1);
        const double turn = 0.05 * normal(random);
        const InkPoint shift{2.5 * normal(random), 2.5 * normal(random)};
        for (InkPoint& p : stroke) {
            const double x = (p.x - centre.x) * scale;
            const double y = (p.y - centre.y) * scale;
            p = {centre.x + std::cos(turn) * x - std::sin(turn) * y + shift.x,
                 centre.y + std::sin(turn) * x + std::cos(turn) * y + shift.y};
        }
        strokes.push_back(std::move(stroke));
    }

    Ink ink = withCurvedPenPaths(strokes, joins, random);

    // The whole character: a smooth warp, an affine distortion, smoothed jitter, the canvas.
    const double warp = between(0.0, 3.0);
    const double frequency = between(0.5, 1.0);
    const double phaseX = between(0.0, 2 * std::numbers::pi);
    const double phaseY = between(0.0, 2 * std::numbers::pi);
    const double rotation = between(-0.1, 0.1);
    const double aspect = between(0.85, 1.15);
    const double shear = between(-0.12, 0.12);
    for (Stroke& stroke : ink) {
        std::vector<InkPoint> noise(stroke.size());
        for (InkPoint& n : noise) {
            n = {0.5 * normal(random), 0.5 * normal(random)};
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
    if (joins.empty() && ink.size() > 1) {
        if (unit(random) < 0.3) {
            const auto first = static_cast<std::size_t>(unit(random) * (ink.size() - 1));
            std::swap(ink[first], ink[first + 1]);
        }
        if (unit(random) < 0.2) {
            Stroke& backwards =
                ink[static_cast<std::size_t>(unit(random) * ink.size()) % ink.size()];
            std::reverse(backwards.begin(), backwards.end());
        }
    }
    return ink;
}

}  // namespace sumiro::evaluation
