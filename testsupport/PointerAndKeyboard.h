#pragma once

#include <QPoint>
#include <QString>
#include <vector>

namespace sumiro::testing {

/// A Wayland session's mouse and keyboard, driven through the compositor as a person's are (on
/// XWayland alone, xdotool proves nothing about what the compositor focuses).
class PointerAndKeyboard {
public:
    virtual ~PointerAndKeyboard() = default;

    /// Moves to a point of the screen, presses or releases the left button; each returns once
    /// the compositor has handled it.
    virtual bool move(QPoint at) = 0;
    virtual bool press() = 0;
    virtual bool release() = 0;
    /// Types `text` into whatever has the keyboard focus.
    virtual void type(const QString& text) = 0;

    bool click(QPoint at) { return move(at) && press() && release(); }
    /// A drag through `points`, the button held from the first to the last.
    bool drag(const std::vector<QPoint>& points) {
        if (points.empty() || !move(points.front()) || !press()) return false;
        for (const QPoint& at : points) {
            if (!move(at)) return false;
        }
        return release();
    }
};

}  // namespace sumiro::testing
