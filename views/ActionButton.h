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

    /// Run when the button is pressed; may be empty.
    std::function<void()> actionBlock;
};

}  // namespace sumiro
