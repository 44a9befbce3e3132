#include "views/InkRecorder.h"

#include <algorithm>

namespace sumiro {

namespace {

// `value` as a fraction of `extent`, clamped to [0, 1].
double unit(double value, double extent) {
    // A view without size: a point past its origin is at the far edge, as an infinite
    // fraction would be, without dividing by zero.
    if (extent == 0.0) return value > 0.0 ? 1.0 : 0.0;
    const double fraction = value / extent;
    if (!(fraction >= 0.0)) return 0.0;  // negative or NaN
    return std::min(fraction, 1.0);
}

}  // namespace

InkPoint unitPoint(QPointF position, QSizeF size) {
    return {unit(position.x(), size.width()), unit(position.y(), size.height())};
}

void InkRecorder::press(InkPoint point) { strokes_.push_back(Stroke{point}); }

bool InkRecorder::drag(InkPoint point) {
    if (strokes_.empty()) return false;
    strokes_.back().push_back(point);
    return true;
}

bool InkRecorder::release(InkPoint point) { return drag(point); }

bool InkRecorder::undoStroke() {
    if (strokes_.empty()) return false;
    strokes_.pop_back();
    return true;
}

}  // namespace sumiro
