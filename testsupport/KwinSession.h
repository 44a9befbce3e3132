#pragma once

// A private headless KWin (Plasma's compositor) with XWayland for end-to-end tests, and a mouse
// and keyboard that KWin takes for real ones (its fake-input protocol, which it offers here to
// every client). KWin runs from a copy of its binary: the installed one carries a file
// capability that a container may refuse to execute, and the copy runs without it. It gets its
// own session bus, runtime and home directories; the test asks it through its scripting
// interface where the windows are and which has the keyboard.

#include <QDBusConnection>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QTemporaryDir>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "testsupport/PointerAndKeyboard.h"
#include "testsupport/XSession.h"

namespace sumiro::testing {

class KwinSession final : public PointerAndKeyboard {
public:
    /// A window as KWin manages it.
    struct Window {
        qint64 pid = 0;
        QString caption;
        QRect frame;  // decorations included
        bool active = false;
        bool demandsAttention = false;
    };

    /// Why KWin cannot run here (not installed), empty when it can.
    static std::string missing();
    /// Starts KWin on a 1280x800 virtual screen with XWayland, and the mouse and keyboard;
    /// nullptr with a reason in `error` when one of them does not come up in time.
    static std::unique_ptr<KwinSession> start(std::string& error);
    ~KwinSession();

    /// The compositor's socket, as an absolute path for WAYLAND_DISPLAY.
    [[nodiscard]] const QString& waylandDisplay() const { return wayland_; }
    /// XWayland's display, ":N".
    [[nodiscard]] const std::string& display() const { return display_; }
    /// The session bus KWin is on.
    [[nodiscard]] const QString& bus() const { return bus_; }
    /// The accessibility bus of the session, empty when none started.
    [[nodiscard]] const QString& accessibilityBus() const { return accessibility_; }
    /// Starts a client of this session (its displays and runtime directory set) with `env`
    /// added.
    Child spawn(const QStringList& argv, std::vector<std::pair<QString, QString>> env = {}) const;

    /// The windows KWin manages, nothing when it did not say. KWin tells them in a call to this
    /// process, which its event loop takes: ask once the application object is there.
    std::optional<std::vector<Window>> windows() const;
    /// The process id of the active window (the one with the keyboard), 0 when none is.
    qint64 focusedPid() const;
    /// Where the first window of process pid lies, if KWin manages one.
    std::optional<QRect> frameOf(qint64 pid) const;
    /// Writes a PNG of the whole screen, as KWin composes it.
    bool screenshot(const QString& path) const;

    /// The mouse's points are the screen's.
    bool move(QPoint at) override;
    bool press() override;
    bool release() override;
    /// Printable ASCII only, on a US keyboard; returns once KWin has handled every key.
    void type(const QString& text) override;

private:
    class Reports;
    KwinSession() = default;
    bool input(const QByteArray& command);
    bool key(int code, bool down);

    QTemporaryDir directory_;  // runtime directory, home, bus socket, KWin's copy, scripts
    QString wayland_;
    std::string display_;
    QString bus_;
    QString accessibility_;
    QString connection_;  // this process's connection to KWin's bus
    std::unique_ptr<Reports> reports_;
    mutable int queries_ = 0;
    // Declared so that the input device goes before KWin and KWin before its bus.
    Child busDaemon_;
    Child kwin_;
    Child input_;
};

}  // namespace sumiro::testing
