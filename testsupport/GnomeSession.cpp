#include "testsupport/GnomeSession.h"

#include <sys/stat.h>

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QStandardPaths>
#include <QThread>
#include <algorithm>
#include <iterator>

namespace sumiro::testing {
namespace {

constexpr auto kStartTimeout = std::chrono::seconds(40);
constexpr auto kCallTimeout = std::chrono::seconds(10);
constexpr int kWidth = 1280;
constexpr int kHeight = 800;
constexpr int kLeftButton = 0x110;   // BTN_LEFT
constexpr uint kLeftShift = 42;      // KEY_LEFTSHIFT
constexpr int kButtonMask = 1 << 8;  // Clutter's BUTTON1_MASK
constexpr char kExtension[] = "sumiro-test@sumiro";

// A bus that lets everyone own and send everything: the shell asks the system bus for logind
// and friends and copes when nobody answers.
constexpr char kSystemBus[] = R"(<!DOCTYPE busconfig PUBLIC
 "-//freedesktop//DTD D-BUS Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path=%1</listen>
  <policy context="default">
    <allow user="*"/>
    <allow own="*"/>
    <allow send_type="method_call"/>
    <allow send_type="signal"/>
    <allow send_type="method_return"/>
    <allow send_type="error"/>
    <allow receive_type="method_call"/>
    <allow receive_type="signal"/>
    <allow receive_type="method_return"/>
    <allow receive_type="error"/>
  </policy>
</busconfig>
)";

bool writeFile(const QString& path, const QByteArray& content) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

// Waits for a call's answer while this process's events (the pad's, when it runs here) go on.
QDBusMessage answer(const QDBusConnection& connection, const QDBusMessage& call) {
    QDBusPendingCall pending =
        connection.asyncCall(call, int(std::chrono::milliseconds(kCallTimeout).count()));
    while (!pending.isFinished()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (!pending.isFinished()) QThread::msleep(1);
    }
    return pending.reply();
}

bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const QDeadlineTimer deadline(timeout);
    while (!condition()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(10);
    }
    return true;
}

}  // namespace

std::string GnomeSession::missing() {
    for (const char* program : {"gnome-shell", "dbus-daemon", "Xwayland", "ibus-daemon"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(program)).isEmpty()) {
            return std::string(program) + " is not installed";
        }
    }
    // The accessibility bus, which the session bus starts at the first question for it.
    if (!QFile::exists(QStringLiteral("/usr/share/dbus-1/services/org.a11y.Bus.service"))) {
        return "at-spi2-core is not installed";
    }
    return {};
}

