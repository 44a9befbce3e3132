#pragma once

// A private headless gnome-shell (mutter) on Wayland for end-to-end tests, with XWayland on
// demand, IBus as GNOME starts it and the accessibility bus as its session bus starts it, and
// a mouse the compositor takes for a real one (mutter's remote-desktop interface). gnome-shell
// needs a system bus (logind is asked, and its absence is survived): it gets an empty one of its
// own, as it gets its own session bus, runtime and home directories. A small shell extension turns
// on the shell's unsafe mode so that the test can ask it where the windows are and which has the
// keyboard.

#include <QDBusConnection>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QTemporaryDir>
#include <QVariant>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "testsupport/PointerAndKeyboard.h"
#include "testsupport/XSession.h"

namespace sumiro::testing {

class GnomeSession final : public PointerAndKeyboard {
public:
    /// Why gnome-shell cannot run here (not installed), empty when it can.
    static std::string missing();
    /// Starts gnome-shell on a 1280x800 virtual monitor, XWayland, IBus, the accessibility bus
    /// and the mouse; nullptr with a reason in `error` when one of them does not come up in time.
    static std::unique_ptr<GnomeSession> start(std::string& error);
    ~GnomeSession();

    /// The compositor's socket, as an absolute path for WAYLAND_DISPLAY.
    [[nodiscard]] const QString& waylandDisplay() const { return wayland_; }
    /// XWayland's display, ":N", and the file that lets clients in.
    [[nodiscard]] const std::string& display() const { return display_; }
    [[nodiscard]] const QString& xauthority() const { return xauthority_; }
    /// The session bus gnome-shell and IBus are on.
    [[nodiscard]] const QString& bus() const { return bus_; }
    /// The address of the ibus-daemon gnome-shell started.
    [[nodiscard]] const std::string& ibusAddress() const { return ibus_; }
    /// The address of the session's accessibility bus (AT-SPI), as its session bus gives it.
    [[nodiscard]] const QString& accessibilityBus() const { return accessibility_; }
    /// Starts a client of this session (its displays, buses and directories set) with `env`
    /// added.
    Child spawn(const QStringList& argv, std::vector<std::pair<QString, QString>> env = {}) const;

    /// The process id of the window that has the keyboard focus, 0 when none has.
    qint64 focusedPid() const;
    /// Where the first window of process pid lies, if the shell shows one.
    std::optional<QRect> frameOf(qint64 pid) const;
    /// Moves that window's frame to topLeft, as a drag of its title bar would; false when the
    /// shell shows none or it does not get there.
    bool place(qint64 pid, QPoint topLeft) const;
    /// The shown windows from the bottom of the stack to its top, one a line: process id,
    /// frame, whether it has the keyboard; for failure messages.
    QString describeWindows() const;

    /// The mouse's points are the monitor's.
    bool move(QPoint at) override;
    bool press() override;
    bool release() override;
    /// Latin-1 only, on the session's keyboard.
    void type(const QString& text) override;

private:
    GnomeSession() = default;
    /// Runs `script` in the shell; its result as JSON text, nothing when it failed.
    std::optional<QString> evaluate(const QString& script) const;
    /// Calls the remote-desktop session; false when it refused.
    bool notify(const QString& method, const QVariantList& arguments);
    bool button(bool pressed);

    QTemporaryDir directory_;  // runtime directory, home, buses' sockets, the extension
    QString wayland_;
    std::string display_;
    QString xauthority_;
    QString bus_;
    std::string ibus_;
    QString accessibility_;
    QString connection_;  // this process's connection to the session bus
    QString remote_;      // the remote-desktop session's object path
    QPoint pointer_;
    // Declared so that the shell stops before its buses.
    Child systemBus_;
    Child sessionBus_;
    Child shell_;
};

}  // namespace sumiro::testing
