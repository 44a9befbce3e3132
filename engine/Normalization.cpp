#include "engine/Normalization.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "engine/Contract.h"

namespace sumiro {

namespace {

constexpr double kDotLength = 0.001;
constexpr double kSegmentFloor = 1e-6;
constexpr double kExtentFloor = 1e-6;
constexpr double kThinAxisRatio = 0.35;

}  // namespace

namespace {

// Writes `count` resampled points to `out`; `d` is scratch for the cumulative lengths, reused
// across strokes so that normalizing an ink allocates only its result.
void resampleInto(const Stroke& stroke, std::size_t count, InkPoint* out, std::vector<double>& d) {
    // One point of a longer stroke would divide by zero below; its start is the natural answer.
    if (stroke.size() == 1 || count == 1) {
        std::fill_n(out, count, stroke.front());
        return;
    }
    const std::size_t n = stroke.size();
    d.resize(n);
    d[0] = 0.0;
    for (std::size_t i = 1; i < n; ++i) {
        d[i] = d[i - 1] + std::hypot(stroke[i].x - stroke[i - 1].x, stroke[i].y - stroke[i - 1].y);
    }
    const double length = d[n - 1];
    // A NaN length fails this test too, so such a stroke is treated as a dot.
    if (!(length > kDotLength)) {
        std::fill_n(out, count, stroke.front());
        return;
    }
    std::size_t j = 1;
    for (std::size_t i = 0; i < count; ++i) {
        // Multiply first, then divide: the last target is exactly the total length.
        const double t = length * static_cast<double>(i) / static_cast<double>(count - 1);
        while (j < n - 1 && d[j] < t) {
            ++j;
        }
        const double f = (t - d[j - 1]) / std::max(d[j] - d[j - 1], kSegmentFloor);
        const InkPoint& p = stroke[j - 1];
        const InkPoint& q = stroke[j];
        out[i] = {p.x + (q.x - p.x) * f, p.y + (q.y - p.y) * f};
    }
}

}  // namespace

Stroke resample(const Stroke& stroke, std::ptrdiff_t count) {
    SUMIRO_EXPECTS(count >= 0, "resample: count must not be negative");
    if (stroke.empty() || count == 0) {
        return {};
    }
    Stroke out(static_cast<std::size_t>(count));
    std::vector<double> d;
    resampleInto(stroke, out.size(), out.data(), d);
    return out;
}

namespace {

// Inks are normalized as drawn while their coordinates stay within these bounds; beyond them
// lengths could overflow, or the fixed dot and extent thresholds would swallow the drawing.
constexpr double kLargestPlain = 0x1p500;
constexpr double kSmallestPlainExtent = 0x1p-8;

struct Bounds {
    double minX = std::numeric_limits<double>::infinity();
    double minY = minX;
    double maxX = -minX;
    double maxY = -minX;
    bool any = false;
    bool finite = true;
};

Bounds boundsOf(const Ink& ink) {
    Bounds b;
    for (const Stroke& stroke : ink) {
        for (const InkPoint& p : stroke) {
            b.any = true;
            b.finite = b.finite && std::isfinite(p.x) && std::isfinite(p.y);
            b.minX = std::min(b.minX, p.x);
            b.maxX = std::max(b.maxX, p.x);
            b.minY = std::min(b.minY, p.y);
            b.maxY = std::max(b.maxY, p.y);
        }
    }
    return b;
}

// The ink moved to the origin and scaled by a power of two (exactly) so that its larger half
// extent lies in [32, 64), as large as a drawing in pixels. Halving before subtracting keeps
// every step finite for any finite coordinates.
Ink rescaled(const Ink& ink, const Bounds& b) {
    const double cx = b.minX * 0.5 + b.maxX * 0.5;
    const double cy = b.minY * 0.5 + b.maxY * 0.5;
    const double half = std::max(b.maxX * 0.5 - b.minX * 0.5, b.maxY * 0.5 - b.minY * 0.5);
    int exponent = 0;
    std::frexp(half, &exponent);         // half in [2^(exponent-1), 2^exponent)
    const int shift = 6 - exponent + 1;  // the halving above is undone here
    Ink out = ink;
    for (Stroke& stroke : out) {
        for (InkPoint& p : stroke) {
            p = {std::ldexp(p.x * 0.5 - cx * 0.5, shift), std::ldexp(p.y * 0.5 - cy * 0.5, shift)};
        }
    }
    return out;
}

NormalizingBox boxOf(const Bounds& b) {
    const double w = b.maxX - b.minX;
    const double h = b.maxY - b.minY;
    const double m = std::max(std::max(w, h), kExtentFloor);
    const double s = m * kThinAxisRatio;
    NormalizingBox box;
    box.sx = std::max(w, s);
    box.sy = std::max(h, s);
    // Halving before adding equals halving the sum (both are exact scalings by two) but cannot
    // overflow for coordinates near the largest double.
    box.cx = b.minX * 0.5 + b.maxX * 0.5;
    box.cy = b.minY * 0.5 + b.maxY * 0.5;
    return box;
}

void normalizeInto(const Stroke& stroke, const NormalizingBox& box, Stroke& points,
                   std::vector<double>& scratch) {
    points.resize(static_cast<std::size_t>(kNormalizedPoints));
    resampleInto(stroke, points.size(), points.data(), scratch);
    for (InkPoint& p : points) {
        p = {(p.x - box.cx) / box.sx, (p.y - box.cy) / box.sy};
    }
}

}  // namespace

namespace {

// Whether `normalized` takes an ink of these bounds as drawn, without rescaling it first.
bool plain(const Bounds& b) {
    const double largest = std::max({-b.minX, b.maxX, -b.minY, b.maxY});
    const double extent = std::max(b.maxX - b.minX, b.maxY - b.minY);
    return !(largest > kLargestPlain || (extent > 0 && extent < kSmallestPlainExtent));
}

}  // namespace

bool normalizingBox(const Ink& ink, NormalizingBox& box) {
    const Bounds b = boundsOf(ink);
    if (!b.any || !b.finite || !plain(b)) {
        return false;
    }
    box = boxOf(b);
    return true;
}

Stroke normalizedStroke(const Stroke& stroke, const NormalizingBox& box) {
    Stroke points;
    std::vector<double> scratch;
    normalizeInto(stroke, box, points, scratch);
    return points;
}

void normalizeStrokeInto(const Stroke& stroke, const NormalizingBox& box, Stroke& out,
                         std::vector<double>& lengths) {
    normalizeInto(stroke, box, out, lengths);
}

InkExtent inkExtent(const Ink& ink) {
    const Bounds b = boundsOf(ink);
    return {b.maxX - b.minX, b.maxY - b.minY};
}

Ink normalized(const Ink& ink) {
    const Bounds b = boundsOf(ink);
    // A point that is not a number, or infinitely far, leaves the ink without a shape.
    if (!b.any || !b.finite) {
        return {};
    }
    if (!plain(b)) {
        return normalized(rescaled(ink, b));
    }
    const NormalizingBox box = boxOf(b);
    Ink out;
    out.reserve(ink.size());
    std::vector<double> scratch;
    for (const Stroke& stroke : ink) {
        if (stroke.empty()) {
            continue;
        }
        Stroke points;
        normalizeInto(stroke, box, points, scratch);
        out.push_back(std::move(points));
    }
    return out;
}

}  // namespace sumiro
