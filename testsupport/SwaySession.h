#pragma once

// A private headless sway (a wlroots compositor) with XWayland for end-to-end tests, and a mouse
// that the compositor takes for a real one. sway refuses to run as root: run by root, the
// compositor (and XWayland with it) runs as an unprivileged account of its own, which the test
// set-up creates when it is missing; every other client runs as the test does.

#include <QJsonObject>
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

class SwaySession final : public PointerAndKeyboard {
public:
    /// A window as sway shows it.
    struct View {
        qint64 pid = 0;
        QString appId;  // a Wayland client's; empty for an XWayland one
        QString name;   // the title
        QRect rect;     // on the layout, the border excluded
        bool focused = false;
        bool floating = false;
    };

    /// Why sway cannot run here (not installed), empty when it can.
    static std::string missing();
    /// Starts sway on a 1280x800 headless output with XWayland, and the mouse; nullptr with a
    /// reason in `error` when either does not come up in time.
    static std::unique_ptr<SwaySession> start(std::string& error);
    ~SwaySession();

    /// The compositor's socket, as an absolute path for WAYLAND_DISPLAY.
    [[nodiscard]] const QString& waylandDisplay() const { return wayland_; }
    /// XWayland's display, ":N".
    [[nodiscard]] const std::string& display() const { return display_; }
    /// Starts a client of this session (WAYLAND_DISPLAY and DISPLAY set) with `env` added.
    Child spawn(const QStringList& argv, std::vector<std::pair<QString, QString>> env = {}) const;

    /// Runs a sway command (swaymsg); true when sway carried it out.
    bool command(const QString& command) const;
    /// The windows sway manages, on every workspace.
    std::vector<View> views() const;
    /// The process id of the window that has the keyboard focus, 0 when none has (an overlay
    /// may have it instead).
    qint64 focusedPid() const;
    /// Where the first window of process pid lies, if sway manages one.
    std::optional<QRect> frameOf(qint64 pid) const;
    /// Writes a PNG of the whole output.
    bool screenshot(const QString& path) const;

    /// The mouse's points are the layout's.
    bool move(QPoint at) override;
    bool press() override;
    bool release() override;
    /// On a keyboard of its own, and returns at once: wait for the text where it should arrive.
    void type(const QString& text) override;

private:
    SwaySession() = default;
    bool pointer(const QByteArray& command);
    QJsonObject tree() const;

    QTemporaryDir directory_;  // the compositor's runtime directory and configuration
    QTemporaryDir clients_;    // the clients' runtime directory
    QString wayland_;
    std::string display_;
    QString ipc_;
    std::optional<Account> account_;
    // Declared so that the mouse and the keyboards go after the compositor: sway 1.7 crashes
    // when a virtual keyboard goes while an input method holds the keyboard (fcitx5 on
    // Wayland), and may when a virtual pointer goes.
    Child pointer_;
    std::vector<Child> typists_;
    Child sway_;
};

}  // namespace sumiro::testing
