#include "testsupport/KwinSession.h"

#include <fcntl.h>
#include <linux/input-event-codes.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusUnixFileDescriptor>
#include <QDBusVirtualObject>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMutex>
#include <QStandardPaths>
#include <QTest>
#include <algorithm>
#include <iterator>
#include <map>

namespace sumiro::testing {
namespace {

constexpr int kStartTimeoutMs = 40000;
constexpr int kCallTimeoutMs = 10000;
constexpr int kWidth = 1280;
constexpr int kHeight = 800;
constexpr char kSocket[] = "sumiro-kwin";
constexpr char kReportsPath[] = "/Sumiro/Reports";
constexpr char kReportsInterface[] = "org.sumiro.Reports";

// Where KWin keeps its scripting interface and a loaded script.
QDBusMessage kwinCall(const QString& path, const QString& interface, const QString& method,
                      const QVariantList& arguments = {}) {
    QDBusMessage call =
        QDBusMessage::createMethodCall(QStringLiteral("org.kde.KWin"), path, interface, method);
    call.setArguments(arguments);
    return call;
}

// Waits for a call's answer while this process's events (the pad's, when it runs here) go on.
QDBusMessage answer(const QDBusConnection& bus, const QDBusMessage& call) {
    QDBusPendingCall pending = bus.asyncCall(call, kCallTimeoutMs);
    (void)QTest::qWaitFor([&] { return pending.isFinished(); }, kCallTimeoutMs + 1000);
    return pending.isFinished() ? pending.reply() : QDBusMessage();
}

// The evdev key of a printable ASCII character on a US keyboard, and whether Shift is held.
std::optional<std::pair<int, bool>> usKey(char c) {
    static const std::map<char, int> plain = [] {
        std::map<char, int> keys;
        const auto row = [&](const char* chars, int first) {
            for (int i = 0; chars[i]; ++i) keys[chars[i]] = first + i;
        };
        row("1234567890-=", KEY_1);
        row("qwertyuiop[]", KEY_Q);
        row("asdfghjkl;'", KEY_A);
        row("zxcvbnm,./", KEY_Z);
        keys['`'] = KEY_GRAVE;
        keys['\\'] = KEY_BACKSLASH;
        keys[' '] = KEY_SPACE;
        return keys;
    }();
    static const std::string lower = "`1234567890-=[]\\;',./";
    static const std::string upper = "~!@#$%^&*()_+{}|:\"<>?";
    if (c >= 'A' && c <= 'Z') return std::pair{plain.at(char(c - 'A' + 'a')), true};
    if (const auto shifted = upper.find(c); shifted != std::string::npos) {
        return std::pair{plain.at(lower[shifted]), true};
    }
    if (const auto it = plain.find(c); it != plain.end()) return std::pair{it->second, false};
    return std::nullopt;
}

}  // namespace

// What KWin's scripts report over the bus, by the token each query gave its script. Called on
// the bus's own thread.
class KwinSession::Reports final : public QDBusVirtualObject {
public:
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.interface() != QLatin1String(kReportsInterface) ||
            message.arguments().size() != 2) {
            return false;
        }
        {
            const QMutexLocker lock(&mutex_);
            reports_[message.arguments().at(0).toString()] = message.arguments().at(1).toString();
        }
        connection.send(message.createReply());
        return true;
    }
    QString introspect(const QString&) const override { return {}; }

    std::optional<QString> take(const QString& token) {
        const QMutexLocker lock(&mutex_);
        const auto it = reports_.find(token);
        if (it == reports_.end()) return std::nullopt;
        QString report = it->second;
        reports_.erase(it);
        return report;
    }

private:
    QMutex mutex_;
    std::map<QString, QString> reports_;
};

std::string KwinSession::missing() {
    for (const char* program : {"kwin_wayland", "Xwayland", "dbus-daemon"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(program)).isEmpty()) {
            return std::string(program) + " is not installed";
        }
    }
    return {};
}

