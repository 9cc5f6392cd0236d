// SPDX-License-Identifier: GPL-3.0-or-later

#include "Database.h"

#include "components/fb/FbClient.h"

#include <utility>

namespace data {

const std::vector<std::string>& ConnectionParams() {
    static const std::vector<std::string> params = {"lc_ctype=WIN1251", "user_name=sysdba",
                                                    "password=vaultsong"};
    return params;
}

const std::vector<std::string>& TransactionParams() {
    static const std::vector<std::string> params = {"write", "isc_tpb_nowait", "rec_version",
                                                    "read_committed"};
    return params;
}

const std::vector<std::string>& ReadOnlyTransactionParams() {
    static const std::vector<std::string> params = {"read", "read_committed", "rec_version",
                                                    "nowait"};
    return params;
}

void configure(fb::Database& db, const std::string& path) {
    db.DBName = path;
    db.DBParams = ConnectionParams();
    db.SQLDialect = 1;
}

void commit(fb::Query& upd, fb::Transaction& updTrans) {
    upd.Close();
    upd.setSQL("COMMIT");
    upd.ExecQuery();
    updTrans.setActive(true);
}

BackgroundOpen::BackgroundOpen(fb::Database& db) {
    try {
        // The engine's environment is set here, on the caller's thread: a
        // setenv beside the caller's own getenv calls would be a race.
        fb::client::chooseLockDirectory();
    } catch (...) {
        failure_ = std::current_exception();
        return;
    }
    thread_ = std::thread([this, &db] {
        try {
            db.Open();
        } catch (...) {
            failure_ = std::current_exception();
        }
    });
}

BackgroundOpen::~BackgroundOpen() {
    if (thread_.joinable())
        thread_.join();
}

void BackgroundOpen::join() {
    if (thread_.joinable())
        thread_.join();
    if (failure_)
        std::rethrow_exception(std::exchange(failure_, nullptr));
}

} // namespace data

void RunReading(fb::Query& q) {
    if (!q.Prepared()) {
        q.Close();
        q.Prepare();
    }
    q.ExecQuery();
}
