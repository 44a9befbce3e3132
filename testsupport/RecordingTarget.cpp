#include "testsupport/RecordingTarget.h"

#include <QFile>
#include <QTest>
#include <csignal>

namespace sumiro::testing {

std::unique_ptr<RecordingTarget> RecordingTarget::start(XSession& session, std::string& error,
                                                        Options options) {
    std::unique_ptr<RecordingTarget> target(new RecordingTarget);
    target->log_ = target->directory_.filePath(QStringLiteral("target.log"));
    const QStringList argv = options.gtk
                                 ? QStringList{"/usr/bin/python3", SUMIRO_GTK_TARGET, target->log_}
                                 : QStringList{SUMIRO_INPUT_TARGET, target->log_};
    const int attempts = options.inputMethodSees ? 3 : 1;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        target->process_.reset();
        QFile::remove(target->log_);
        target->process_ = session.spawn(argv, options.env);
        std::uint64_t& window = target->window_;
        if (!session.poll([&] { return (window = session.windowOf(target->pid())); })) {
            error = "the recording window was never managed";
            return nullptr;
        }
        // A window mapped while the window manager still starts up is not given the focus.
        const bool focused = QTest::qWaitFor(
            [&] {
                session.activate(window);
                return QTest::qWaitFor(
                    [&] { return session.activeWindow() == window && target->focused(); }, 500);
            },
            15000);
        if (!focused) {
            error = "the recording window never got the focus";
            return nullptr;
        }
        if (!options.inputMethodSees || QTest::qWaitFor(options.inputMethodSees, 3000)) {
            return target;
        }
        // fcitx5's Qt module names a new context's display over X11 and focuses it over D-Bus;
        // when fcitx5 reads the focus first, the context loses it again at once. The Qt field
        // takes the focus anew on SIGUSR1, long after its display is known.
        if (!options.gtk && ::kill(static_cast<pid_t>(target->pid()), SIGUSR1) == 0 &&
            QTest::qWaitFor(options.inputMethodSees, 3000)) {
            return target;
        }
    }
    error = "the input method never saw the recording window's focus";
    return nullptr;
}

QByteArray RecordingTarget::log() const {
    QFile file(log_);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool RecordingTarget::focused() const {
    const QByteArray text = log();
    return text.lastIndexOf("focus in") > text.lastIndexOf("focus out");
}

std::vector<std::string> RecordingTarget::received() const {
    std::vector<std::string> out;
    for (const QByteArray& line : log().split('\n')) {
        if (!line.isEmpty() && !line.startsWith("focus")) out.push_back(line.toStdString());
    }
    return out;
}

}  // namespace sumiro::testing
