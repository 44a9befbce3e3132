#pragma once

// A private X server with a window manager for end-to-end tests, and the few Xlib requests the
// tests make on their own connection. Xlib-free header.

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QPoint>
#include <QProcess>
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
    /// Runs a client of this display to its end while the caller's events keep flowing (so a
    /// pad in this process answers it); true when it exits 0 within the timeout.
    bool run(const QStringList& argv,
             std::chrono::milliseconds timeout = std::chrono::seconds(15)) const {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DISPLAY"), QString::fromStdString(display_));
        process.setProcessEnvironment(environment);
        process.start(argv.front(), argv.mid(1));
        if (!process.waitForStarted()) return false;
        const QDeadlineTimer deadline(timeout);
        while (process.state() != QProcess::NotRunning) {
            if (deadline.hasExpired()) {
                process.kill();
                process.waitForFinished();
                return false;
            }
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    }
    /// A left click at a point of the screen, through xdotool.
    bool click(QPoint global) const {
        return run({QStringLiteral("xdotool"), QStringLiteral("mousemove"),
                    QString::number(global.x()), QString::number(global.y()),
                    QStringLiteral("click"), QStringLiteral("1")});
    }

    std::uint64_t activeWindow();
    /// The managed window (from _NET_CLIENT_LIST) whose _NET_WM_PID is pid, 0 when none.
    std::uint64_t windowOf(qint64 pid);
    void activate(std::uint64_t window);
    /// Makes and maps a top-level window with the given EWMH type suffix ("" for none) and,
    /// when pid > 0, _NET_WM_PID.
    std::uint64_t createWindow(const std::string& type, qint64 pid);
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
