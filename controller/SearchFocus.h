#pragma once

#include <QObject>
#include <functional>

class QLineEdit;

namespace sumiro {

class PadPanel;

/// Lets the panel take the keyboard, or refuse it again: in its window flags and, where those
/// alone do not do it (overlay surfaces), with the window system.
void letPanelTakeKeyboard(PadPanel& panel, bool takes);

/// Lets the panel (the field's window), which never takes the keyboard focus otherwise, take it
/// while the user types in one text field, so that the keys (and the user's input method) reach the
/// field and never the target application. A press in the field lets the panel take the focus and
/// activates it; Return or Escape, or the field losing the focus while the panel is still active
/// (the field hidden), give the focus back to the target through `giveBack`; when another window
/// was activated, the panel only refuses the focus again.
class SearchFocus : public QObject {
public:
    SearchFocus(QLineEdit* field, std::function<void()> giveBack);

    /// Whether the field is being typed in.
    bool editing() const { return editing_; }
    /// Ends the editing if it is on: the panel refuses the focus again; with `reactivate`,
    /// `giveBack` runs.
    void finish(bool reactivate);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void begin();
    // The field's window, while it is the panel.
    PadPanel* panel() const;

    QLineEdit* field_;  // the parent
    std::function<void()> giveBack_;
    bool editing_ = false;
};

}  // namespace sumiro
