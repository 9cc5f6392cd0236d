// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// The data module: the one database connection, its read and update
// transactions and the five query objects that every window borrows.

#include "Database.h"

#include <QWidget>

#include <memory>
#include <string>

class TDataFrm : public QWidget {
public:
    // Opens the database at dbName, or reports the failure and ends the
    // process with exit code 255.
    explicit TDataFrm(const std::string& dbName = DefaultDBName());
    // Starts the attach on a thread of its own and returns at once, so that
    // the windows are made meanwhile; WaitOpen() must come before any use.
    struct InBackground {};
    TDataFrm(const std::string& dbName, InBackground);
    ~TDataFrm() override;

    // Waits for the attach started by the constructor; on failure reports it
    // and ends the process with exit code 255, as the plain constructor does.
    void WaitOpen();

    // DB/Tipsara.gdb beside the executable.
    static std::string DefaultDBName();

    // Declared in the reverse of the order in which they must be destroyed:
    // the writer first, the connection last.
    fb::Database FBDB;
    fb::Transaction FBTrans{FBDB};
    fb::Query IBSQL1{FBDB, FBTrans};
    fb::Query IBSQL2{FBDB, FBTrans};
    fb::Query IBSQL3{FBDB, FBTrans};
    fb::Query IBSQL4{FBDB, FBTrans};
    fb::Transaction FBTransUpd{FBDB};
    fb::Query UpdQ{FBDB, FBTransUpd};

    void FBDBLostConnect();

private:
    void FormCreate(const std::string& dbName);
    void FinishOpen();

    std::string dbName_;
    // The attach under way; destroyed, and so joined, before the connection.
    std::unique_ptr<data::BackgroundOpen> opening_;
};

extern TDataFrm* DataFrm;

// The text of the message shown when the database is lost at the end of the run.
QString lostConnectionText();
