#pragma once

// A private session bus and an input method (fcitx5 with Sumiro's addon loaded from the build
// tree, or ibus-daemon) on an XSession, for end-to-end tests of delivery through input methods.

#include <QString>
#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "testsupport/XSession.h"

namespace sumiro::testing {

class InputMethodSession {
public:
    enum class Kind { Fcitx5, IBus };

    /// Why the input method cannot run here (not installed, addon not built), empty when it can.
    static std::string missing(Kind kind);
    /// Starts a client of the desktop the input method serves.
    using Spawn =
        std::function<Child(const QStringList& argv, std::vector<std::pair<QString, QString>> env)>;
    /// Starts the bus and the input method on x; nullptr with a reason in error on failure.
    static std::unique_ptr<InputMethodSession> start(XSession& x, Kind kind, std::string& error) {
        return start(
            [&x](const QStringList& argv, std::vector<std::pair<QString, QString>> env) {
                return x.spawn(argv, std::move(env));
            },
            kind, error);
    }
    /// The same on any desktop whose clients `spawn` starts.
    static std::unique_ptr<InputMethodSession> start(const Spawn& spawn, Kind kind,
                                                     std::string& error);
    ~InputMethodSession();

    /// The private session bus's address.
    [[nodiscard]] const QString& bus() const { return bus_; }
    /// IBus's own bus address (IBus only).
    [[nodiscard]] const std::string& ibusAddress() const { return ibusAddress_; }
    /// The environment an input-method client needs: the bus, the input method's modules.
    [[nodiscard]] std::vector<std::pair<QString, QString>> clientEnvironment() const;
    /// Stops the input method (the bus stays).
    void stopInputMethod() { inputMethod_.reset(); }
    /// The input method's process id.
    [[nodiscard]] qint64 inputMethodProcess() const { return inputMethod_->processId(); }

private:
    InputMethodSession() = default;
    QTemporaryDir directory_;
    Kind kind_ = Kind::Fcitx5;
    QString bus_;
    std::string ibusAddress_;
    // Declared so that the input method stops before its bus.
    Child busDaemon_;
    Child inputMethod_;
};

}  // namespace sumiro::testing
