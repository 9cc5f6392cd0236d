// SPDX-License-Identifier: GPL-3.0-or-later
// The connection and the transactions that run in it.
#include "Fb.h"

#include "FbClient.h"
#include "FbDetail.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace fb {

using client::api;
using client::check;
using client::Texts;
using detail::failed;
using detail::trim;

namespace {

std::string lowerAscii(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string stripPrefix(std::string name, const char* prefix) {
    if (name.rfind(prefix, 0) == 0)
        name.erase(0, std::strlen(prefix));
    return name;
}

} // namespace

// ---------------------------------------------------------------- Database

Database::~Database() {
    Close();
}

void Database::Open() {
    if (Connected())
        return;
    std::string dpb(1, static_cast<char>(isc_dpb_version1));
    for (const std::string& line : DBParams) {
        size_t eq = line.find('=');
        std::string name = stripPrefix(lowerAscii(trim(line.substr(0, eq))), "isc_dpb_");
        std::string value = eq == std::string::npos ? std::string() : line.substr(eq + 1);
        char tag;
        if (name == "lc_ctype")
            tag = isc_dpb_lc_ctype;
        else if (name == "user_name" || name == "user")
            tag = isc_dpb_user_name;
        else if (name == "password")
            tag = isc_dpb_password;
        else if (name == "sql_role_name")
            tag = isc_dpb_sql_role_name;
        else
            throw Error("Unknown connection parameter '" + name + "'");
        if (value.size() > 255)
            throw Error("The connection parameter '" + name + "' is too long");
        dpb += tag;
        dpb += static_cast<char>(value.size());
        dpb += value;
    }
    const auto& a = api();
    ISC_STATUS_ARRAY st;
    handle_ = 0;
    a.isc_attach_database(st, 0, DBName.c_str(), &handle_, static_cast<short>(dpb.size()),
                          dpb.data());
    if (failed(st))
        handle_ = 0;
    check(st, Texts::FileSystem);
}

bool Database::TestConnected() {
    if (!Connected())
        return false;
    ISC_STATUS_ARRAY st;
    char item = isc_info_ods_version;
    char buf[32];
    api().isc_database_info(st, &handle_, 1, &item, sizeof buf, buf);
    return !failed(st);
}

void Database::dropHandles() {
    for (Query* q : queries_) {
        q->stmt_ = 0;
        q->unprepare();
    }
    for (Transaction* t : transactions_)
        t->handle_ = 0;
    handle_ = 0;
}

void Database::Close() {
    if (!Connected())
        return;
    if (!TestConnected()) {
        if (OnLostConnect)
            OnLostConnect();
        dropHandles();
        return;
    }
    for (Query* q : queries_)
        q->freeStatement();
    for (Transaction* t : transactions_) {
        if (!t->Active())
            continue;
        ISC_STATUS_ARRAY st;
        if (t->Action == TimeoutAction::TACommit)
            api().isc_commit_transaction(st, &t->handle_);
        else
            api().isc_rollback_transaction(st, &t->handle_);
        t->handle_ = 0;
    }
    ISC_STATUS_ARRAY st;
    api().isc_detach_database(st, &handle_);
    dropHandles();
}

void Database::CreateDatabase(const std::string& createStatement) {
    if (Connected())
        throw Error("A database is attached already");
    const auto& a = api();
    ISC_STATUS_ARRAY st;
    isc_tr_handle tr = 0;
    handle_ = 0;
    a.isc_dsql_execute_immediate(st, &handle_, &tr, 0, createStatement.c_str(),
                                 static_cast<unsigned short>(SQLDialect), nullptr);
    if (failed(st))
        handle_ = 0;
    check(st, Texts::FileSystem);
}

void Database::ExecuteImmediate(Transaction& tr, const std::string& sql) {
    if (!tr.Active())
        throw Error("Transaction is not active");
    ISC_STATUS_ARRAY st;
    api().isc_dsql_execute_immediate(st, &handle_, tr.handlePtr(), 0, sql.c_str(),
                                     static_cast<unsigned short>(SQLDialect), nullptr);
    check(st);
}

// ---------------------------------------------------------------- Transaction

Transaction::Transaction(Database& db) : db_(db) {
    db_.transactions_.push_back(this);
}

Transaction::~Transaction() {
    if (Active() && db_.Connected()) {
        ISC_STATUS_ARRAY st;
        if (Action == TimeoutAction::TACommit)
            api().isc_commit_transaction(st, &handle_);
        if (Active())
            api().isc_rollback_transaction(st, &handle_);
    }
    auto& v = db_.transactions_;
    v.erase(std::remove(v.begin(), v.end(), this), v.end());
}

void Transaction::setActive(bool value) {
    if (value && !Active())
        StartTransaction();
    else if (!value && Active())
        Rollback();
}

void Transaction::StartTransaction() {
    if (Active())
        throw Error("Transaction is already active");
    if (!db_.Connected())
        throw Error("Database is not connected");
    std::string tpb(1, static_cast<char>(isc_tpb_version3));
    for (const std::string& p : TRParams) {
        std::string name = stripPrefix(lowerAscii(trim(p)), "isc_tpb_");
        char tag;
        if (name == "read")
            tag = isc_tpb_read;
        else if (name == "write")
            tag = isc_tpb_write;
        else if (name == "nowait")
            tag = isc_tpb_nowait;
        else if (name == "wait")
            tag = isc_tpb_wait;
        else if (name == "rec_version")
            tag = isc_tpb_rec_version;
        else if (name == "no_rec_version")
            tag = isc_tpb_no_rec_version;
        else if (name == "read_committed")
            tag = isc_tpb_read_committed;
        else if (name == "concurrency")
            tag = isc_tpb_concurrency;
        else if (name == "consistency")
            tag = isc_tpb_consistency;
        else
            throw Error("Unknown transaction parameter '" + name + "'");
        tpb += tag;
    }
    // The transaction existence block the engine reads: one per database.
    struct {
        isc_db_handle* db;
        ISC_LONG tpbLength;
        char* tpb;
    } teb{&db_.handle_, static_cast<ISC_LONG>(tpb.size()), tpb.data()};
    ISC_STATUS_ARRAY st;
    api().isc_start_multiple(st, &handle_, 1, &teb);
    if (failed(st))
        handle_ = 0;
    check(st);
}

void Transaction::Commit() {
    if (!Active())
        throw Error("Transaction is not active");
    ISC_STATUS_ARRAY st;
    api().isc_commit_transaction(st, &handle_);
    check(st);
    for (Query* q : db_.queries_)
        if (&q->tr_ == this)
            q->open_ = false, q->eof_ = true, q->hasRow_ = false;
}

void Transaction::Rollback() {
    if (!Active())
        throw Error("Transaction is not active");
    ISC_STATUS_ARRAY st;
    api().isc_rollback_transaction(st, &handle_);
    check(st);
    for (Query* q : db_.queries_)
        if (&q->tr_ == this)
            q->open_ = false, q->eof_ = true, q->hasRow_ = false;
}

} // namespace fb
