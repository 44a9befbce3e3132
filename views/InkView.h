#pragma once

#include <QWidget>
#include <functional>

#include "engine/Ink.h"
#include "views/InkRecorder.h"

namespace sumiro {

/// The square canvas on which one character is drawn with the mouse. It records the ink in
/// view-relative coordinates (0..1, y downward), draws a guide, a hint while empty and the
/// ink, and reports every finished stroke and every removal through `changed`. It never
/// takes keyboard focus, so drawing leaves the focus in the application being typed into.
class InkView : public QWidget {
public:
    /// The hint shown while the canvas is empty, "ここに1文字書く" in the pad's language.
    static QString placeholder();

    explicit InkView(QWidget* parent = nullptr);

    /// The ink, oldest stroke first.
    const Ink& strokes() const { return recorder_.strokes(); }
    /// Replaces the ink without firing `changed` (the owner already knows).
    void setStrokes(Ink strokes);

    /// Removes the last stroke, if any; always repaints and fires `changed`.
    void undoStroke();
    /// Removes all ink; always repaints and fires `changed`.
    void clear();

    /// Fired after a stroke is finished, after `undoStroke` and after `clear`.
    std::function<void()> changed;

    QSize sizeHint() const override { return {250, 250}; }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    InkPoint point(const QMouseEvent& event) const;
    void notify();

    InkRecorder recorder_;
};

}  // namespace sumiro
