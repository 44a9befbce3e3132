#pragma once

#include <string_view>
#include <vector>

namespace sumiro::databuild {

/// A point in SVG user units; y grows downward.
struct PathPoint {
    double x = 0.0;
    double y = 0.0;
    friend bool operator==(const PathPoint&, const PathPoint&) = default;
};

/// Largest coordinate a path may reach, in either direction; KanjiVG draws in a 109-unit box.
inline constexpr double kMaxCoordinate = 1e6;

/// The geometry of one SVG path `d` attribute, evaluated exactly.
///
/// Every drawing command (M, L, H, V, C, S, Q, T, Z, absolute and relative) becomes a cubic
/// Bézier segment: lines and quadratics are raised to cubics without changing their shape, so one
/// evaluator serves all of them.
class SvgPath {
public:
    /// One cubic Bézier segment.
    struct Segment {
        PathPoint p0, p1, p2, p3;
        /// The point at parameter t in [0, 1].
        PathPoint at(double t) const;
    };

    /// Parses path data; throws std::invalid_argument naming the offset of the first bad token
    /// ("coordinate out of range" for a point beyond kMaxCoordinate).
    static SvgPath parse(std::string_view data);

    const std::vector<Segment>& segments() const { return segments_; }
    /// Where the path starts (its first move-to); the origin for empty data.
    PathPoint start() const { return start_; }
    /// Total length of the drawn segments (jumps between subpaths do not count).
    double length() const;

    /// Points evenly spaced by length along the path: `count` points, the first and last exact.
    /// A path without segments yields `count` copies of its start.
    std::vector<PathPoint> sampleEvenly(int count) const;

    /// Samples about one point every `spacing` units, between `minPoints` and `maxPoints`.
    std::vector<PathPoint> sample(double spacing, int minPoints, int maxPoints) const;

private:
    /// Cumulative length at the end of every sub-step of every segment.
    std::vector<double> arcLengths() const;
    std::vector<PathPoint> sampleAlong(const std::vector<double>& cumulative, int count) const;

    std::vector<Segment> segments_;
    PathPoint start_;
};

}  // namespace sumiro::databuild
