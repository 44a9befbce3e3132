#pragma once

#include <QWidget>

namespace sumiro {

/// The pad's floating window: a tool window that stays above others, is shown on every
/// desktop and is shown without taking the focus from the application being typed into.
class PadPanel : public QWidget {
public:
    explicit PadPanel(QWidget* parent = nullptr);
    ~PadPanel() override;

    /// Lets the panel take keyboard focus (e.g. while a search field is edited) or gives it up
    /// again. Changes the native window in place: re-setting widget flags would unmap it.
    void setAcceptsKeyboard(bool accepts);
    /// Whether the panel currently may take keyboard focus.
    bool acceptsKeyboard() const;

protected:
    void showEvent(QShowEvent* event) override;
};

}  // namespace sumiro