std::unique_ptr<KwinSession> KwinSession::start(std::string& error) {
    std::unique_ptr<KwinSession> session(new KwinSession);
    if (!session->directory_.isValid()) {
        error = "cannot make a directory for the session";
        return nullptr;
    }
    const QDir dir(session->directory_.path());
    const QString runtime = dir.filePath(QStringLiteral("run"));
    const QString home = dir.filePath(QStringLiteral("home"));
    const QString socket = dir.filePath(QStringLiteral("bus"));
    const QString kwin = dir.filePath(QStringLiteral("kwin_wayland"));
    const QString ready = dir.filePath(QStringLiteral("ready"));
    const QString announce = dir.filePath(QStringLiteral("announce"));
    // KWin starts this once XWayland is up, with both displays set.
    QFile script(announce);
    if (!QDir().mkpath(runtime) || chmod(runtime.toLocal8Bit().constData(), 0700) != 0 ||
        !QDir().mkpath(home) ||
        !QFile::copy(QStandardPaths::findExecutable(QStringLiteral("kwin_wayland")), kwin) ||
        !script.open(QIODevice::WriteOnly) ||
        script.write(QStringLiteral("#!/bin/sh\nprintf '%s\\n%s\\n' \"$WAYLAND_DISPLAY\" "
                                    "\"$DISPLAY\" > '%1.new' && mv '%1.new' '%1'\n")
                         .arg(ready)
                         .toUtf8()) < 0 ||
        !script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner)) {
        error = "cannot write the session's files";
        return nullptr;
    }
    script.close();

    std::vector<std::pair<QString, QString>> environment = {
        {"XDG_RUNTIME_DIR", runtime},
        {"XDG_SESSION_TYPE", "wayland"},
        {"XDG_CURRENT_DESKTOP", "KDE"},
        {"WAYLAND_DISPLAY", ""},
        {"DISPLAY", ""},
        {"QT_QPA_PLATFORM", ""},
        {"XKB_DEFAULT_LAYOUT", "us"},
    };
    std::ranges::copy(privateHome(home), std::back_inserter(environment));
    session->busDaemon_ =
        launch({QStringLiteral("dbus-daemon"), QStringLiteral("--nofork"),
                QStringLiteral("--session"), QStringLiteral("--address=unix:path=") + socket},
               environment, QProcess::SeparateChannels);
    if (!QTest::qWaitFor([&] { return QFile::exists(socket); }, kStartTimeoutMs)) {
        error = "the session bus did not start";
        return nullptr;
    }
    session->bus_ = QStringLiteral("unix:path=") + socket;

    auto kwinEnvironment = environment;
    kwinEnvironment.insert(kwinEnvironment.end(),
                           {{"DBUS_SESSION_BUS_ADDRESS", session->bus_},
                            // Fake input and screenshots for every client: the test's.
                            {"KWIN_WAYLAND_NO_PERMISSION_CHECKS", "1"},
                            {"KWIN_SCREENSHOT_NO_PERMISSION_CHECKS", "1"}});
    session->kwin_ =
        launch({kwin, QStringLiteral("--virtual"), QStringLiteral("--xwayland"),
                QStringLiteral("--socket"), QString::fromLatin1(kSocket), QStringLiteral("--width"),
                QString::number(kWidth), QStringLiteral("--height"), QString::number(kHeight),
                QStringLiteral("--no-lockscreen"), QStringLiteral("--no-global-shortcuts"),
                QStringLiteral("--no-kactivities"), announce},
               kwinEnvironment, QProcess::SeparateChannels);
    // Watched without an event loop (this process may have none yet): waiting for its end
    // reads what it wrote.
    if (!QTest::qWaitFor(
            [&] { return QFile::exists(ready) || session->kwin_->waitForFinished(10); },
            kStartTimeoutMs) ||
        !QFile::exists(ready)) {
        if (session->kwin_->error() == QProcess::FailedToStart) {
            // A temporary directory mounted without execution, for one.
            error = "cannot run the copy of kwin_wayland: " +
                    session->kwin_->errorString().toStdString();
            return nullptr;
        }
        const bool ended = session->kwin_->state() == QProcess::NotRunning;
        error = std::string("KWin with XWayland did not come up") +
                (ended ? " (it ended): " : ": ") +
                session->kwin_->readAllStandardError().right(2000).toStdString();
        return nullptr;
    }
    QFile names(ready);
    names.open(QIODevice::ReadOnly);
    const QList<QByteArray> lines = names.readAll().split('\n');
    if (lines.size() < 2 || lines[0].isEmpty() || lines[1].isEmpty()) {
        error = "KWin did not name its displays";
        return nullptr;
    }
    session->wayland_ = QDir(runtime).filePath(QString::fromLocal8Bit(lines[0]));
    session->display_ = lines[1].toStdString();

    session->connection_ = QStringLiteral("sumiro-kwin-%1").arg(quintptr(session.get()));
    QDBusConnection bus = QDBusConnection::connectToBus(session->bus_, session->connection_);
    session->reports_ = std::make_unique<Reports>();
    if (!bus.isConnected() ||
        !bus.registerVirtualObject(QString::fromLatin1(kReportsPath), session->reports_.get())) {
        error = "cannot connect to KWin's bus";
        return nullptr;
    }
    // The accessibility bus, started as on a Plasma desktop by the session bus at the first
    // question for it; where at-spi2-core is missing, the fields stay unnamed.
    const QDBusMessage a11y =
        answer(bus, QDBusMessage::createMethodCall(
                        QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
                        QStringLiteral("org.a11y.Bus"), QStringLiteral("GetAddress")));
    if (a11y.type() == QDBusMessage::ReplyMessage && !a11y.arguments().isEmpty()) {
        session->accessibility_ = a11y.arguments().front().toString();
    }
    // Scripting answers at once; its scripts' reports need this process's event loop (see
    // windows()), which runs only once the application object is there.
    const QDBusMessage scripting = answer(
        bus, kwinCall(QStringLiteral("/Scripting"), QStringLiteral("org.kde.kwin.Scripting"),
                      QStringLiteral("isScriptLoaded"), {QStringLiteral("sumiro-none")}));
    if (scripting.type() != QDBusMessage::ReplyMessage) {
        error = "KWin's scripting does not answer: " + scripting.errorMessage().toStdString();
        return nullptr;
    }

    session->input_ =
        launch({QStringLiteral(SUMIRO_FAKE_INPUT)}, {{"WAYLAND_DISPLAY", session->wayland_}},
               QProcess::ForwardedErrorChannel);
    if (!session->move({kWidth - 1, kHeight - 1})) {
        error = "the fake input device did not start";
        return nullptr;
    }
    return session;
}

