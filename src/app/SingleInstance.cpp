// SPDX-License-Identifier: GPL-3.0-or-later

#include "SingleInstance.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QFile>
#include <QLocalSocket>
#include <QVariant>

#include <sys/stat.h>
#include <unistd.h>

namespace {
const QByteArray kRaise = "raise";
// The longest line a later start sends; a client that sends more without
// ending its line is no copy of the program and is dropped.
constexpr qsizetype kMaxLine = 8192;

bool refused(QLocalSocket::LocalSocketError error) {
    return error == QLocalSocket::ServerNotFoundError ||
           error == QLocalSocket::ConnectionRefusedError;
}
} // namespace

SingleInstance::SingleInstance(const QString& key, int answerWaitMs)
    : name_(key), answerWaitMs_(answerWaitMs) {}

QString SingleInstance::keyFor(const QString& databasePath) {
    const QByteArray hash =
        QCryptographicHash::hash(databasePath.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    return QStringLiteral("tipsara-%1-%2").arg(getuid()).arg(QString::fromLatin1(hash));
}

bool SingleInstance::askRunningCopy(const QByteArray& request) {
    const QByteArray line = (request.isEmpty() ? kRaise : kRaise + ' ' + request) + '\n';
    const QDeadlineTimer deadline(answerWaitMs_);
    for (;;) {
        QLocalSocket socket;
        socket.connectToServer(name_);
        if (!socket.waitForConnected(1000))
            // A full backlog still means that a copy listens.
            return socket.error() == QLocalSocket::SocketTimeoutError;
        socket.write(line);
        socket.waitForBytesWritten(1000);
        QByteArray answer;
        while (!answer.contains('\n') && socket.state() == QLocalSocket::ConnectedState &&
               !deadline.hasExpired()) {
            if (socket.waitForReadyRead(
                    static_cast<int>(qMax<qint64>(1, deadline.remainingTime()))))
                answer += socket.readAll();
        }
        answer += socket.readAll();
        if (answer.startsWith("ok") || socket.state() == QLocalSocket::ConnectedState ||
            deadline.hasExpired())
            // Answered, or busy: the request stays queued and is served
            // when the copy is free.
            return true;
        // Closed without an answer: a copy that was just ending. Look again;
        // once it is gone nothing accepts any more.
    }
}

bool SingleInstance::nothingAccepts() const {
    QLocalSocket probe;
    probe.connectToServer(name_);
    if (probe.waitForConnected(1000))
        return false;
    return refused(probe.error());
}

bool SingleInstance::listen(std::function<void(const QByteArray& request)> activate) {
    activate_ = std::move(activate);
    // No socket options: with them the server is made aside and renamed over
    // the name, taking it silently from a copy that holds it. A plain bind
    // fails instead while the name is in use; the mode is narrowed after.
    if (!server_.listen(name_)) {
        if (server_.serverError() != QAbstractSocket::AddressInUseError || !nothingAccepts())
            return false;
        // A socket left behind by a copy that crashed.
        QLocalServer::removeServer(name_);
        if (!server_.listen(name_))
            return false;
    }
    ::chmod(QFile::encodeName(server_.fullServerName()).constData(), S_IRWXU);
    connect(&server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* client = server_.nextPendingConnection()) {
            connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
            connect(client, &QLocalSocket::readyRead, this, [this, client] {
                // The line may come in pieces; what follows it is not read.
                QByteArray line = client->property("line").toByteArray();
                if (line.contains('\n'))
                    return;
                line += client->read(kMaxLine + 1 - line.size());
                const qsizetype end = line.indexOf('\n');
                if (end < 0) {
                    if (line.size() > kMaxLine)
                        client->abort();
                    else
                        client->setProperty("line", line);
                    return;
                }
                client->setProperty("line", line);
                line.truncate(end);
                QByteArray request;
                if (line.startsWith(kRaise + ' '))
                    request = line.mid(kRaise.size() + 1);
                else if (line != kRaise)
                    return;
                client->write("ok\n");
                client->flush();
                if (activate_)
                    activate_(request);
            });
        }
    });
    return true;
}
