#pragma once

// A private X server with a window manager for end-to-end tests, and the few Xlib requests the
// tests make on their own connection. Xlib-free header.

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace sumiro::testing {

/// A process started by a test; stopped by its pid when this goes away, however the test ends.
class Child {
public:
    Child() = default;
    /// Starts argv with the current environment plus the given NAME=value entries.
    Child(const std::vector<std::string>& argv, const std::vector<std::string>& env,
          int keepFd = -1);
    Child(Child&& other) noexcept : pid_(std::exchange(other.pid_, -1)) {}
    Child& operator=(Child&& other) noexcept;
    ~Child() { stop(); }

    [[nodiscard]] pid_t pid() const { return pid_; }
    /// Whether the process has ended (and is reaped).
    bool exited();
    /// Terminates the process and waits for it, killing it when it does not end in time.
    void stop();

private:
    pid_t pid_ = -1;
};

/// Xvfb plus openbox on a display number of their own.
class XSession {
public:
    /// Starts the server (without XTEST when asked) and, unless bare, the window manager;
    /// returns nullptr with a reason in `error` when either fails to come up in time.
    static std::unique_ptr<XSession> start(std::string& error, bool xtest = true,
                                           bool bare = false);
    ~XSession();

    /// ":N".
    [[nodiscard]] const std::string& display() const { return display_; }
    /// Starts a client of this display.
    Child spawn(const std::vector<std::string>& argv, std::vector<std::string> env = {}) const;

    std::uint64_t activeWindow();
    /// Whether the window manager manages the window.
    bool isManaged(std::uint64_t window);
    /// The managed window (from _NET_CLIENT_LIST) whose _NET_WM_PID is pid, 0 when none.
    std::uint64_t windowOf(pid_t pid);
    void activate(std::uint64_t window);
    /// Makes and maps a top-level window with the given EWMH type suffix ("" for none) and,
    /// when pid > 0, _NET_WM_PID.
    std::uint64_t createWindow(const std::string& type, pid_t pid);
    /// The whole core keyboard mapping, for comparing before and after.
    std::vector<unsigned long> keyboardMapping();
    /// Presses or releases the key of a keysym through XTest.
    void setKey(unsigned long keysym, bool down);
    /// Whether the key of a keysym is down.
    bool keyDown(unsigned long keysym);
    /// Locks or unlocks Caps Lock.
    void setCapsLock(bool locked);
    /// Whether Caps Lock is locked.
    bool capsLocked();
    /// Polls the server until pred holds or the timeout passes, without running anything else.
    template <typename Pred>
    bool poll(Pred pred, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!pred()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            pause();
        }
        return true;
    }

private:
    XSession() = default;
    static void pause();
    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::string display_;
    Child server_;
    Child windowManager_;
};

}  // namespace sumiro::testing