KwinSession::~KwinSession() {
    if (!connection_.isEmpty()) {
        QDBusConnection(connection_).unregisterObject(QString::fromLatin1(kReportsPath));
        QDBusConnection::disconnectFromBus(connection_);
    }
}

Child KwinSession::spawn(const QStringList& argv,
                         std::vector<std::pair<QString, QString>> env) const {
    // The caller's variables win.
    env.insert(env.begin(), {{"XDG_RUNTIME_DIR", QFileInfo(wayland_).path()},
                             {"XDG_SESSION_TYPE", "wayland"},
                             {"WAYLAND_DISPLAY", wayland_},
                             {"DISPLAY", QString::fromStdString(display_)}});
    return launch(argv, env, QProcess::ForwardedChannels);
}

std::optional<std::vector<KwinSession::Window>> KwinSession::windows() const {
    // A script per question, which KWin runs at once and which calls back with what it saw.
    const QString token = QString::number(++queries_);
    const QString plugin = QStringLiteral("sumiro-query-") + token;
    const QString path = QDir(directory_.path()).filePath(plugin + QStringLiteral(".js"));
    QFile script(path);
    if (!script.open(QIODevice::WriteOnly) ||
        script.write(QStringLiteral(
                         "var seen = [], clients = workspace.clientList();\n"
                         "for (var i = 0; i < clients.length; ++i) {\n"
                         "  var c = clients[i], g = c.frameGeometry;\n"
                         "  seen.push([c.pid, c.caption, g.x, g.y, g.width, g.height,\n"
                         "             c === workspace.activeClient, c.demandsAttention]);\n"
                         "}\n"
                         "callDBus('%1', '%2', '%3', 'report', '%4', JSON.stringify(seen));\n")
                         .arg(QDBusConnection(connection_).baseService(),
                              QString::fromLatin1(kReportsPath),
                              QString::fromLatin1(kReportsInterface), token)
                         .toUtf8()) < 0) {
        return std::nullopt;
    }
    script.close();
    const QDBusConnection bus(connection_);
    const QString scripting = QStringLiteral("org.kde.kwin.Scripting");
    const QDBusMessage loaded =
        answer(bus, kwinCall(QStringLiteral("/Scripting"), scripting, QStringLiteral("loadScript"),
                             {path, plugin}));
    std::optional<QString> report;
    if (loaded.type() == QDBusMessage::ReplyMessage && !loaded.arguments().isEmpty() &&
        loaded.arguments().front().toInt() >= 0) {
        // KWin 5.27 puts a loaded script at /N.
        const QString object = QStringLiteral("/%1").arg(loaded.arguments().front().toInt());
        if (answer(bus, kwinCall(object, QStringLiteral("org.kde.kwin.Script"),
                                 QStringLiteral("run")))
                .type() == QDBusMessage::ReplyMessage) {
            (void)QTest::qWaitFor([&] { return (report = reports_->take(token)).has_value(); },
                                  kCallTimeoutMs);
        }
    }
    (void)answer(bus, kwinCall(QStringLiteral("/Scripting"), scripting,
                               QStringLiteral("unloadScript"), {plugin}));
    QFile::remove(path);
    if (!report) return std::nullopt;

    std::vector<Window> windows;
    for (const QJsonValue& value : QJsonDocument::fromJson(report->toUtf8()).array()) {
        const QJsonArray seen = value.toArray();
        if (seen.size() != 8) return std::nullopt;
        windows.push_back({seen[0].toInteger(), seen[1].toString(),
                           QRect(seen[2].toInt(), seen[3].toInt(), seen[4].toInt(),
                                 seen[5].toInt()),
                           seen[6].toBool(), seen[7].toBool()});
    }
    return windows;
}

