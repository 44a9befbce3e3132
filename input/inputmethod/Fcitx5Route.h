#pragma once

#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <memory>

#include "input/inputmethod/InputMethodRoute.h"

class QDBusServiceWatcher;

namespace sumiro {

/// The route through Sumiro's fcitx5 addon, over the session bus. Calls never start a service
/// (the addon's bus name has no activation file, and no call auto-starts) and never wait: every
/// answer comes back on the event loop. The route is used only once the name's owner has shown
/// itself to be fcitx5 running the addon of the pad's own version.
class Fcitx5Route final : public QObject, public InputMethodRoute {
    Q_OBJECT

public:
    /// How long a call may go unanswered before its outcome counts as unknown.
    static constexpr int callTimeoutMs = 2000;

    /// pad: the pad's own program name, whose fields are refused. address: the session bus
    /// (empty: $DBUS_SESSION_BUS_ADDRESS, else $XDG_RUNTIME_DIR/bus; never an autolaunched one).
    /// version: the addon's version the pad works with (empty: the pad's own).
    explicit Fcitx5Route(QString pad, QString address = {}, QString version = {});
    ~Fcitx5Route() override;

    [[nodiscard]] std::string_view label() const override { return "fcitx5"; }
    bool answers() override { return state_ == State::Ready; }
    std::optional<std::string> focusedProgram() override { return focused_; }
    void commit(std::u32string_view text, Done done) override;
    void pressKey(Key key, Done done) override;

private Q_SLOTS:
    void onFocusChanged(bool focused, const QString& program, const QDBusMessage& message);

private:
    enum class State { Absent, Checking, Ready, Unfit };
    void ownerChanged(const QString& owner);
    // Sends message; then runs handle with the reply, unless the owner changed meanwhile.
    void ask(const QDBusMessage& message, std::function<void(const QDBusMessage&)> handle);
    void call(const QString& method, const QVariantList& arguments, Done done);
    void checkAgain();
    void unfit(const QString& why);

    QString pad_;
    QString address_;
    QString version_;
    QString connection_;
    std::unique_ptr<QDBusServiceWatcher> watcher_;
    State state_ = State::Absent;
    QString owner_;           // unique name of the name's owner
    quint64 generation_ = 0;  // counts owners, so that answers of a former one are dropped
    std::optional<std::string> focused_;
};

}  // namespace sumiro
