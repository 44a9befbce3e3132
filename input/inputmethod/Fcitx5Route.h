#pragma once

#include <QObject>
#include <QString>
#include <functional>

#include "input/inputmethod/InputMethodRoute.h"

namespace sumiro {

/// The route through Sumiro's fcitx5 addon, over the session bus. Calls never start a service:
/// the addon's bus name has no activation file, and every call is made without auto-start.
class Fcitx5Route final : public QObject, public InputMethodRoute {
    Q_OBJECT

public:
    /// address: the session bus (empty: $DBUS_SESSION_BUS_ADDRESS, else $XDG_RUNTIME_DIR/bus;
    /// never an autolaunched one). pad: the pad's own program name, whose fields are refused.
    explicit Fcitx5Route(QString pad, QString address = {});
    ~Fcitx5Route() override;

    /// Called on every focus change the addon reports (focus-in or focus-out, program name).
    std::function<void(bool, const std::string&)> focusChanged;

    [[nodiscard]] std::string_view label() const override { return "fcitx5"; }
    bool answers() override;
    std::optional<std::string> focusedProgram() override;
    Result commit(std::u32string_view text) override;
    Result pressKey(Key key) override;
    /// The addon's version, empty when it does not answer.
    QString version();

private Q_SLOTS:
    void onFocusChanged(bool focused, const QString& program);

private:
    bool connected();
    Result call(const QString& method, const QVariantList& arguments);

    QString pad_;
    QString address_;
    QString connection_;
};

}  // namespace sumiro
