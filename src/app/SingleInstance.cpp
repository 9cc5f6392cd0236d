#include "SingleInstance.h"

#include <QCryptographicHash>
#include <QLocalSocket>

#include <unistd.h>

namespace {
const QByteArray kRequest = "raise\n";
}

SingleInstance::SingleInstance(const QString& key) : name_(key) {}

QString SingleInstance::keyFor(const QString& databasePath) {
    const QByteArray hash =
        QCryptographicHash::hash(databasePath.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    return QStringLiteral("tipsara-%1-%2").arg(getuid()).arg(QString::fromLatin1(hash));
}

bool SingleInstance::askRunningCopy() {
    QLocalSocket socket;
    socket.connectToServer(name_);
    if (!socket.waitForConnected(1000))
        return false;
    socket.write(kRequest);
    if (!socket.waitForBytesWritten(1000))
        return false;
    // Wait for the answer so that a copy that is just ending is not taken for a live one.
    return socket.waitForReadyRead(2000) && socket.readAll().startsWith("ok");
}

bool SingleInstance::listen(std::function<void()> activate) {
    activate_ = std::move(activate);
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_.listen(name_)) {
        // A socket left behind by a copy that crashed.
        QLocalServer::removeServer(name_);
        if (!server_.listen(name_))
            return false;
    }
    connect(&server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* client = server_.nextPendingConnection()) {
            connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
            connect(client, &QLocalSocket::readyRead, this, [this, client] {
                if (!client->readAll().startsWith("raise"))
                    return;
                client->write("ok\n");
                client->flush();
                if (activate_)
                    activate_();
            });
        }
    });
    return true;
}
