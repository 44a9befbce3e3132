#include "testsupport/InputMethodSession.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTest>

#include "im/fcitx5/SumiroBus.h"

namespace sumiro::testing {
namespace {

constexpr int startTimeoutMs = 20000;

// A session bus without service directories: nothing on it is ever activated, so a call can
// never start a stock input method behind the test's back.
constexpr char busConfig[] = R"(<!DOCTYPE busconfig PUBLIC
 "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>%1</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)";

}  // namespace

std::string InputMethodSession::missing(Kind kind) {
    if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty()) {
        return "dbus-daemon is not installed";
    }
    if (kind == Kind::Fcitx5) {
        if (QStandardPaths::findExecutable(QStringLiteral("fcitx5")).isEmpty()) {
            return "fcitx5 is not installed";
        }
        if (!QFileInfo::exists(QStringLiteral(SUMIRO_FCITX5_ADDON_DIR "/libsumiro.so"))) {
            return "the fcitx5 addon was not built (fcitx5 development packages missing)";
        }
        return {};
    }
#ifndef SUMIRO_WITH_IBUS
    return "delivery through IBus was not built (IBus development files missing)";
#else
    if (QStandardPaths::findExecutable(QStringLiteral("ibus-daemon")).isEmpty()) {
        return "ibus-daemon is not installed";
    }
    return {};
#endif
}

