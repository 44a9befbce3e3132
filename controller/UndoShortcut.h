#pragma once

#include <QObject>
#include <functional>

namespace sumiro {

/// Whether a key press is the undo shortcut: Ctrl+Z without Shift (Ctrl+Shift+Z is redo).
bool isUndoShortcut(int key, Qt::KeyboardModifiers modifiers);

/// An application-wide filter that runs `undo` on Ctrl+Z, in every window and mode, and
/// swallows the key; every other event passes.
class UndoShortcut : public QObject {
public:
    UndoShortcut(std::function<void()> undo, QObject* parent = nullptr);

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<void()> undo_;
};

}  // namespace sumiro