std::unique_ptr<GnomeSession> GnomeSession::start(std::string& error) {
    std::unique_ptr<GnomeSession> session(new GnomeSession);
    if (!session->directory_.isValid()) {
        error = "cannot make a directory for the session";
        return nullptr;
    }
    const QDir dir(session->directory_.path());
    const QString runtime = dir.filePath(QStringLiteral("run"));
    const QString home = dir.filePath(QStringLiteral("home"));
    const QString data = dir.filePath(QStringLiteral("data"));
    const QString extension = data + QStringLiteral("/gnome-shell/extensions/") + kExtension;
    const QString systemBus = dir.filePath(QStringLiteral("system_bus"));
    const QString sessionBus = dir.filePath(QStringLiteral("session_bus"));
    // The shell's own mode: the ordinary session with the test's extension turned on.
    if (!QDir().mkpath(runtime) || chmod(runtime.toLocal8Bit().constData(), 0700) != 0 ||
        !QDir().mkpath(home) ||
        !writeFile(dir.filePath(QStringLiteral("system.conf")),
                   QString::fromLatin1(kSystemBus).arg(systemBus).toUtf8()) ||
        !writeFile(data + QStringLiteral("/gnome-shell/modes/sumiro-test.json"),
                   QByteArray(R"({"parentMode": "user", "enabledExtensions": [")") + kExtension +
                       "\"]}\n") ||
        !writeFile(extension + QStringLiteral("/metadata.json"),
                   QByteArray(R"({"uuid": ")") + kExtension +
                       R"(", "name": "Sumiro tests", "description": "Lets the tests ask the )"
                       R"(shell", "shell-version": ["43", "44", "45", "46", "47", "48"]})") ||
        !writeFile(extension + QStringLiteral("/extension.js"),
                   "function init() {}\n"
                   "function enable() { global.context.unsafe_mode = true; }\n"
                   "function disable() {}\n")) {
        error = "cannot write the session's files";
        return nullptr;
    }
    std::vector<std::pair<QString, QString>> environment = {
        {"XDG_RUNTIME_DIR", runtime},
        {"XDG_DATA_DIRS", data + QStringLiteral(":/usr/local/share:/usr/share")},
        {"XDG_CURRENT_DESKTOP", "GNOME"},
        {"XDG_SESSION_TYPE", "wayland"},
        {"WAYLAND_DISPLAY", ""},
        {"DISPLAY", ""},
    };
    std::ranges::copy(privateHome(home), std::back_inserter(environment));
    session->systemBus_ =
        launch({QStringLiteral("dbus-daemon"), QStringLiteral("--nofork"),
                QStringLiteral("--config-file=") + dir.filePath(QStringLiteral("system.conf"))},
               environment, QProcess::SeparateChannels);
    session->sessionBus_ =
        launch({QStringLiteral("dbus-daemon"), QStringLiteral("--nofork"),
                QStringLiteral("--session"), QStringLiteral("--address=unix:path=") + sessionBus},
               environment, QProcess::SeparateChannels);
    if (!waitFor([&] { return QFile::exists(systemBus) && QFile::exists(sessionBus); },
                 kStartTimeout)) {
        error = "the buses did not start";
        return nullptr;
    }
    session->bus_ = QStringLiteral("unix:path=") + sessionBus;
    auto shellEnvironment = environment;
    shellEnvironment.insert(shellEnvironment.end(), {{"DBUS_SESSION_BUS_ADDRESS", session->bus_},
                                                     {"DBUS_SYSTEM_BUS_ADDRESS",
                                                      QStringLiteral("unix:path=") + systemBus}});
    session->shell_ = launch(
        {QStringLiteral("gnome-shell"), QStringLiteral("--headless"), QStringLiteral("--wayland"),
         QStringLiteral("--virtual-monitor"), QStringLiteral("%1x%2").arg(kWidth).arg(kHeight),
         QStringLiteral("--mode=sumiro-test")},
        shellEnvironment, QProcess::SeparateChannels);

    session->connection_ = QStringLiteral("sumiro-gnome-%1").arg(quintptr(session.get()));
    const QDBusConnection bus = QDBusConnection::connectToBus(session->bus_, session->connection_);
    if (!bus.isConnected()) {
        error = "cannot connect to the session bus";
        return nullptr;
    }
    // Up once the extension has let the test in and the shell has finished starting.
    if (!waitFor(
            [&] {
                return session->shell_->state() == QProcess::NotRunning ||
                       session->evaluate(QStringLiteral("!Main.layoutManager._startingUp")) ==
                           QStringLiteral("true");
            },
            kStartTimeout) ||
        session->shell_->state() == QProcess::NotRunning) {
        const bool ended = session->shell_->state() == QProcess::NotRunning;
        error = std::string("gnome-shell did not come up") + (ended ? " (it ended): " : ": ") +
                session->shell_->readAllStandardError().right(2000).toStdString();
        return nullptr;
    }
    session->wayland_ = QDir(runtime).filePath(QStringLiteral("wayland-0"));
    // No overview over the windows, also when the mouse passes the corner, and no blank screen
    // in a long run.
    (void)session->evaluate(QStringLiteral(
        "const {Gio} = imports.gi; Main.overview.hide();"
        "new Gio.Settings({schema_id: 'org.gnome.desktop.interface'})"
        ".set_boolean('enable-hot-corners', false);"
        "new Gio.Settings({schema_id: 'org.gnome.desktop.session'}).set_uint('idle-delay', 0);"
        "true"));
    const auto display = session->evaluate(QStringLiteral("imports.gi.GLib.getenv('DISPLAY')"));
    const auto authority =
        session->evaluate(QStringLiteral("imports.gi.GLib.getenv('XAUTHORITY')"));
    if (!display || !authority || !QFile::exists(session->wayland_)) {
        error = "gnome-shell named no displays";
        return nullptr;
    }
    session->display_ = QJsonDocument::fromJson("[" + display->toUtf8() + "]")
                            .array()
                            .at(0)
                            .toString()
                            .toStdString();
    session->xauthority_ =
        QJsonDocument::fromJson("[" + authority->toUtf8() + "]").array().at(0).toString();

    // The shell starts ibus-daemon, which writes its address where its clients look, and starts
    // it anew with XIM once XWayland is up: the address is the second one's, which the shell
    // holds an input context of (it serves the clients of text-input through it).
    const QDir ibusDir(home + QStringLiteral("/.config/ibus/bus"));
    if (!waitFor(
            [&] {
                if (session->evaluate(QStringLiteral("Main.inputMethod._context !== null")) !=
                    QStringLiteral("true")) {
                    return false;
                }
                for (const QString& name : ibusDir.entryList(QDir::Files)) {
                    QFile file(ibusDir.filePath(name));
                    if (!file.open(QIODevice::ReadOnly)) continue;
                    QByteArray address, pid;
                    for (const QByteArray& line : file.readAll().split('\n')) {
                        if (line.startsWith("IBUS_ADDRESS=")) address = line.mid(13);
                        if (line.startsWith("IBUS_DAEMON_PID=")) pid = line.mid(16);
                    }
                    QFile command(QStringLiteral("/proc/%1/cmdline").arg(pid.toInt()));
                    if (!address.isEmpty() && command.open(QIODevice::ReadOnly) &&
                        command.readAll().split('\0').contains("--xim")) {
                        session->ibus_ = address.toStdString();
                        return true;
                    }
                }
                return false;
            },
            kStartTimeout)) {
        error = "gnome-shell did not start ibus-daemon with XIM";
        return nullptr;
    }

    // The accessibility bus, started as on the user's desktop by the session bus at the first
    // question for it (at-spi2-core's launcher, which ends with the session bus); its registry
    // starts at the first call for it there.
    const QDBusMessage a11y =
        answer(bus, QDBusMessage::createMethodCall(
                        QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
                        QStringLiteral("org.a11y.Bus"), QStringLiteral("GetAddress")));
    if (a11y.type() != QDBusMessage::ReplyMessage || a11y.arguments().isEmpty()) {
        error = "the accessibility bus did not start: " + a11y.errorMessage().toStdString();
        return nullptr;
    }
    session->accessibility_ = a11y.arguments().front().toString();

    // The mouse: a remote-desktop session of this connection, moved by how far it goes from
    // where it is (absolute moves need a screen cast), starting from the bottom right corner
    // (the top left one is the overview's).
    const QDBusMessage created = answer(
        bus, QDBusMessage::createMethodCall(QStringLiteral("org.gnome.Mutter.RemoteDesktop"),
                                            QStringLiteral("/org/gnome/Mutter/RemoteDesktop"),
                                            QStringLiteral("org.gnome.Mutter.RemoteDesktop"),
                                            QStringLiteral("CreateSession")));
    if (created.type() != QDBusMessage::ReplyMessage || created.arguments().isEmpty()) {
        error = "no remote-desktop session: " + created.errorMessage().toStdString();
        return nullptr;
    }
    session->remote_ = qvariant_cast<QDBusObjectPath>(created.arguments().front()).path();
    if (!session->notify(QStringLiteral("Start"), {}) ||
        !session->notify(QStringLiteral("NotifyPointerMotionRelative"),
                         {double(4 * kWidth), double(4 * kHeight)})) {
        error = "the remote-desktop session did not start";
        return nullptr;
    }
    // The session makes its keyboard when first used: without one the seat gives no client the
    // keyboard and GTK never sees its window focused. Shift pressed and released makes it.
    if (!session->notify(QStringLiteral("NotifyKeyboardKeycode"), {kLeftShift, true}) ||
        !session->notify(QStringLiteral("NotifyKeyboardKeycode"), {kLeftShift, false})) {
        error = "the keyboard does not start";
        return nullptr;
    }
    session->pointer_ = QPoint(kWidth - 1, kHeight - 1);
    if (!session->move({kWidth - 2, kHeight - 2})) {
        error = "the mouse does not move";
        return nullptr;
    }
    return session;
}

