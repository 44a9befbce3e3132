#include "input/inputmethod/Fcitx5Route.h"

#include <QDBusConnection>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <QVariantList>
#include <atomic>

#include "im/fcitx5/SumiroBus.h"
#include "input/SessionBus.h"

namespace sumiro {
namespace {

const QString service = QString::fromLatin1(fcitx5::service);
const QString busService = QStringLiteral("org.freedesktop.DBus");

// Names each route's connection: Qt hands out an existing connection of the same name, dead or
// alive, as long as anything still refers to it.
std::atomic<int> routes{0};

QDBusMessage busCall(const QString& method, const QVariantList& arguments) {
    auto message = QDBusMessage::createMethodCall(
        busService, QStringLiteral("/org/freedesktop/DBus"), busService, method);
    message.setArguments(arguments);
    return message;
}

// The executable's file name of a process, as the kernel has it.
QString executableName(quint32 pid) {
    QString target = QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(pid));
    target.remove(QStringLiteral(" (deleted)"));
    return QFileInfo(target).fileName();
}

// Errors after which the call certainly typed nothing: nobody took it.
bool undelivered(const QString& error) {
    return error == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
           error == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner") ||
           error == QLatin1String("org.freedesktop.DBus.Error.UnknownMethod") ||
           error == QLatin1String("org.freedesktop.DBus.Error.UnknownObject") ||
           error == QLatin1String(fcitx5::refusedError);
}

}  // namespace

Fcitx5Route::Fcitx5Route(QString pad, QString address, QString version)
    : pad_(std::move(pad)),
      address_(address.isEmpty() ? userSessionBus() : std::move(address)),
      version_(version.isEmpty() ? QStringLiteral(SUMIRO_VERSION) : std::move(version)),
      connection_(QStringLiteral("sumiro-fcitx5-%1").arg(++routes)) {
    if (address_.isEmpty()) return;
    auto bus = QDBusConnection::connectToBus(address_, connection_);
    if (!bus.isConnected()) return;
    // The bus says when the name changes hands: no call is made to learn whether it is there.
    watcher_ = std::make_unique<QDBusServiceWatcher>(service, bus,
                                                     QDBusServiceWatcher::WatchForOwnerChange);
    connect(watcher_.get(), &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& owner) { ownerChanged(owner); });
    bus.connect(service, QString::fromLatin1(fcitx5::path), QString::fromLatin1(fcitx5::interface),
                QStringLiteral("FocusChanged"), this,
                SLOT(onFocusChanged(bool, QString, QDBusMessage)));
    ask(busCall(QStringLiteral("GetNameOwner"), {service}), [this](const QDBusMessage& reply) {
        if (reply.type() == QDBusMessage::ReplyMessage && state_ == State::Absent) {
            ownerChanged(reply.arguments().value(0).toString());
        }
    });
}

Fcitx5Route::~Fcitx5Route() {
    // The watchers of pending calls are children of this object and go with it, unanswered.
    watcher_.reset();
    QDBusConnection::disconnectFromBus(connection_);
}

void Fcitx5Route::ask(const QDBusMessage& message,
                      std::function<void(const QDBusMessage&)> handle) {
    const QDBusPendingCall pending = QDBusConnection(connection_).asyncCall(message, callTimeoutMs);
    auto* watcher = new QDBusPendingCallWatcher(pending, this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, generation = generation_,
             handle = std::move(handle)](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                if (generation == generation_) handle(finished->reply());
            });
}

