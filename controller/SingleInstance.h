#pragma once

#include <QLocalServer>
#include <QString>
#include <functional>
#include <memory>

namespace sumiro {

/// The local socket of the pad of this user on this display: in $XDG_RUNTIME_DIR (private to
/// the user) when set, else in the temporary directory with the user id in the name.
QString instanceSocketName(const QString& display, const QString& runtimeDirectory, uint userId);
/// The socket name for this process's user and $DISPLAY.
QString instanceSocketName();

/// Asks a pad listening on `name` to show its panel; false when none answers (none runs, or a
/// crashed one left its socket behind).
bool askRunningPadToShow(const QString& name);

/// Listens on `name` for later starts and runs `reopen` for each. A socket file left by a
/// crashed pad is removed first: only a pad that answers may keep a start from running.
class SingleInstance {
public:
    SingleInstance(const QString& name, std::function<void()> reopen);
    /// Whether the pad listens, so later starts reach it.
    bool listening() const { return server_.isListening(); }

private:
    QLocalServer server_;
    std::function<void()> reopen_;
};

}  // namespace sumiro
