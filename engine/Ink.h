#pragma once

#include <vector>

namespace sumiro {

/// A point of ink. No unit is attached; y grows downward.
struct InkPoint {
    double x = 0.0;
    double y = 0.0;
    friend bool operator==(const InkPoint&, const InkPoint&) = default;
};

/// A stroke: points in drawing order.
using Stroke = std::vector<InkPoint>;
/// An ink: strokes in drawing order.
using Ink = std::vector<Stroke>;

}  // namespace sumiro
