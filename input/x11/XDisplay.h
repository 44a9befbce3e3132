#pragma once

// Xlib-free face of the X connection used for text delivery, so that Qt code never sees Xlib.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sumiro::x11 {

/// One Xlib connection: active-window tracking, window facts and XTest typing.
class XDisplay {
public:
    /// Connects to the named display (empty: $DISPLAY); nullptr when it cannot be reached.
    static std::unique_ptr<XDisplay> open(const std::string& name);
    ~XDisplay();
    XDisplay(const XDisplay&) = delete;
    XDisplay& operator=(const XDisplay&) = delete;

    /// File descriptor of the connection, for watching it from an event loop.
    [[nodiscard]] int fd() const;
    /// Whether the server offers the XTEST extension.
    [[nodiscard]] bool hasXTest() const;

    /// Whether events wait in the client-side queue, read along with a reply.
    [[nodiscard]] bool hasQueuedEvents() const;
    /// Handles every queued event; returns the window that became active meanwhile, if any.
    std::vector<std::uint64_t> takeActivations();
    /// The window named by _NET_ACTIVE_WINDOW, 0 when none.
    std::uint64_t activeWindow();
    /// The window's _NET_WM_PID, 0 when it has none.
    std::int32_t windowPid(std::uint64_t window);
    /// Whether the window's type makes it an ordinary application window.
    bool isRegular(std::uint64_t window);
    /// Whether the window still exists.
    bool exists(std::uint64_t window);
    /// WM_CLASS class where it reads as UTF-8, else _NET_WM_NAME, else WM_NAME, else the class
    /// read as Latin-1; in UTF-8.
    std::optional<std::string> name(std::uint64_t window);
    /// Asks the window manager to activate the window.
    void activate(std::uint64_t window);

    /// Types the scalars with held modifiers released; false, with nothing typed, when one of
    /// them cannot be typed.
    bool typeText(std::u32string_view text);
    /// Presses and releases the key of a keysym with held modifiers released.
    bool pressKey(std::uint32_t keysym);
    /// Whether spare keycodes hold keysyms of ours that `restoreSpareKeys` would undo.
    [[nodiscard]] bool hasBorrowedKeys() const;
    /// Gives the borrowed keycodes back their original keysyms.
    void restoreSpareKeys();

private:
    struct Impl;
    explicit XDisplay(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace sumiro::x11