std::unique_ptr<InputMethodSession> InputMethodSession::start(const Spawn& spawn, Kind kind,
                                                              std::string& error) {
    std::unique_ptr<InputMethodSession> session(new InputMethodSession);
    session->kind_ = kind;
    const QDir dir(session->directory_.path());
    const QString socket = dir.filePath(QStringLiteral("bus"));
    session->bus_ = QStringLiteral("unix:path=") + socket;
    QFile config(dir.filePath(QStringLiteral("bus.conf")));
    if (!config.open(QIODevice::WriteOnly) ||
        config.write(QString::fromLatin1(busConfig).arg(session->bus_).toUtf8()) < 0) {
        error = "cannot write the bus configuration";
        return nullptr;
    }
    config.close();
    session->busDaemon_ =
        spawn({QStringLiteral("dbus-daemon"), QStringLiteral("--nofork"),
               QStringLiteral("--nopidfile"), QStringLiteral("--config-file=") + config.fileName()},
              {});
    if (!QTest::qWaitFor([&] { return QFileInfo::exists(socket); }, startTimeoutMs)) {
        error = "the session bus did not come up";
        return nullptr;
    }

    // The input method keeps its configuration and runtime files in the test's directory.
    for (const char* sub : {"home", "config", "data", "runtime"}) dir.mkpath(sub);
    QFile::setPermissions(dir.filePath(QStringLiteral("runtime")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    std::vector<std::pair<QString, QString>> env = {
        {"DBUS_SESSION_BUS_ADDRESS", session->bus_},
        {"HOME", dir.filePath(QStringLiteral("home"))},
        {"XDG_CONFIG_HOME", dir.filePath(QStringLiteral("config"))},
        {"XDG_DATA_HOME", dir.filePath(QStringLiteral("data"))},
        {"XDG_RUNTIME_DIR", dir.filePath(QStringLiteral("runtime"))},
    };
    if (kind == Kind::Fcitx5) {
        // The addon from the build tree; fcitx5's own addons still come from the system folder.
        env.emplace_back("FCITX_ADDON_DIRS", QStringLiteral(SUMIRO_FCITX5_ADDON_DIR
                                                            ":" SUMIRO_FCITX5_SYSTEM_ADDON_DIR));
        env.emplace_back("XDG_DATA_DIRS",
                         QStringLiteral(SUMIRO_FCITX5_DATA_DIR ":/usr/local/share:/usr/share"));
        // The addon takes calls from the pad alone: this test delivers from its own process.
        env.emplace_back(QString::fromLatin1(fcitx5::extraPadsVariable),
                         QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath());
        session->inputMethod_ = spawn(
            {QStringLiteral("fcitx5"), QStringLiteral("--disable=classicui,notificationitem")},
            env);
        // Polled with blocking calls: the caller may have no event loop yet. The bus's socket
        // may be there a moment before the bus listens on it, and a refused connection stays
        // refused: one that is not connected is made anew.
        const QString watch = QStringLiteral("fcitx5-watch");
        auto bus = QDBusConnection::connectToBus(session->bus_, watch);
        const auto answers = [&](const QString& service, const QString& path,
                                 const QString& interface, const QString& method) {
            if (!bus.isConnected()) {
                bus = QDBusConnection(QString());  // the dead one goes once nothing refers to it
                QDBusConnection::disconnectFromBus(watch);
                bus = QDBusConnection::connectToBus(session->bus_, watch);
            }
            const QDBusReply<QString> reply =
                bus.call(QDBusMessage::createMethodCall(service, path, interface, method));
            return reply.isValid() && !reply.value().isEmpty();
        };
        if (!QTest::qWaitFor(
                [&] {
                    return answers(
                        QString::fromLatin1(fcitx5::service), QString::fromLatin1(fcitx5::path),
                        QString::fromLatin1(fcitx5::interface), QStringLiteral("Version"));
                },
                startTimeoutMs)) {
            QDBusConnection::disconnectFromBus(watch);
            error = "fcitx5 did not load the Sumiro addon";
            return nullptr;
        }
        // Clients are served once fcitx5 has its input method group, after loading the addons.
        const bool ready = QTest::qWaitFor(
            [&] {
                return answers(QStringLiteral("org.fcitx.Fcitx5"), QStringLiteral("/controller"),
                               QStringLiteral("org.fcitx.Fcitx.Controller1"),
                               QStringLiteral("CurrentInputMethodGroup"));
            },
            startTimeoutMs);
        QDBusConnection::disconnectFromBus(watch);
        if (!ready) {
            error = "fcitx5 never got ready";
            return nullptr;
        }
        return session;
    }
#ifdef SUMIRO_WITH_IBUS
    session->ibusAddress_ = "unix:path=" + dir.filePath(QStringLiteral("ibus")).toStdString();
    session->inputMethod_ =
        spawn({QStringLiteral("ibus-daemon"), QStringLiteral("--panel=disable"),
               QStringLiteral("--emoji-extension=disable"), QStringLiteral("--config=disable"),
               QStringLiteral("--address=") + QString::fromStdString(session->ibusAddress_)},
              env);
    // Polled with a blocking connection: the caller may have no event loop yet.
    const QString ibus = QString::fromStdString(session->ibusAddress_);
    const bool answering = QTest::qWaitFor(
        [&] {
            const bool up =
                QDBusConnection::connectToBus(ibus, QStringLiteral("ibus-watch")).isConnected();
            QDBusConnection::disconnectFromBus(QStringLiteral("ibus-watch"));
            return up;
        },
        startTimeoutMs);
    if (!answering) {
        error = "ibus-daemon did not answer";
        return nullptr;
    }
#endif
    return session;
}

InputMethodSession::~InputMethodSession() = default;

std::vector<std::pair<QString, QString>> InputMethodSession::clientEnvironment() const {
    std::vector<std::pair<QString, QString>> env = {
        {"DBUS_SESSION_BUS_ADDRESS", bus_}, {"QT_QPA_PLATFORM", "xcb"}, {"GDK_BACKEND", "x11"}};
    if (kind_ == Kind::Fcitx5) {
        env.insert(
            env.end(),
            {{"QT_IM_MODULE", "fcitx"}, {"GTK_IM_MODULE", "fcitx"}, {"XMODIFIERS", "@im=fcitx"}});
    } else {
        env.insert(env.end(), {{"QT_IM_MODULE", "ibus"},
                               {"GTK_IM_MODULE", "ibus"},
                               {"XMODIFIERS", "@im=ibus"},
                               {"IBUS_ADDRESS", QString::fromStdString(ibusAddress_)},
                               // Qt finds the daemon only through its address file.
                               {"XDG_CONFIG_HOME", QDir(directory_.path()).filePath("config")}});
    }
    return env;
}

}  // namespace sumiro::testing
