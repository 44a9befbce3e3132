#pragma once

// A private X server with a window manager for end-to-end tests, and the few Xlib requests the
// tests make on their own connection. Xlib-free header.

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QPoint>
#include <QProcess>
#include <QRect>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace sumiro::testing {

/// Terminates a process by its pid and waits for it, killing it when it does not end in time.
struct Stop {
    void operator()(QProcess* process) const;
};
/// A process started by a test, stopped when this goes away however the test ends.
using Child = std::unique_ptr<QProcess, Stop>;

/// A user and group a child runs as.
struct Account {
    unsigned user = 0;
    unsigned group = 0;
};
/// HOME and the XDG directories of configuration, data and cache under `home`: a desktop
/// session's own, so that it reads and leaves nothing in the user's.
std::vector<std::pair<QString, QString>> privateHome(const QString& home);
/// Starts argv with the given variables added to the environment, as `account` when given.
/// The child dies with the test.
Child launch(const QStringList& argv, const std::vector<std::pair<QString, QString>>& env,
             QProcess::ProcessChannelMode channels, std::optional<Account> account = {});

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
    /// Starts a client of this display with the given variables added to its environment.
    Child spawn(const QStringList& argv, std::vector<std::pair<QString, QString>> env = {}) const;
    /// What `run` adds to a client's start and keeps of its end.
    struct Run {
        std::vector<std::pair<QString, QString>> env;  ///< variables added
        QStringList unset;                             ///< variables removed
        QByteArray* standardError = nullptr;           ///< filled when given
        std::chrono::milliseconds timeout = std::chrono::seconds(15);
    };
    /// Runs a client of this display to its end while the caller's events keep flowing (so a
    /// pad in this process answers it); its exit status, or -1 when it crashed or took too long.
    int run(const QStringList& argv, const Run& how) const;
    /// Runs a client to its end as `run` does; true when it exits 0.
    bool run(const QStringList& argv) const { return run(argv, Run{}) == 0; }
    /// xdotool with the given arguments; true when it succeeds.
    bool xdotool(const QStringList& arguments) const;
    /// A left click at a point of the screen, through xdotool.
    bool click(QPoint global) const;

    std::uint64_t activeWindow();
    /// The window that has the X server's keyboard focus, where xdotool's keys go (0 when none).
    std::uint64_t keyboardFocus();
    /// The managed window (from _NET_CLIENT_LIST) whose _NET_WM_PID is pid, 0 when none.
    std::uint64_t windowOf(qint64 pid);
    void activate(std::uint64_t window);
    /// Asks the window manager to mark the window as demanding attention, as KWin marks the
    /// windows it maps without focusing them.
    void markDemandsAttention(std::uint64_t window);
    /// Whether the window's _NET_WM_STATE holds the demands-attention mark.
    bool demandsAttention(std::uint64_t window);
    /// The window's client area on the screen; empty when it is gone.
    QRect frame(std::uint64_t window);
    /// Whether the window is mapped and all its ancestors are.
    bool viewable(std::uint64_t window);
    /// Makes and maps a top-level window with the given EWMH type suffix ("" for none) and,
    /// when pid > 0, _NET_WM_PID.
    std::uint64_t createWindow(const std::string& type, qint64 pid);
    /// Sets the window's WM_CLASS (instance and class both `className`, its bytes as they are)
    /// and, unless empty, its _NET_WM_NAME.
    void setNames(std::uint64_t window, const std::string& className, const std::string& title);
    /// Whether another client holds a passive grab of the key of `keysym` with exactly
    /// `modifiers` on the root window. Holds the server while it asks, so that it never refuses
    /// the grab of a client that takes the key at the same time.
    bool keyGrabbed(unsigned long keysym, unsigned modifiers);
    /// The whole core keyboard mapping, for comparing before and after.
    std::vector<unsigned long> keyboardMapping();
    /// Presses or releases the key of a keysym through XTest.
    void setKey(unsigned long keysym, bool down);
    /// The core keyboard's effective modifier mask (held, latched and locked).
    unsigned modifiers();
    /// Polls the server until pred holds or the timeout passes, without running anything else.
    template <typename Pred>
    bool poll(Pred pred, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!pred()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }

private:
    XSession() = default;
    // Declared so that the connection closes before the window manager and the server stop.
    Child server_;
    Child windowManager_;
    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::string display_;
};

}  // namespace sumiro::testing
