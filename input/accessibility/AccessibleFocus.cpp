#include "input/accessibility/AccessibleFocus.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QThread>
#include <atomic>
#include <utility>
#include <vector>

#include "input/SessionBus.h"

namespace sumiro::accessibility {
namespace {

const QString busService = QStringLiteral("org.freedesktop.DBus");
const QString busPath = QStringLiteral("/org/freedesktop/DBus");
const QString accessibleInterface = QStringLiteral("org.a11y.atspi.Accessible");
// Every application's own accessible object, whose children are its windows.
const QString rootPath = QStringLiteral("/org/a11y/atspi/accessible/root");
// GTK 4's name for an application that has none (no program name set).
const QString unnamedApplication = QStringLiteral("Unnamed");
// The ACTIVE state's bit in the first word of a state set: a window that has the focus.
constexpr quint32 activeState = 1U << 1;
// Starting the accessibility bus (the session bus starts at-spi2-core's launcher, which starts
// the bus daemon) may take a while on a busy machine; this is waited for off the event loop.
constexpr int startTimeoutMs = 20000;

// Names each object's connections: Qt hands out an existing connection of the same name, dead
// or alive, as long as anything still refers to it.
std::atomic<int> connections{0};

QDBusMessage propertyCall(const QString& app, const QString& path, const QString& property) {
    auto call = QDBusMessage::createMethodCall(
        app, path, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    call << accessibleInterface << property;
    call.setAutoStartService(false);
    return call;
}

QDBusMessage accessibleCall(const QString& app, const QString& path, const QString& method) {
    auto call = QDBusMessage::createMethodCall(app, path, accessibleInterface, method);
    call.setAutoStartService(false);
    return call;
}

bool answered(const QDBusMessage& reply) {
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty();
}

QString stringProperty(const QDBusMessage& reply) {
    return qvariant_cast<QDBusVariant>(reply.arguments().front()).variant().toString();
}

// The objects of an a(so) list: (connection, path) pairs.
std::vector<std::pair<QString, QString>> references(const QVariant& value) {
    std::vector<std::pair<QString, QString>> found;
    const auto list = qvariant_cast<QDBusArgument>(value);
    if (list.currentSignature() != QLatin1String("a(so)")) return found;
    list.beginArray();
    while (!list.atEnd()) {
        QString app;
        QDBusObjectPath path;
        list.beginStructure();
        list >> app >> path;
        list.endStructure();
        found.emplace_back(app, path.path());
    }
    list.endArray();
    return found;
}

}  // namespace

std::unique_ptr<AccessibleFocus> AccessibleFocus::open(const QString& sessionBus,
                                                       const QString& accessibilityBus,
                                                       std::function<void()> changed) {
    const QString address =
        accessibilityBus.isEmpty() ? qEnvironmentVariable("AT_SPI_BUS_ADDRESS") : accessibilityBus;
    const QString session = sessionBus.isEmpty() ? userSessionBus() : sessionBus;
    if (address.isEmpty() && session.isEmpty()) return nullptr;
    std::unique_ptr<AccessibleFocus> focus(new AccessibleFocus(std::move(changed)));
    focus->connectTo(address, session);
    return focus;
}

AccessibleFocus::AccessibleFocus(std::function<void()> changed)
    : connection_(QStringLiteral("sumiro-a11y-%1").arg(++connections)),
      changed_(std::move(changed)) {}

AccessibleFocus::~AccessibleFocus() {
    *abandoned_ = true;
    QDBusConnection::disconnectFromBus(connection_);
}

void AccessibleFocus::connectTo(const QString& address, const QString& session) {
    auto connected = std::make_shared<std::atomic<bool>>(false);
    auto* thread =
        QThread::create([address, session, connected, abandoned = abandoned_, name = connection_] {
            QString bus = address;
            if (bus.isEmpty()) {
                const QString asking = name + QStringLiteral("-session");
                auto call = QDBusMessage::createMethodCall(
                    QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
                    QStringLiteral("org.a11y.Bus"), QStringLiteral("GetAddress"));
                const QDBusMessage reply = QDBusConnection::connectToBus(session, asking)
                                               .call(call, QDBus::Block, startTimeoutMs);
                QDBusConnection::disconnectFromBus(asking);
                if (answered(reply)) bus = reply.arguments().front().toString();
            }
            if (bus.isEmpty()) return;
            *connected = QDBusConnection::connectToBus(bus, name).isConnected();
            // Gone while this connected: nobody follows the bus.
            if (*abandoned) QDBusConnection::disconnectFromBus(name);
        });
    // A thread still waiting for a bus that hangs is left to end with the process.
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    connect(thread, &QThread::finished, this, [this, connected] {
        if (*connected) follow();
    });
    thread->start();
}

void AccessibleFocus::follow() {
    QDBusConnection bus(connection_);
    const QString object = QStringLiteral("org.a11y.atspi.Event.Object");
    const QString window = QStringLiteral("org.a11y.atspi.Event.Window");
    // The bus filters the state changes by their kind: with a screen reader running, toolkits
    // report many more.
    for (const char* state : {"focused", "active"}) {
        bus.connect({}, {}, object, QStringLiteral("StateChanged"), {QString::fromLatin1(state)},
                    {}, this, SLOT(onStateChanged(QDBusMessage)));
    }
    bus.connect({}, {}, window, QStringLiteral("Activate"), this,
                SLOT(onWindowActivated(QDBusMessage)));
    bus.connect({}, {}, window, QStringLiteral("Deactivate"), this,
                SLOT(onWindowDeactivated(QDBusMessage)));
    bus.connect(busService, busPath, busService, QStringLiteral("NameOwnerChanged"), this,
                SLOT(onNameOwnerChanged(QString, QString, QString)));
    // Toolkits send only the events someone asked the registry for. GTK 3 tells a window's
    // activation both ways; GTK 4 only as a state.
    for (const char* event : {"object:state-changed:focused", "object:state-changed:active",
                              "window:activate", "window:deactivate"}) {
        auto call = QDBusMessage::createMethodCall(
            QStringLiteral("org.a11y.atspi.Registry"), QStringLiteral("/org/a11y/atspi/registry"),
            QStringLiteral("org.a11y.atspi.Registry"), QStringLiteral("RegisterEvent"));
        call << QString::fromLatin1(event);
        ask(call, {});
    }
    // The window that became active before the pad started is found by asking every
    // application (not only those the registry lists: GTK 4 may not be among them).
    ask(QDBusMessage::createMethodCall(busService, busPath, busService,
                                       QStringLiteral("ListNames")),
        [this](const QDBusMessage& reply) {
            if (!answered(reply)) return;
            const QString self = QDBusConnection(connection_).baseService();
            for (const QString& name : reply.arguments().front().toStringList()) {
                if (name.startsWith(QLatin1Char(':')) && name != self) findActiveWindows(name);
            }
        });
}

void AccessibleFocus::findActiveWindows(const QString& app) {
    ask(accessibleCall(app, rootPath, QStringLiteral("GetChildren")),
        [this, app](const QDBusMessage& reply) {
            if (!answered(reply)) return;  // not an application
            for (const auto& reference : references(reply.arguments().front())) {
                if (reference.first != app) continue;
                const QString path = reference.second;  // a lambda cannot capture a binding
                ask(accessibleCall(app, path, QStringLiteral("GetState")),
                    [this, app, path](const QDBusMessage& state) {
                        if (!answered(state)) return;
                        const auto words = qdbus_cast<QList<quint32>>(state.arguments().front());
                        if (!words.isEmpty() && (words.front() & activeState) != 0) {
                            gained(app, path, true);
                        }
                    });
            }
        });
}

void AccessibleFocus::onStateChanged(const QDBusMessage& message) {
    const QVariantList arguments = message.arguments();
    if (arguments.size() < 2) return;
    const QString state = arguments.at(0).toString();
    const bool set = arguments.at(1).toInt() != 0;
    if (state != QLatin1String("focused") && state != QLatin1String("active")) return;
    if (set) {
        gained(message.service(), message.path(), state == QLatin1String("active"));
    } else {
        lost(message.service(), message.path());
    }
}

void AccessibleFocus::onWindowActivated(const QDBusMessage& message) {
    gained(message.service(), message.path(), true);
}

void AccessibleFocus::onWindowDeactivated(const QDBusMessage& message) {
    lost(message.service(), message.path());
}

void AccessibleFocus::onNameOwnerChanged(const QString& name, const QString&,
                                         const QString& newOwner) {
    if (!newOwner.isEmpty() || !name.startsWith(QLatin1Char(':'))) return;
    learning_.erase(name);
    changing([&] { holder_.left(name.toStdString()); });
}

void AccessibleFocus::gained(const QString& app, const QString& object, bool window) {
    if (app.isEmpty() || app == QDBusConnection(connection_).baseService()) return;
    learn(app);
    const auto now = FocusHolder::Clock::now();
    if (!window) {
        changing([&] { holder_.focused(app.toStdString(), object.toStdString(), now); });
        return;
    }
    changing([&] { holder_.activated(app.toStdString(), object.toStdString(), now); });
    ask(propertyCall(app, object, QStringLiteral("Name")),
        [this, app, object](const QDBusMessage& reply) {
            if (!answered(reply)) return;
            changing([&] {
                holder_.titled(app.toStdString(), object.toStdString(),
                               stringProperty(reply).toStdString());
            });
        });
}

void AccessibleFocus::lost(const QString& app, const QString& object) {
    changing([&] { holder_.lost(app.toStdString(), object.toStdString()); });
}

void AccessibleFocus::learn(const QString& app) {
    if (!learning_.insert(app).second) return;
    // The pad's own windows speak AT-SPI too where accessibility is on: they are never the
    // target. Its name is asked only once that is settled, so that the pad is never named.
    auto pid = QDBusMessage::createMethodCall(busService, busPath, busService,
                                              QStringLiteral("GetConnectionUnixProcessID"));
    pid << app;
    ask(pid, [this, app](const QDBusMessage& reply) {
        if (!answered(reply)) return;  // it has left the bus
        if (reply.arguments().front().toLongLong() == QCoreApplication::applicationPid()) {
            changing([&] { holder_.ignore(app.toStdString()); });
            return;
        }
        ask(propertyCall(app, rootPath, QStringLiteral("Name")),
            [this, app](const QDBusMessage& name) {
                QString called = answered(name) ? stringProperty(name) : QString();
                if (called == unnamedApplication) called.clear();
                changing([&] { holder_.named(app.toStdString(), called.toStdString()); });
            });
    });
}

void AccessibleFocus::ask(const QDBusMessage& message,
                          std::function<void(const QDBusMessage&)> handle) {
    const QDBusPendingCall pending = QDBusConnection(connection_).asyncCall(message, callTimeoutMs);
    auto* watcher = new QDBusPendingCallWatcher(pending, this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [handle = std::move(handle)](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                if (handle) handle(finished->reply());
            });
}

template <typename Change>
void AccessibleFocus::changing(Change change) {
    const auto before = holder_.holder();
    change();
    if (holder_.holder() != before && changed_) changed_();
}

}  // namespace sumiro::accessibility
