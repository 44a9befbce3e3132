#include "controller/SingleInstance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QRegularExpression>
#include <QThread>
#include <cerrno>

namespace sumiro {

namespace {

const QByteArray kShow = QByteArrayLiteral("show\n");

QString fileNameWord(QString text) {
    text.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9._-]")), QStringLiteral("_"));
    return text;
}

// Whether `path` is a directory (not a link to one) of `userId` that no one else may enter.
bool isPrivateDirectory(const QByteArray& path, uint userId) {
    struct stat info {};
    return ::lstat(path.constData(), &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == userId && (info.st_mode & (S_IRWXG | S_IRWXO)) == 0;
}

// The user of the process at the other end of a local socket, if the system says.
std::optional<uint> peerUser(qintptr socket) {
    ucred credentials{};
    socklen_t size = sizeof credentials;
    if (socket < 0 ||
        ::getsockopt(static_cast<int>(socket), SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0) {
        return std::nullopt;
    }
    return credentials.uid;
}

bool sameUser(const QLocalSocket& socket) {
    return peerUser(socket.socketDescriptor()) == static_cast<uint>(::getuid());
}

}  // namespace

QString displayKey(const QString& platform, const QString& x11Display,
                   const QString& waylandDisplay) {
    if (platform.startsWith(QLatin1String("wayland"))) {
        const QString name =
            waylandDisplay.isEmpty() ? QStringLiteral("wayland-0") : waylandDisplay;
        return QStringLiteral("wayland-") + fileNameWord(name);
    }
    // [host]:display[.screen]; no host and "unix" both mean this machine's local socket.
    static const QRegularExpression x11(QStringLiteral(R"(^(.*):(\d+)(\.\d+)?$)"));
    QString key;
    if (const QRegularExpressionMatch parts = x11.match(x11Display); parts.hasMatch()) {
        const QString host = parts.captured(1);
        const QString number = QString::number(parts.captured(2).toULongLong());
        key = host.isEmpty() || host == QLatin1String("unix")
                  ? QStringLiteral("x11-") + number
                  : QStringLiteral("x11-") + fileNameWord(host) + '-' + number;
    } else {
        key = QStringLiteral("x11-") + fileNameWord(x11Display);
    }
    // A pad on another platform plugin (offscreen) shows no window on that display.
    if (platform.isEmpty() || platform == QLatin1String("xcb")) return key;
    return fileNameWord(platform) + '-' + key;
}

std::optional<QString> privateDirectory(const QString& runtimeDirectory, uint userId) {
    // Relative paths are to be ignored, as the XDG rules say.
    if (runtimeDirectory.startsWith(u'/') &&
        isPrivateDirectory(QFile::encodeName(runtimeDirectory), userId)) {
        return runtimeDirectory;
    }
    const QString fallback =
        QDir(QDir::tempPath()).filePath(QStringLiteral("sumiro-%1").arg(userId));
    const QByteArray path = QFile::encodeName(fallback);
    // Made private from the start; one made by someone else is never used.
    if (::mkdir(path.constData(), S_IRWXU) != 0 && errno != EEXIST) return std::nullopt;
    if (!isPrivateDirectory(path, userId)) return std::nullopt;
    return fallback;
}

SingleInstance::SingleInstance(const QString& directory, const QString& key)
    : socketName_(QDir(directory).filePath(QStringLiteral("sumiro-") + key)) {
    const QByteArray lockPath = QFile::encodeName(socketName_ + QStringLiteral(".lock"));
    // Close-on-exec: a program the pad starts (a browser for the help page) must not keep the
    // lock after the pad ends.
    lock_ =
        ::open(lockPath.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, S_IRUSR | S_IWUSR);
    if (lock_ < 0) return;
    state_ = ::flock(lock_, LOCK_EX | LOCK_NB) == 0 ? State::Claimed : State::Taken;
}

SingleInstance::~SingleInstance() {
    server_.close();  // removes the socket before the lock is let go
    if (lock_ >= 0) ::close(lock_);
}

bool SingleInstance::askToShow(std::chrono::milliseconds wait) const {
    const QDeadlineTimer deadline(wait);
    while (!deadline.hasExpired()) {
        QLocalSocket socket;
        socket.connectToServer(socketName_);
        if (!socket.waitForConnected(static_cast<int>(deadline.remainingTime()))) {
            // The pad that holds the lock may not listen yet.
            QThread::msleep(50);
            continue;
        }
        if (!sameUser(socket)) return false;
        socket.write(kShow);
        if (!socket.waitForBytesWritten(static_cast<int>(deadline.remainingTime()))) return false;
        // The running pad answers once it has shown its panel.
        while (!socket.canReadLine() &&
               socket.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
        }
        return socket.canReadLine() && socket.readLine() == "ok\n";
    }
    return false;
}

bool SingleInstance::listen(std::function<void()> reopen) {
    if (state_ != State::Claimed) return false;
    reopen_ = std::move(reopen);
    // Whatever socket is there, its pad has ended: it no longer holds the lock.
    QLocalServer::removeServer(socketName_);
    if (!server_.listen(socketName_)) return false;
    QObject::connect(&server_, &QLocalServer::newConnection, [this] {
        while (QLocalSocket* client = server_.nextPendingConnection()) {
            QObject::connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
            if (!sameUser(*client)) {
                client->abort();
                client->deleteLater();
                continue;
            }
            QObject::connect(client, &QLocalSocket::readyRead, client, [this, client] {
                if (!client->canReadLine()) return;
                if (client->readLine() == kShow && reopen_) reopen_();
                client->write("ok\n");
                client->flush();
            });
        }
    });
    return true;
}

}  // namespace sumiro
