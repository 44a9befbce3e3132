#include "input/inputmethod/Fcitx5Route.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QFileInfo>
#include <QVariantList>
#include <atomic>

#include "im/fcitx5/SumiroBus.h"

namespace sumiro {
namespace {

// A call that the addon does not answer in this time has failed; answers take about 1 ms.
constexpr int callTimeoutMs = 1000;

// Names each route's connection: Qt hands out an existing connection of the same name, dead or
// alive, as long as anything still refers to it.
std::atomic<int> routes{0};

QString sessionBusAddress() {
    const QString address = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
    if (!address.isEmpty()) return address;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo::exists(runtime + QStringLiteral("/bus"))) {
        return QStringLiteral("unix:path=") + runtime + QStringLiteral("/bus");
    }
    return {};
}

QDBusMessage methodCall(const QString& method) {
    auto message = QDBusMessage::createMethodCall(QString::fromLatin1(fcitx5::service),
                                                  QString::fromLatin1(fcitx5::path),
                                                  QString::fromLatin1(fcitx5::interface), method);
    message.setAutoStartService(false);
    return message;
}

}  // namespace

Fcitx5Route::Fcitx5Route(QString pad, QString address)
    : pad_(std::move(pad)),
      address_(address.isEmpty() ? sessionBusAddress() : std::move(address)),
      connection_(QStringLiteral("sumiro-fcitx5-%1").arg(++routes)) {}

Fcitx5Route::~Fcitx5Route() { QDBusConnection::disconnectFromBus(connection_); }

bool Fcitx5Route::connected() {
    if (address_.isEmpty()) return false;
    if (QDBusConnection(connection_).isConnected()) return true;
    // A bus that went away (or was never there) is tried afresh.
    QDBusConnection::disconnectFromBus(connection_);
    auto bus = QDBusConnection::connectToBus(address_, connection_);
    if (!bus.isConnected()) return false;
    bus.connect(QString::fromLatin1(fcitx5::service), QString::fromLatin1(fcitx5::path),
                QString::fromLatin1(fcitx5::interface), QStringLiteral("FocusChanged"), this,
                SLOT(onFocusChanged(bool, QString)));
    return true;
}

bool Fcitx5Route::answers() {
    if (!connected()) return false;
    const auto* bus = QDBusConnection(connection_).interface();
    return bus && bus->isServiceRegistered(QString::fromLatin1(fcitx5::service)).value();
}

void Fcitx5Route::onFocusChanged(bool focused, const QString& program) {
    if (focusChanged) focusChanged(focused, program.toStdString());
}

std::optional<std::string> Fcitx5Route::focusedProgram() {
    if (!connected()) return std::nullopt;
    const QDBusMessage reply =
        QDBusConnection(connection_)
            .call(methodCall(QStringLiteral("FocusedProgram")), QDBus::Block, callTimeoutMs);
    const auto values = reply.arguments();
    if (reply.type() != QDBusMessage::ReplyMessage || values.size() != 2 || !values[0].toBool()) {
        return std::nullopt;
    }
    return values[1].toString().toStdString();
}

InputMethodRoute::Result Fcitx5Route::call(const QString& method, const QVariantList& arguments) {
    if (!connected()) return Result::Failed;
    QDBusMessage message = methodCall(method);
    message.setArguments(arguments);
    const QDBusMessage reply =
        QDBusConnection(connection_).call(message, QDBus::Block, callTimeoutMs);
    if (reply.type() == QDBusMessage::ReplyMessage) return Result::Typed;
    if (reply.errorName() == QLatin1String(fcitx5::noFocusError)) return Result::NoFocus;
    if (reply.errorName() == QLatin1String(fcitx5::padFocusedError)) return Result::PadFocused;
    return Result::Failed;
}

InputMethodRoute::Result Fcitx5Route::commit(std::u32string_view text) {
    const QString string = QString::fromUcs4(text.data(), static_cast<qsizetype>(text.size()));
    return call(QStringLiteral("Commit"), {string, pad_});
}

InputMethodRoute::Result Fcitx5Route::pressKey(Key key) {
    return call(QStringLiteral("PressKey"), {static_cast<uint>(key), pad_});
}

QString Fcitx5Route::version() {
    if (!connected()) return {};
    const QDBusReply<QString> reply =
        QDBusConnection(connection_)
            .call(methodCall(QStringLiteral("Version")), QDBus::Block, callTimeoutMs);
    return reply.isValid() ? reply.value() : QString();
}

}  // namespace sumiro
