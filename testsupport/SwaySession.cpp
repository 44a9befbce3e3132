#include "testsupport/SwaySession.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

namespace sumiro::testing {
namespace {

constexpr auto kStartTimeout = std::chrono::seconds(30);
constexpr auto kCommandTimeout = std::chrono::seconds(10);
constexpr int kWidth = 1280;
constexpr int kHeight = 800;
// The account the compositor runs as when the test runs as root.
constexpr char kAccount[] = "sumiro-test";

std::optional<Account> compositorAccount(std::string& error) {
    if (geteuid() != 0) return std::nullopt;
    const auto look = [] { return getpwnam(kAccount); };
    if (!look()) {
        // Several tests may get here at once: "already exists" (9) is as good as made.
        QProcess add;
        add.start(QStringLiteral("useradd"),
                  {QStringLiteral("--system"), QStringLiteral("--no-create-home"),
                   QStringLiteral("--home-dir"), QStringLiteral("/nonexistent"),
                   QStringLiteral("--shell"), QStringLiteral("/usr/sbin/nologin"),
                   QString::fromLatin1(kAccount)});
        add.waitForFinished(std::chrono::milliseconds(kCommandTimeout).count());
    }
    const passwd* entry = look();
    if (!entry) {
        error = std::string("cannot create the account ") + kAccount + " that sway runs as";
        return std::nullopt;
    }
    return Account{entry->pw_uid, entry->pw_gid};
}

// Runs a program to its end; its standard output, or nothing when it failed.
std::optional<QByteArray> output(const QStringList& argv,
                                 const std::vector<std::pair<QString, QString>>& env = {}) {
    QProcess process;
    auto environment = QProcessEnvironment::systemEnvironment();
    for (const auto& [name, value] : env) environment.insert(name, value);
    process.setProcessEnvironment(environment);
    process.start(argv.front(), argv.mid(1));
    if (!process.waitForFinished(std::chrono::milliseconds(kCommandTimeout).count())) {
        process.kill();
        process.waitForFinished();
        return std::nullopt;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        return std::nullopt;
    }
    return process.readAllStandardOutput();
}

void collectViews(const QJsonObject& node, bool floating, std::vector<SwaySession::View>& out) {
    if (node.contains(QStringLiteral("pid"))) {
        const QJsonObject rect = node[QStringLiteral("rect")].toObject();
        out.push_back(
            {node[QStringLiteral("pid")].toInteger(), node[QStringLiteral("app_id")].toString(),
             node[QStringLiteral("name")].toString(),
             QRect(rect[QStringLiteral("x")].toInt(), rect[QStringLiteral("y")].toInt(),
                   rect[QStringLiteral("width")].toInt(), rect[QStringLiteral("height")].toInt()),
             node[QStringLiteral("focused")].toBool(), floating});
    }
    for (const auto& child : node[QStringLiteral("nodes")].toArray()) {
        collectViews(child.toObject(), floating, out);
    }
    for (const auto& child : node[QStringLiteral("floating_nodes")].toArray()) {
        collectViews(child.toObject(), true, out);
    }
}

}  // namespace

std::string SwaySession::missing() {
    for (const char* program : {"sway", "swaymsg", "Xwayland", "xhost", "grim", "wtype"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(program)).isEmpty()) {
            return std::string(program) + " is not installed";
        }
    }
    return {};
}