GnomeSession::~GnomeSession() {
    if (!remote_.isEmpty()) (void)notify(QStringLiteral("Stop"), {});
    QDBusConnection::disconnectFromBus(connection_);
}

std::optional<QString> GnomeSession::evaluate(const QString& script) const {
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.gnome.Shell"), QStringLiteral("/org/gnome/Shell"),
        QStringLiteral("org.gnome.Shell"), QStringLiteral("Eval"));
    call << script;
    const QDBusMessage reply = answer(QDBusConnection(connection_), call);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 2 ||
        !reply.arguments().at(0).toBool()) {
        return std::nullopt;
    }
    return reply.arguments().at(1).toString();
}

bool GnomeSession::notify(const QString& method, const QVariantList& arguments) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.gnome.Mutter.RemoteDesktop"), remote_,
        QStringLiteral("org.gnome.Mutter.RemoteDesktop.Session"), method);
    call.setArguments(arguments);
    return answer(QDBusConnection(connection_), call).type() == QDBusMessage::ReplyMessage;
}

Child GnomeSession::spawn(const QStringList& argv,
                          std::vector<std::pair<QString, QString>> env) const {
    const QDir dir(directory_.path());
    const QString home = dir.filePath(QStringLiteral("home"));
    // The caller's variables win.
    env.insert(env.begin(), {{"XDG_RUNTIME_DIR", dir.filePath(QStringLiteral("run"))},
                             {"HOME", home},
                             {"XDG_CONFIG_HOME", home + QStringLiteral("/.config")},
                             {"XDG_CURRENT_DESKTOP", "GNOME"},
                             {"XDG_SESSION_TYPE", "wayland"},
                             {"DBUS_SESSION_BUS_ADDRESS", bus_},
                             // By name, as the shell's own children have it: IBus's clients
                             // find the daemon's address file by it.
                             {"WAYLAND_DISPLAY", QFileInfo(wayland_).fileName()},
                             {"DISPLAY", QString::fromStdString(display_)},
                             {"XAUTHORITY", xauthority_}});
    return launch(argv, env, QProcess::ForwardedChannels);
}