qint64 KwinSession::focusedPid() const {
    for (const Window& window : windows().value_or(std::vector<Window>())) {
        if (window.active) return window.pid;
    }
    return 0;
}

std::optional<QRect> KwinSession::frameOf(qint64 pid) const {
    for (const Window& window : windows().value_or(std::vector<Window>())) {
        if (window.pid == pid) return window.frame;
    }
    return std::nullopt;
}

bool KwinSession::screenshot(const QString& path) const {
    // KWin writes the pixels into a pipe and says in its answer how to read them.
    int ends[2];
    if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    QDBusPendingCall pending = [&] {
        const QDBusUnixFileDescriptor writeEnd(ends[1]);  // KWin's; this process keeps none
        close(ends[1]);
        return QDBusConnection(connection_)
            .asyncCall(kwinCall(QStringLiteral("/org/kde/KWin/ScreenShot2"),
                                QStringLiteral("org.kde.KWin.ScreenShot2"),
                                QStringLiteral("CaptureArea"),
                                {0, 0, uint(kWidth), uint(kHeight), QVariantMap(),
                                 QVariant::fromValue(writeEnd)}),
                       kCallTimeoutMs);
    }();
    // Read while KWin writes (the pipe holds less than a screen), until the answer has come
    // and the pixels it announces are there.
    QByteArray pixels;
    QVariantMap results;
    const auto needed = [&] {
        return qsizetype(results.value(QStringLiteral("stride")).toInt()) *
               results.value(QStringLiteral("height")).toInt();
    };
    const bool read = QTest::qWaitFor(
        [&] {
            char chunk[65536];
            ssize_t got = 0;
            while ((got = ::read(ends[0], chunk, sizeof chunk)) > 0) pixels.append(chunk, got);
            if (!pending.isFinished()) return false;
            const QDBusMessage reply = pending.reply();
            if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
                return true;
            }
            results = qdbus_cast<QVariantMap>(reply.arguments().front());
            return needed() > 0 && pixels.size() >= needed();
        },
        kCallTimeoutMs);
    close(ends[0]);
    const int width = results.value(QStringLiteral("width")).toInt();
    const int height = results.value(QStringLiteral("height")).toInt();
    const int stride = results.value(QStringLiteral("stride")).toInt();
    const auto format = QImage::Format(results.value(QStringLiteral("format")).toInt());
    if (!read || width <= 0 || height <= 0 || needed() <= 0 || pixels.size() < needed()) {
        return false;
    }
    return QImage(reinterpret_cast<const uchar*>(pixels.constData()), width, height, stride, format)
        .save(path, "PNG");
}

bool KwinSession::input(const QByteArray& command) {
    if (!input_ || input_->state() != QProcess::Running) return false;
    input_->write(command + '\n');
    // The pad may run in this process: its events keep flowing while KWin handles the command.
    const bool answered = QTest::qWaitFor(
        [&] {
            input_->waitForReadyRead(5);
            return input_->canReadLine() || input_->state() != QProcess::Running;
        },
        kCallTimeoutMs);
    return answered && input_->canReadLine() && input_->readLine().trimmed() == "ok";
}

bool KwinSession::move(QPoint at) {
    return input("move " + QByteArray::number(at.x()) + ' ' + QByteArray::number(at.y()));
}

bool KwinSession::press() { return input("down"); }

bool KwinSession::release() { return input("up"); }

bool KwinSession::key(int code, bool down) {
    return input("key " + QByteArray::number(code) + (down ? " down" : " up"));
}

void KwinSession::type(const QString& text) {
    for (const QChar c : text) {
        const auto pressed = c.unicode() < 128 ? usKey(char(c.unicode())) : std::nullopt;
        if (!pressed) continue;
        const auto [code, shift] = *pressed;
        if (shift) (void)key(KEY_LEFTSHIFT, true);
        (void)key(code, true);
        (void)key(code, false);
        if (shift) (void)key(KEY_LEFTSHIFT, false);
    }
}

}  // namespace sumiro::testing
