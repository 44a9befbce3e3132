#pragma once

#include <QWidget>

namespace sumiro {

/// The pad's floating window: a tool window that stays above others and is shown without taking
/// the focus from the application being typed into. (The controller asks the desktop to show it
/// on every desktop.)
class PadPanel : public QWidget {
public:
    explicit PadPanel(QWidget* parent = nullptr);
    ~PadPanel() override;

    /// Lets the panel take keyboard focus (e.g. while a search field is edited) or gives it up
    /// again, in its window flags. Changes the native window in place: re-setting widget flags
    /// would unmap it. (Where the flags alone do not do it, the controller tells the window
    /// system.)
    void setAcceptsKeyboard(bool accepts);
    /// Whether the panel currently may take keyboard focus.
    bool acceptsKeyboard() const;
};

}  // namespace sumiro
