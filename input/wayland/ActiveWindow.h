#pragma once

// The window a Wayland compositor holds active, as wlroots compositors (sway and its kin) tell
// taskbars through the foreign-toplevel protocol. Input methods often cannot say which program
// their focused field belongs to (a client speaking the compositor's text-input protocol, a Qt
// client of IBus); the active window can, as the field with the keyboard is in it.

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace sumiro::wayland {

class ActiveWindow {
public:
    /// Follows the compositor named by WAYLAND_DISPLAY, on a connection of its own read from
    /// Qt's event loop; nothing when there is none or it does not list its windows. `changed`
    /// is called whenever another window becomes active or the active one is renamed.
    static std::unique_ptr<ActiveWindow> open(std::function<void()> changed);
    ~ActiveWindow();

    /// The active window's application id, or its title when it gives none; nothing when no
    /// window is active (or the compositor has gone).
    std::optional<std::string> name() const;

private:
    struct Impl;
    explicit ActiveWindow(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace sumiro::wayland
