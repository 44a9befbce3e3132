#pragma once

// The recording window on a test's X session, and what it wrote down.

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "testsupport/XSession.h"

namespace sumiro::testing {

/// The recording window (sumiro_input_target, or the GTK 3 field of gtk_target.py) started on
/// a session, active and holding the keyboard focus. Its log has one line per event: "focus
/// in", "focus out", "text <hex scalars> mods <hex>", "key <name> mods <hex>", "commit <hex
/// scalars>" (the GTK field: "text <hex scalars>", its whole content after each change).
class RecordingTarget {
public:
    struct Options {
        /// Variables added to its environment: by default a plain X11 client, no input method.
        std::vector<std::pair<QString, QString>> env = {
            {"QT_QPA_PLATFORM", "xcb"}, {"QT_IM_MODULE", ""}, {"XMODIFIERS", ""}};
        bool gtk = false;
        /// With an input method: whether it sees the field's focus. fcitx5's Qt module now and
        /// then never focuses the context it made; a new start gets past it.
        std::function<bool()> inputMethodSees;
    };

    /// Starts the window and waits until it is managed, active, focused and (with an input
    /// method) seen by it; nullptr with the reason in `error` when it does not come up.
    static std::unique_ptr<RecordingTarget> start(XSession& session, std::string& error,
                                                  Options options);
    static std::unique_ptr<RecordingTarget> start(XSession& session, std::string& error) {
        return start(session, error, Options{});
    }

    [[nodiscard]] std::uint64_t window() const { return window_; }
    [[nodiscard]] qint64 pid() const { return process_->processId(); }
    /// Every line written so far.
    [[nodiscard]] QByteArray log() const;
    /// Whether the last focus line says the window has the focus.
    [[nodiscard]] bool focused() const;
    /// The texts, keys and commits received, in order.
    [[nodiscard]] std::vector<std::string> received() const;
    /// Ends the window's process.
    void quit() { process_.reset(); }

private:
    RecordingTarget() = default;
    QTemporaryDir directory_;
    QString log_;
    Child process_;
    std::uint64_t window_ = 0;
};

}  // namespace sumiro::testing
