#pragma once

// Mouse events delivered straight to a widget, so the tests do not depend on a window system
// placing the pointer.

#include <QApplication>
#include <QMouseEvent>
#include <QWidget>

namespace sumiro::test {

inline void sendMouse(QWidget* widget, QEvent::Type type, QPointF position,
                      Qt::MouseButton button = Qt::LeftButton,
                      Qt::MouseButtons buttons = Qt::LeftButton) {
    QMouseEvent event(type, position, widget->mapToGlobal(position), button, buttons,
                      Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

inline void press(QWidget* w, QPointF p) { sendMouse(w, QEvent::MouseButtonPress, p); }
inline void drag(QWidget* w, QPointF p) { sendMouse(w, QEvent::MouseMove, p, Qt::NoButton); }
inline void release(QWidget* w, QPointF p) {
    sendMouse(w, QEvent::MouseButtonRelease, p, Qt::LeftButton, Qt::NoButton);
}
inline void hover(QWidget* w, QPointF p) {
    sendMouse(w, QEvent::MouseMove, p, Qt::NoButton, Qt::NoButton);
}

}  // namespace sumiro::test
