#pragma once

#include <QPushButton>
#include <functional>

namespace sumiro {

/// A push button that runs a callback when clicked. It never takes keyboard focus, so
/// clicking it leaves the focus in the application being typed into.
class ActionButton : public QPushButton {
public:
    explicit ActionButton(QWidget* parent = nullptr);
    /// A button titled `title` running `action` on every click. The title is shown as it is
    /// written ("&" is a character, not a mnemonic mark) and is the button's accessible name.
    ActionButton(const QString& title, std::function<void()> action, QWidget* parent = nullptr);

    /// Runs `actionBlock` if set; sent on every click.
    void performAction();

    /// As narrow as the title and the style's margins: a row short of room takes it from the
    /// buttons with some to spare (the style prefers 80 pixels) instead of cutting a longer
    /// title, as an English one can be.
    QSize minimumSizeHint() const override;

    /// Run when the button is pressed; may be empty.
    std::function<void()> actionBlock;
};

}  // namespace sumiro