qint64 GnomeSession::focusedPid() const {
    const auto pid =
        evaluate(QStringLiteral("global.display.focus_window ? "
                                "global.display.focus_window.get_pid() : 0"));
    return pid ? pid->toLongLong() : 0;
}

std::optional<QRect> GnomeSession::frameOf(qint64 pid) const {
    const auto frame =
        evaluate(QStringLiteral("global.get_window_actors().map(a => a.meta_window)"
                                ".filter(w => w.get_pid() == %1).map(w => w.get_frame_rect())"
                                ".map(r => [r.x, r.y, r.width, r.height])[0] || []")
                     .arg(pid));
    if (!frame) return std::nullopt;
    const QJsonArray rect = QJsonDocument::fromJson(frame->toUtf8()).array();
    if (rect.size() != 4) return std::nullopt;
    return QRect(rect[0].toInt(), rect[1].toInt(), rect[2].toInt(), rect[3].toInt());
}

QString GnomeSession::describeWindows() const {
    const auto listed = evaluate(QStringLiteral(
        "global.get_window_actors().map(a => a.meta_window).map(w => { const r = "
        "w.get_frame_rect(); return `${w.get_pid()} ${r.x},${r.y} ${r.width}x${r.height}` + "
        "(w.has_focus() ? ' focused' : ''); }).join('\\n')"));
    if (!listed) return QStringLiteral("(the shell did not say)");
    return QJsonDocument::fromJson(QStringLiteral("[%1]").arg(*listed).toUtf8())
        .array()
        .at(0)
        .toString();
}

bool GnomeSession::place(qint64 pid, QPoint topLeft) const {
    const QString script =
        QStringLiteral(
            "(() => { const w = global.get_window_actors().map(a => a.meta_window)"
            ".find(w => w.get_pid() == %1); if (!w) return false;"
            " w.move_frame(true, %2, %3); return true; })()")
            .arg(pid)
            .arg(topLeft.x())
            .arg(topLeft.y());
    const auto moved = [&] { return evaluate(script) == QStringLiteral("true"); };
    const auto there = [&] {
        const auto frame = frameOf(pid);
        return frame && frame->topLeft() == topLeft;
    };
    // The shell may not list a window it has just shown, or may place it once more after the
    // move (seen once with a terminal): the move is asked for until it is made and stays.
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (!waitFor(moved, kCallTimeout)) return false;
        if (waitFor(there, kCallTimeout)) return true;
    }
    return false;
}

bool GnomeSession::move(QPoint at) {
    const QPoint by = at - pointer_;
    if (!notify(QStringLiteral("NotifyPointerMotionRelative"), {double(by.x()), double(by.y())})) {
        return false;
    }
    pointer_ = at;
    const QString expected = QStringLiteral("%1,%2,").arg(at.x()).arg(at.y());
    return waitFor(
        [&] {
            const auto where = evaluate(QStringLiteral("global.get_pointer().toString()"));
            return where && where->mid(1).startsWith(expected);
        },
        kCallTimeout);
}

bool GnomeSession::button(bool pressed) {
    if (!notify(QStringLiteral("NotifyPointerButton"), {kLeftButton, pressed})) return false;
    return waitFor(
        [&] {
            const auto where = evaluate(QStringLiteral("global.get_pointer()[2]"));
            return where && bool(where->toInt() & kButtonMask) == pressed;
        },
        kCallTimeout);
}

bool GnomeSession::press() { return button(true); }

bool GnomeSession::release() { return button(false); }

void GnomeSession::type(const QString& text) {
    // A Latin-1 character is its own keysym; the shell adds the modifiers its level needs.
    for (const QChar c : text) {
        const uint keysym = c.unicode();
        (void)notify(QStringLiteral("NotifyKeyboardKeysym"), {keysym, true});
        (void)notify(QStringLiteral("NotifyKeyboardKeysym"), {keysym, false});
    }
}

}  // namespace sumiro::testing
