#pragma once

#include <QLocalServer>
#include <QString>
#include <chrono>
#include <functional>
#include <optional>

namespace sumiro {

/// The display a pad serves, as a word for file names: one word for every way of naming one
/// display (":0", ":0.0" and "unix:0" are one X display; the screen plays no part), another for
/// another display or host. `platform` is the name of Qt's platform plugin: on Wayland the
/// display is `waylandDisplay`, elsewhere the X display `x11Display`.
QString displayKey(const QString& platform, const QString& x11Display,
                   const QString& waylandDisplay);

/// The directory that holds the pad's socket and lock: $XDG_RUNTIME_DIR (`runtimeDirectory`)
/// when it is an absolute path to a directory of `userId` that nobody else may use, else
/// "sumiro-<userId>" in the temporary directory, made so when missing. Nothing when that one
/// exists and is not the user's own private directory: another user made it.
std::optional<QString> privateDirectory(const QString& runtimeDirectory, uint userId);

/// The one pad of a user on a display. Which process it is, is decided atomically by an
/// exclusive lock on "sumiro-<key>.lock" in `directory`, held for the life of the process (the
/// system lets go of it however the process ends); the pad that holds it listens on the socket
/// "sumiro-<key>" beside it for later starts, which ask it to show its panel. Both ends check
/// that the other is a process of the same user.
class SingleInstance {
public:
    enum class State {
        Claimed,      ///< this process holds the lock: it is the pad
        Taken,        ///< another process holds it: a pad runs
        Unavailable,  ///< the lock file cannot be opened
    };

    SingleInstance(const QString& directory, const QString& key);
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    [[nodiscard]] State state() const { return state_; }
    [[nodiscard]] const QString& socketName() const { return socketName_; }

    /// Asks the pad that holds the lock to show its panel; true once it answered. Waits up to
    /// `wait` for it, which may be starting still.
    bool askToShow(std::chrono::milliseconds wait) const;
    /// Once claimed: listens for later starts (a socket left by an ended pad is replaced) and
    /// runs `reopen` for each; false when the socket cannot be made.
    bool listen(std::function<void()> reopen);
    /// Whether it listens, so later starts reach it.
    [[nodiscard]] bool listening() const { return server_.isListening(); }

private:
    QString socketName_;
    int lock_ = -1;
    State state_ = State::Unavailable;
    QLocalServer server_;
    std::function<void()> reopen_;
};

}  // namespace sumiro
