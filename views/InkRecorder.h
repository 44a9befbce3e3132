#pragma once

#include <QPointF>
#include <QSizeF>
#include <utility>

#include "engine/Ink.h"

namespace sumiro {

/// A position inside a view of `size`, scaled to 0..1 on each axis (y downward) and clamped
/// to the closed unit square. Negative values, NaN (zero-sized view) become 0; values past
/// the far edge become 1, so a drag that leaves the canvas keeps drawing on its border.
InkPoint unitPoint(QPointF position, QSizeF size);

/// The ink bookkeeping of the canvas: a press starts a stroke, drags and the release extend
/// the last one. There is no "stroke in progress" flag: the last stroke is the live one.
class InkRecorder {
public:
    const Ink& strokes() const { return strokes_; }
    /// Replaces the ink.
    void setStrokes(Ink strokes) { strokes_ = std::move(strokes); }

    /// Starts a new stroke holding just `point`.
    void press(InkPoint point);
    /// Adds `point` to the last stroke; false (nothing recorded) when there is no stroke,
    /// i.e. the press happened elsewhere.
    bool drag(InkPoint point);
    /// Adds the release point to the last stroke, even when it repeats the previous point, so
    /// a plain click leaves a two-point stroke; false when there is no stroke.
    bool release(InkPoint point);
    /// Removes the last stroke; false when there was none.
    bool undoStroke();
    void clear() { strokes_.clear(); }

private:
    Ink strokes_;
};

}  // namespace sumiro
