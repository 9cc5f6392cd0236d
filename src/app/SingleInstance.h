#pragma once
// One running copy per user and database: the embedded engine lets only one
// process open the database file, so a second start hands over to the first
// (which comes to the front) and ends instead of failing on the database.

#include <QLocalServer>
#include <QString>

#include <functional>

class SingleInstance : public QObject {
public:
    explicit SingleInstance(const QString& key);

    // True when a running copy answered; it has been asked to come forward.
    bool askRunningCopy();
    // Starts answering later starts; activate runs for each of them.
    bool listen(std::function<void()> activate);

    static QString keyFor(const QString& databasePath);

private:
    QString name_;
    QLocalServer server_;
    std::function<void()> activate_;
};
