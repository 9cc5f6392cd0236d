// SPDX-License-Identifier: GPL-3.0-or-later

#include "Database.h"

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

} // namespace data

void RunReading(fb::Query& q) {
    if (!q.Prepared()) {
        q.Close();
        q.Prepare();
    }
    q.ExecQuery();
}
