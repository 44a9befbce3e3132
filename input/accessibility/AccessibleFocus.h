#pragma once

// The application that holds the keyboard focus, as toolkits tell assistive technologies over
// the accessibility bus (AT-SPI), the way screen readers learn it on Wayland desktops whose
// compositor lists its windows to no client (GNOME, KDE). It names the fields an input method
// focuses but cannot name, for the programs that speak AT-SPI (GTK 3 and GTK 4 always; Qt, and
// most others, only while accessibility is turned on).

#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "input/accessibility/FocusHolder.h"

namespace sumiro::accessibility {

class AccessibleFocus final : public QObject {
    Q_OBJECT

public:
    /// How long a call on the accessibility bus may go unanswered; it is then given up.
    static constexpr int callTimeoutMs = 2000;

    /// Follows the accessibility bus at address, else the one $AT_SPI_BUS_ADDRESS names, as
    /// toolkits take it, else the one the session bus at sessionBus (empty: the user's) gives,
    /// started there when it is not yet. Nothing when there is no session bus. Everything else
    /// comes later, on the event loop, and nothing ever waits for the bus: while it does not
    /// answer, or where there is none, no field is named. `changed` is called whenever the
    /// application that holds the focus, its name, or the time of its last gain changes.
    static std::unique_ptr<AccessibleFocus> open(const QString& sessionBus, const QString& address,
                                                 std::function<void()> changed);
    ~AccessibleFocus() override;

    /// The name of the field an input method focused at fieldFocused, by FocusHolder's rule.
    [[nodiscard]] std::optional<std::string> nameOf(
        FocusHolder::Clock::time_point fieldFocused) const {
        return holder_.nameOf(fieldFocused);
    }

private Q_SLOTS:
    void onStateChanged(const QDBusMessage& message);
    void onWindowActivated(const QDBusMessage& message);
    void onWindowDeactivated(const QDBusMessage& message);
    void onNameOwnerChanged(const QString& name, const QString& oldOwner, const QString& newOwner);

private:
    explicit AccessibleFocus(std::function<void()> changed);
    // Connects to the accessibility bus at address, else at the one the session bus gives, off
    // the event loop's thread: the session bus may take long to start it, and a bus daemon that
    // hangs would hold the handshake; then follows it.
    void connectTo(const QString& address, const QString& session);
    void follow();
    void findActiveWindows(const QString& app);
    void gained(const QString& app, const QString& object, bool window);
    void lost(const QString& app, const QString& object);
    void learn(const QString& app);
    // Sends message on the accessibility bus; handle gets the reply (or the error) later, unless
    // this object is gone by then.
    void ask(const QDBusMessage& message, std::function<void(const QDBusMessage&)> handle);
    // Runs change on the holder and tells whether what it names changed.
    template <typename Change>
    void changing(Change change);

    QString connection_;  // the connection to the accessibility bus
    // Set when this object is gone, for the thread that connects.
    std::shared_ptr<std::atomic<bool>> abandoned_ = std::make_shared<std::atomic<bool>>(false);
    FocusHolder holder_;
    std::set<QString> learning_;  // applications asked for their process and name
    std::function<void()> changed_;
};

}  // namespace sumiro::accessibility
