#include "controller/SingleInstance.h"

#include <unistd.h>

#include <QDir>
#include <QLocalSocket>
#include <QRegularExpression>

namespace sumiro {

namespace {
const QByteArray kShow = QByteArrayLiteral("show\n");
constexpr int kAnswerMs = 2000;
}  // namespace

QString instanceSocketName(const QString& display, const QString& runtimeDirectory, uint userId) {
    // ":0.0", "localhost:10" and "/tmp/.X11-unix/X0" all become one file-name-safe word.
    QString word = display.isEmpty() ? QStringLiteral("nodisplay") : display;
    word.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9._-]")), QStringLiteral("_"));
    if (!runtimeDirectory.isEmpty() && QDir(runtimeDirectory).exists()) {
        return QDir(runtimeDirectory).filePath(QStringLiteral("sumiro-") + word);
    }
    return QDir(QDir::tempPath()).filePath(QStringLiteral("sumiro-%1-%2").arg(userId).arg(word));
}

QString instanceSocketName() {
    return instanceSocketName(qEnvironmentVariable("DISPLAY"),
                              qEnvironmentVariable("XDG_RUNTIME_DIR"),
                              static_cast<uint>(::getuid()));
}

bool askRunningPadToShow(const QString& name) {
    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(kAnswerMs)) return false;
    socket.write(kShow);
    if (!socket.waitForBytesWritten(kAnswerMs)) return false;
    // The running pad answers once it has shown its panel.
    return socket.waitForReadyRead(kAnswerMs) && socket.readAll().startsWith("ok");
}

SingleInstance::SingleInstance(const QString& name, std::function<void()> reopen)
    : reopen_(std::move(reopen)) {
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_.listen(name)) {
        // Nobody answered on it (the caller asked first): a stale socket of a crashed pad.
        QLocalServer::removeServer(name);
        server_.listen(name);
    }
    QObject::connect(&server_, &QLocalServer::newConnection, [this] {
        while (QLocalSocket* client = server_.nextPendingConnection()) {
            QObject::connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
            QObject::connect(client, &QLocalSocket::readyRead, client, [this, client] {
                if (!client->canReadLine()) return;
                if (client->readLine() == kShow && reopen_) reopen_();
                client->write("ok\n");
                client->flush();
            });
        }
    });
}

}  // namespace sumiro
