// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// A thin layer over the Firebird client's ISC API: one connection, the
// transactions that run in it and the query objects that run in those.
//
// All text crossing this layer is bytes in the connection's character set
// (Windows-1251 for the program). Failures are thrown as fb::Error.

#include <ibase.h>

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace fb {

class Error : public std::runtime_error {
public:
    explicit Error(const std::string& message, std::vector<ISC_STATUS> codes = {})
        : std::runtime_error(message), codes_(std::move(codes)) {}
    // The engine's error codes of the status vector, in order; empty for
    // errors of this layer itself.
    const std::vector<ISC_STATUS>& codes() const { return codes_; }
    bool hasCode(ISC_STATUS code) const;

private:
    std::vector<ISC_STATUS> codes_;
};

// Where the client library comes from. It is loaded when a connection first
// attaches (or a database is created), not when the program starts, so that a
// missing library fails like any other failed attach.
namespace client {
void setLibraryName(const std::string& name); // default "libfbclient.so.2"
const std::string& libraryName();
bool loaded();
} // namespace client

class Transaction;
class Query;

class Database {
public:
    Database() = default;
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    std::string DBName; // a plain file path attaches embedded
    std::vector<std::string>
        DBParams; // "name=value" lines: lc_ctype, user_name, password, sql_role_name
    int SQLDialect = 3;
    Transaction* DefaultTransaction = nullptr;
    Transaction* DefaultUpdateTransaction = nullptr;
    // Fires when Close finds the connection already dead; the connection is
    // then dropped without talking to the engine.
    std::function<void()> OnLostConnect;

    void Open();
    void Close();
    bool Connected() const { return handle_ != 0; }
    void setConnected(bool value) { value ? Open() : Close(); }
    // Asks the engine for an information item; false when that fails.
    bool TestConnected();

    // Executes a CREATE DATABASE statement and leaves the new database attached.
    void CreateDatabase(const std::string& createStatement);
    // Runs a statement that needs no parameters and returns no rows (DDL) in
    // the given transaction.
    void ExecuteImmediate(Transaction& tr, const std::string& sql);

    isc_db_handle* handlePtr() { return &handle_; }

private:
    friend class Transaction;
    friend class Query;
    void dropHandles();
    isc_db_handle handle_ = 0;
    std::vector<Transaction*> transactions_;
    std::vector<Query*> queries_;
};

enum class TimeoutAction { TARollback, TACommit };

class Transaction {
public:
    explicit Transaction(Database& db);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    // Parameter names, with or without the "isc_tpb_" prefix:
    // read, write, nowait, wait, rec_version, no_rec_version,
    // read_committed, concurrency, consistency.
    std::vector<std::string> TRParams;
    // What the destructor does with a transaction that is still active.
    TimeoutAction Action = TimeoutAction::TARollback;

    bool Active() const { return handle_ != 0; }
    void setActive(bool value);
    void StartTransaction();
    void Commit();
    void Rollback();

    Database& database() { return db_; }
    isc_tr_handle* handlePtr() { return &handle_; }

private:
    friend class Database;
    friend class Query;
    Database& db_;
    isc_tr_handle handle_ = 0;
};

class Query;

// One column of a query's current row.
class Field {
public:
    bool IsNull() const;
    int32_t AsInteger() const;                    // NULL gives 0; text is read as a decimal number
    std::string AsString() const;                 // NULL gives ""; a BLOB gives its whole content
    std::optional<std::string> AsVariant() const; // NULL stays empty
    std::string Name() const;

private:
    friend class Query;
    Field(const Query& q, int index) : q_(q), index_(index) {}
    const Query& q_;
    int index_;
};

// One parameter marker of a query's text.
class Param {
public:
    void setAsString(std::string value);
    void setAsInteger(int32_t value);
    void Clear();
    bool IsNull() const { return kind_ == Kind::Null; }

private:
    friend class Query;
    enum class Kind { Null, Text, Integer };
    Kind kind_ = Kind::Null;
    std::string text_;
    int32_t integer_ = 0;
};

class Query {
public:
    Query(Database& db, Transaction& tr);
    ~Query();
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;

    const std::string& SQL() const { return sql_; }
    // Fails on an open query. Unprepares and reads the markers of the text.
    void setSQL(std::string sql);

    void Prepare();
    bool Prepared() const { return prepared_; }
    void ExecQuery();
    void Close();
    bool Open() const { return open_; }
    bool Eof() const { return !open_ || eof_; }
    void Next();
    int RowsAffected();

    Field Fields(int index) const;
    int FieldCount() const;
    Param& Params(int index);
    int ParamCount() const { return static_cast<int>(params_.size()); }

    Transaction& transaction() { return tr_; }

private:
    friend class Field;
    friend class Database;
    friend class Transaction;
    struct Sqlda;
    void checkTransaction(const char* operation) const;
    void freeStatement();
    // Closed and not prepared; the statement handle, if any, stays.
    void unprepare();
    void fetch();
    std::string readBlob(const ISC_QUAD& id) const;
    ISC_QUAD writeBlob(const std::string& text);

    Database& db_;
    Transaction& tr_;
    std::string sql_;
    std::string dsql_; // sql_ with every :name marker turned into ?
    std::vector<Param> params_;
    isc_stmt_handle stmt_ = 0;
    int stmtType_ = 0;
    bool prepared_ = false;
    bool open_ = false;
    bool eof_ = true;
    bool hasRow_ = false;
    std::unique_ptr<Sqlda> out_;
    std::unique_ptr<Sqlda> in_;
};

// Closes a query when its scope is left by a failure, so that the next use
// starts afresh; a failure of the close itself must not hide the one under
// way. Leaving normally closes nothing: the rows may still be read.
class CloseOnFailure {
public:
    explicit CloseOnFailure(Query& q) : q_(q), failures_(std::uncaught_exceptions()) {}
    ~CloseOnFailure() {
        if (std::uncaught_exceptions() > failures_) {
            try {
                q_.Close();
            } catch (...) {
            }
        }
    }
    CloseOnFailure(const CloseOnFailure&) = delete;
    CloseOnFailure& operator=(const CloseOnFailure&) = delete;

private:
    Query& q_;
    int failures_;
};

// Exposed for tests: the text with :name markers rewritten to ? and the count
// of markers (both kinds), skipping literals, quoted names and comments.
struct Markers {
    std::string text;
    int count = 0;
};
Markers rewriteMarkers(const std::string& sql);

} // namespace fb