std::unique_ptr<SwaySession> SwaySession::start(std::string& error) {
    std::unique_ptr<SwaySession> session(new SwaySession);
    if (!session->directory_.isValid() || !session->clients_.isValid()) {
        error = "cannot make a runtime directory";
        return nullptr;
    }
    session->account_ = compositorAccount(error);
    if (!error.empty()) return nullptr;
    const QString dir = session->directory_.path();
    QFile::setPermissions(session->clients_.path(),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    if (session->account_ && chown(dir.toLocal8Bit().constData(), session->account_->user,
                                   session->account_->group) != 0) {
        error = "cannot hand the runtime directory to the compositor's account";
        return nullptr;
    }
    // XWayland makes its socket there; made by root, every account may.
    if (geteuid() == 0 && mkdir("/tmp/.X11-unix", 01777) == 0) chmod("/tmp/.X11-unix", 01777);

    // Once XWayland runs and lets this test's account in, the compositor names both displays.
    const QString ready = QDir(dir).filePath(QStringLiteral("ready"));
    const QString user = QString::fromLocal8Bit(getpwuid(geteuid())->pw_name);
    QFile config(QDir(dir).filePath(QStringLiteral("config")));
    if (!config.open(QIODevice::WriteOnly)) {
        error = "cannot write sway's configuration";
        return nullptr;
    }
    config.write(QStringLiteral("xwayland enable\n"
                                "output * resolution %1x%2 position 0 0\n"
                                "exec sh -c 'xhost +si:localuser:%3 >/dev/null && "
                                "printf \"%s\\n%s\\n\" \"$WAYLAND_DISPLAY\" \"$DISPLAY\" > %4.new "
                                "&& mv %4.new %4'\n")
                     .arg(kWidth)
                     .arg(kHeight)
                     .arg(user, ready)
                     .toUtf8());
    config.close();
    session->sway_ = launch({QStringLiteral("sway"), QStringLiteral("-c"), config.fileName()},
                            {{"HOME", dir},
                             {"XDG_RUNTIME_DIR", dir},
                             {"WAYLAND_DISPLAY", ""},
                             {"DISPLAY", ""},
                             {"WLR_BACKENDS", "headless"},
                             {"WLR_LIBINPUT_NO_DEVICES", "1"},
                             {"WLR_RENDERER", "pixman"}},
                            QProcess::ForwardedErrorChannel, session->account_);

    const QDeadlineTimer deadline(kStartTimeout);
    while (!QFile::exists(ready)) {
        if (deadline.hasExpired() || session->sway_->state() == QProcess::NotRunning) {
            error = "sway with XWayland did not come up";
            return nullptr;
        }
        QThread::msleep(20);
    }
    QFile names(ready);
    names.open(QIODevice::ReadOnly);
    const QList<QByteArray> lines = names.readAll().split('\n');
    if (lines.size() < 2 || lines[0].isEmpty() || lines[1].isEmpty()) {
        error = "sway did not name its displays";
        return nullptr;
    }
    session->wayland_ = QDir(dir).filePath(QString::fromLocal8Bit(lines[0]));
    session->display_ = lines[1].toStdString();
    const QStringList sockets =
        QDir(dir).entryList({QStringLiteral("sway-ipc.*.sock")}, QDir::System);
    if (sockets.isEmpty()) {
        error = "sway made no IPC socket";
        return nullptr;
    }
    session->ipc_ = QDir(dir).filePath(sockets.front());

    session->pointer_ = launch(
        {QStringLiteral(SUMIRO_VIRTUAL_POINTER), QString::number(kWidth), QString::number(kHeight)},
        {{"WAYLAND_DISPLAY", session->wayland_}}, QProcess::ForwardedErrorChannel);
    if (!session->move({kWidth - 1, kHeight - 1})) {
        error = "the virtual pointer did not start";
        return nullptr;
    }
    // A keyboard, as every desktop has: without one the seat gives no client the keyboard and
    // GTK 3 never sees its window focused. It presses and releases Shift before any window is
    // there, then stays.
    session->typists_.push_back(
        session->spawn({QStringLiteral("wtype"), QStringLiteral("-M"), QStringLiteral("shift"),
                        QStringLiteral("-m"), QStringLiteral("shift"), QStringLiteral("-s"),
                        QStringLiteral("3600000")}));
    while (!output({QStringLiteral("swaymsg"), QStringLiteral("-s"), session->ipc_,
                    QStringLiteral("-t"), QStringLiteral("get_inputs")})
                .value_or(QByteArray())
                .contains("\"type\": \"keyboard\"")) {
        if (deadline.hasExpired()) {
            error = "the virtual keyboard did not start";
            return nullptr;
        }
        QThread::msleep(20);
    }
    return session;
}

SwaySession::~SwaySession() = default;

Child SwaySession::spawn(const QStringList& argv,
                         std::vector<std::pair<QString, QString>> env) const {
    // GTK does not even try Wayland without a runtime directory; the caller's one wins.
    env.insert(env.begin(), {"XDG_RUNTIME_DIR", clients_.path()});
    env.emplace_back("WAYLAND_DISPLAY", wayland_);
    env.emplace_back("DISPLAY", QString::fromStdString(display_));
    return launch(argv, env, QProcess::ForwardedChannels);
}

bool SwaySession::command(const QString& command) const {
    const auto reply = output({QStringLiteral("swaymsg"), QStringLiteral("-s"), ipc_, command});
    return reply && reply->contains("\"success\": true");
}

QJsonObject SwaySession::tree() const {
    const auto reply =
        output({QStringLiteral("swaymsg"), QStringLiteral("-s"), ipc_, QStringLiteral("-r"),
                QStringLiteral("-t"), QStringLiteral("get_tree")});
    return reply ? QJsonDocument::fromJson(*reply).object() : QJsonObject();
}

std::vector<SwaySession::View> SwaySession::views() const {
    std::vector<View> out;
    collectViews(tree(), false, out);
    return out;
}

qint64 SwaySession::focusedPid() const {
    for (const View& view : views()) {
        if (view.focused) return view.pid;
    }
    return 0;
}

std::optional<QRect> SwaySession::frameOf(qint64 pid) const {
    for (const View& view : views()) {
        if (view.pid == pid) return view.rect;
    }
    return std::nullopt;
}

bool SwaySession::screenshot(const QString& path) const {
    return output({QStringLiteral("grim"), path}, {{"WAYLAND_DISPLAY", wayland_}}).has_value();
}

bool SwaySession::pointer(const QByteArray& command) {
    if (!pointer_ || pointer_->state() != QProcess::Running) return false;
    pointer_->write(command + '\n');
    // The pad may run in this process: its events keep flowing while sway handles the command.
    const QDeadlineTimer deadline(kCommandTimeout);
    while (!pointer_->canReadLine()) {
        if (deadline.hasExpired() || pointer_->state() != QProcess::Running) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        pointer_->waitForReadyRead(5);
    }
    return pointer_->readLine().trimmed() == "ok";
}

bool SwaySession::move(QPoint at) {
    return pointer("move " + QByteArray::number(at.x()) + ' ' + QByteArray::number(at.y()));
}

bool SwaySession::press() { return pointer("down"); }

bool SwaySession::release() { return pointer("up"); }

void SwaySession::type(const QString& text) {
    // After the text the typist waits, its keyboard alive, until the session ends.
    typists_.push_back(
        spawn({QStringLiteral("wtype"), QStringLiteral("-k"), QStringLiteral("Shift_L"), text,
               QStringLiteral("-s"), QStringLiteral("3600000")}));
}

}  // namespace sumiro::testing
