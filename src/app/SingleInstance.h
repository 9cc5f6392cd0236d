// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// One running copy per user and database: the embedded engine lets only one
// process open the database file, so a second start hands over to the first
// (which comes to the front) and ends instead of failing on the database.
//
// The first copy may be deep in long work on its one thread (tree load,
// update run, import) and answer late: a copy that accepts the connection
// is running all the same, and its socket is never taken from it.
//
// A later start may carry a request (a look-up from outside) for the copy
// to carry out as it comes forward: one line, "raise" and the request after
// a blank, so that a copy that knows no requests still comes forward.

#include <QByteArray>
#include <QLocalServer>
#include <QString>

#include <functional>

class SingleInstance : public QObject {
public:
    // answerWaitMs bounds how long a later start waits for a busy copy.
    explicit SingleInstance(const QString& key, int answerWaitMs = 5000);

    // True when a copy is running: something accepts on the socket. It has
    // been asked to come forward; a busy copy does so once it is free.
    // False when nothing accepts, also when a copy ended while asked.
    // request, when not empty, goes with the asking: one line's worth of
    // printable bytes.
    bool askRunningCopy(const QByteArray& request = {});
    // True when a copy is running, without asking it to come forward.
    bool isRunning() const { return !nothingAccepts(); }
    // Starts answering later starts; activate runs for each of them, with
    // the request it carried (empty for a plain start). A
    // socket that nothing accepts on (left by a copy that crashed) is taken
    // over. False when the name is held by a running copy or the socket
    // cannot be made.
    bool listen(std::function<void(const QByteArray& request)> activate);

    static QString keyFor(const QString& databasePath);

private:
    bool nothingAccepts() const;

    QString name_;
    int answerWaitMs_;
    QLocalServer server_;
    std::function<void(const QByteArray& request)> activate_;
};
