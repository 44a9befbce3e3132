#include "controller/UndoShortcut.h"

#include <QKeyEvent>

namespace sumiro {

bool isUndoShortcut(int key, Qt::KeyboardModifiers modifiers) {
    return key == Qt::Key_Z && modifiers.testFlag(Qt::ControlModifier) &&
           !modifiers.testFlag(Qt::ShiftModifier);
}

UndoShortcut::UndoShortcut(std::function<void()> undo, QObject* parent)
    : QObject(parent), undo_(std::move(undo)) {}

bool UndoShortcut::eventFilter(QObject* watched, QEvent* event) {
    // A shortcut override comes first for the same key: swallow it too, so no widget claims it.
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride) {
        return QObject::eventFilter(watched, event);
    }
    const auto* key = static_cast<QKeyEvent*>(event);
    if (!isUndoShortcut(key->key(), key->modifiers())) return false;
    // Swallowed where it first arrives (the window), so it never reaches a widget as well.
    if (event->type() == QEvent::KeyPress && undo_) undo_();
    return true;
}

}  // namespace sumiro