void Fcitx5Route::ownerChanged(const QString& owner) {
    ++generation_;
    owner_ = owner;
    focused_.reset();
    state_ = owner.isEmpty() ? State::Absent : State::Checking;
    if (owner.isEmpty()) return;
    // The name may be taken by anyone on the bus: only fcitx5 with the addon the pad knows gets
    // the pad's characters.
    ask(busCall(QStringLiteral("GetConnectionUnixProcessID"), {owner}),
        [this](const QDBusMessage& reply) {
            if (reply.type() != QDBusMessage::ReplyMessage) return checkAgain();
            const quint32 pid = reply.arguments().value(0).toUInt();
            const QString program = pid ? executableName(pid) : QString();
            if (program != QLatin1String("fcitx5")) {
                unfit(QStringLiteral("its owner is %1, not fcitx5")
                          .arg(program.isEmpty() ? QStringLiteral("unknown") : program));
                return;
            }
            auto version = QDBusMessage::createMethodCall(owner_, QString::fromLatin1(fcitx5::path),
                                                          QString::fromLatin1(fcitx5::interface),
                                                          QStringLiteral("Version"));
            version.setAutoStartService(false);
            ask(version, [this](const QDBusMessage& answer) {
                if (answer.type() != QDBusMessage::ReplyMessage) return checkAgain();
                const QString addon = answer.arguments().value(0).toString();
                if (addon != version_) {
                    unfit(QStringLiteral("the addon's version is %1, the pad's %2; restart fcitx5")
                              .arg(addon.isEmpty() ? QStringLiteral("unknown") : addon, version_));
                    return;
                }
                state_ = State::Ready;
                auto focus = QDBusMessage::createMethodCall(
                    owner_, QString::fromLatin1(fcitx5::path),
                    QString::fromLatin1(fcitx5::interface), QStringLiteral("FocusedProgram"));
                focus.setAutoStartService(false);
                // A field focused before the route was ready is told as a focus change too:
                // until then the pad may know the target only as an X11 window, or not at all.
                ask(focus, [this](const QDBusMessage& focused) {
                    const auto values = focused.arguments();
                    if (values.size() == 2 && values[0].toBool()) {
                        focused_ = values[1].toString().toStdString();
                        focusChanged(true, *focused_);
                    }
                });
            });
        });
}

void Fcitx5Route::checkAgain() {
    // An fcitx5 busy starting may answer late; only an answer decides that it is unfit.
    QTimer::singleShot(std::chrono::seconds(1), this,
                       [this, generation = generation_, owner = owner_] {
                           if (generation == generation_) ownerChanged(owner);
                       });
}

void Fcitx5Route::unfit(const QString& why) {
    state_ = State::Unfit;
    qWarning("Sumiro: not typing through %s: %s", fcitx5::service, qPrintable(why));
}

void Fcitx5Route::onFocusChanged(bool focused, const QString& program,
                                 const QDBusMessage& message) {
    if (state_ != State::Ready || message.service() != owner_) return;
    if (focused) {
        focused_ = program.toStdString();
    } else {
        focused_.reset();
    }
    focusChanged(focused, program.toStdString());
}

void Fcitx5Route::call(const QString& method, const QVariantList& arguments, Done done) {
    if (state_ != State::Ready || !QDBusConnection(connection_).isConnected()) {
        done(Result::Refused);
        return;
    }
    // Sent to the owner that was checked, not to the name, which may change hands meanwhile.
    auto message = QDBusMessage::createMethodCall(owner_, QString::fromLatin1(fcitx5::path),
                                                  QString::fromLatin1(fcitx5::interface), method);
    message.setAutoStartService(false);
    message.setArguments(arguments);
    const quint64 generation = generation_;
    const QDBusPendingCall pending = QDBusConnection(connection_).asyncCall(message, callTimeoutMs);
    auto* watcher = new QDBusPendingCallWatcher(pending, this);
    // Unlike `ask`, the outcome is reported whoever owns the name by then.
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, generation, done = std::move(done)](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                const QDBusMessage reply = finished->reply();
                const QString error = reply.errorName();
                if (reply.type() == QDBusMessage::ReplyMessage) return done(Result::Typed);
                if (error == QLatin1String(fcitx5::noFocusError)) return done(Result::NoFocus);
                if (error == QLatin1String(fcitx5::padFocusedError)) {
                    return done(Result::PadFocused);
                }
                if (undelivered(error)) {
                    if (error == QLatin1String(fcitx5::refusedError) && generation == generation_) {
                        qWarning("Sumiro: fcitx5 refused a delivery: %s",
                                 qPrintable(reply.errorMessage()));
                    }
                    return done(Result::Refused);
                }
                // No answer in time, or the connection went while waiting: fcitx5 may still type
                // it, so no other way may type it again.
                done(Result::NoAnswer);
            });
}

void Fcitx5Route::commit(std::u32string_view text, Done done) {
    const QString string = QString::fromUcs4(text.data(), static_cast<qsizetype>(text.size()));
    call(QStringLiteral("Commit"), {string, pad_}, std::move(done));
}

void Fcitx5Route::pressKey(Key key, Done done) {
    call(QStringLiteral("PressKey"), {static_cast<uint>(key), pad_}, std::move(done));
}

}  // namespace sumiro
