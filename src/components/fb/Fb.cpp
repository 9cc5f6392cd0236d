#include "Fb.h"
#include "FbClient.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace fb {

using client::api;
using client::check;
using client::Texts;

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

std::string trim(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b])))
        ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1])))
        --e;
    return std::string(s.substr(b, e - b));
}

bool failed(const ISC_STATUS* st) { return st[0] == 1 && st[1] != 0; }

int32_t parseInteger(const std::string& text) {
    std::string t = trim(text);
    const char* first = t.data();
    if (!t.empty() && t[0] == '+')
        ++first;
    int32_t value = 0;
    auto [end, ec] = std::from_chars(first, t.data() + t.size(), value);
    if (t.empty() || ec != std::errc() || end != t.data() + t.size())
        throw Error("'" + text + "' is not a valid integer value");
    return value;
}

std::string scaledToString(int64_t value, int scale) {
    if (scale >= 0) {
        std::string s = std::to_string(value);
        if (value != 0)
            s.append(static_cast<size_t>(scale), '0');
        return s;
    }
    bool negative = value < 0;
    uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    std::string digits = std::to_string(magnitude);
    size_t places = static_cast<size_t>(-scale);
    if (digits.size() <= places)
        digits.insert(0, places - digits.size() + 1, '0');
    digits.insert(digits.size() - places, ".");
    return (negative ? "-" : "") + digits;
}

std::string formatDate(const ISC_DATE& d) {
    tm t{};
    api().isc_decode_sql_date(&d, &t);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d.%02d.%04d", t.tm_mday, t.tm_mon + 1, t.tm_year + 1900);
    return buf;
}

std::string formatTime(const ISC_TIME& tv) {
    tm t{};
    api().isc_decode_sql_time(&tv, &t);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", t.tm_hour, t.tm_min, t.tm_sec);
    return buf;
}

int64_t readInt(const XSQLVAR& v) {
    switch (v.sqltype & ~1) {
    case SQL_SHORT:
        return *reinterpret_cast<const int16_t*>(v.sqldata);
    case SQL_LONG:
        return *reinterpret_cast<const int32_t*>(v.sqldata);
    default:
        return *reinterpret_cast<const int64_t*>(v.sqldata);
    }
}

} // namespace

// ---------------------------------------------------------------- markers

Markers rewriteMarkers(const std::string& sql) {
    Markers m;
    m.text.reserve(sql.size());
    const size_t n = sql.size();
    auto isNameChar = [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$';
    };
    for (size_t i = 0; i < n;) {
        char c = sql[i];
        if (c == '\'' || c == '"') {
            // Literal or quoted name; a doubled quote stays inside it.
            size_t j = i + 1;
            while (j < n) {
                if (sql[j] == c) {
                    if (j + 1 < n && sql[j + 1] == c) {
                        j += 2;
                        continue;
                    }
                    ++j;
                    break;
                }
                ++j;
            }
            if (j > n)
                j = n;
            m.text.append(sql, i, j - i);
            i = j;
        } else if (c == '-' && i + 1 < n && sql[i + 1] == '-') {
            size_t j = sql.find('\n', i);
            j = j == std::string::npos ? n : j;
            m.text.append(sql, i, j - i);
            i = j;
        } else if (c == '/' && i + 1 < n && sql[i + 1] == '*') {
            size_t j = sql.find("*/", i + 2);
            j = j == std::string::npos ? n : j + 2;
            m.text.append(sql, i, j - i);
            i = j;
        } else if (c == ':' && i + 1 < n &&
                   (std::isalpha(static_cast<unsigned char>(sql[i + 1])) || sql[i + 1] == '_')) {
            size_t j = i + 1;
            while (j < n && isNameChar(sql[j]))
                ++j;
            m.text += '?';
            ++m.count;
            i = j;
        } else {
            if (c == '?')
                ++m.count;
            m.text += c;
            ++i;
        }
    }
    return m;
}

// ---------------------------------------------------------------- Database

Database::~Database() { Close(); }

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

Transaction::Transaction(Database& db) : db_(db) { db_.transactions_.push_back(this); }

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

// ---------------------------------------------------------------- Query

struct Query::Sqlda {
    explicit Sqlda(int n) { resize(n); }
    void resize(int n) {
        n = std::max(n, 1);
        raw.assign(XSQLDA_LENGTH(n), 0);
        da()->version = SQLDA_VERSION1;
        da()->sqln = static_cast<ISC_SHORT>(n);
        data.assign(static_cast<size_t>(n), {});
        ind.assign(static_cast<size_t>(n), 0);
    }
    XSQLDA* da() { return reinterpret_cast<XSQLDA*>(raw.data()); }
    const XSQLDA* da() const { return reinterpret_cast<const XSQLDA*>(raw.data()); }
    int count() const { return da()->sqld; }
    XSQLVAR& var(int i) { return da()->sqlvar[i]; }
    const XSQLVAR& var(int i) const { return da()->sqlvar[i]; }

    std::vector<char> raw;
    std::vector<std::vector<char>> data;
    std::vector<short> ind;
};

Query::Query(Database& db, Transaction& tr) : db_(db), tr_(tr) { db_.queries_.push_back(this); }

Query::~Query() {
    freeStatement();
    auto& v = db_.queries_;
    v.erase(std::remove(v.begin(), v.end(), this), v.end());
}

void Query::freeStatement() {
    if (stmt_ && db_.Connected()) {
        ISC_STATUS_ARRAY st;
        api().isc_dsql_free_statement(st, &stmt_, DSQL_drop);
    }
    stmt_ = 0;
    unprepare();
}

void Query::unprepare() {
    prepared_ = false;
    open_ = false;
    eof_ = true;
    hasRow_ = false;
    out_.reset();
    in_.reset();
}

void Query::setSQL(std::string sql) {
    if (open_)
        throw Error("Cannot change the text of an open query");
    // The handle stays allocated for the next text: preparing on it replaces
    // the statement, and saves the engine a free and an allocation each time
    // a query is given a new text (thousands of times in a tree load).
    unprepare();
    sql_ = std::move(sql);
    Markers m = rewriteMarkers(sql_);
    dsql_ = std::move(m.text);
    params_.assign(static_cast<size_t>(m.count), Param{});
}

void Query::checkTransaction(const char* operation) const {
    if (!db_.Connected())
        throw Error(std::string("Cannot ") + operation + ": the database is not connected");
    if (!tr_.Active())
        throw Error(std::string("Cannot ") + operation + ": the transaction is not active");
}

void Query::Prepare() {
    if (open_)
        Close();
    checkTransaction("prepare");
    if (trim(dsql_).empty())
        throw Error("Empty query");
    prepared_ = false;
    const auto& a = api();
    ISC_STATUS_ARRAY st;
    if (!stmt_) {
        a.isc_dsql_allocate_statement(st, &db_.handle_, &stmt_);
        check(st);
    }
    const auto dialect = static_cast<unsigned short>(db_.SQLDialect);
    auto out = std::make_unique<Sqlda>(1);
    a.isc_dsql_prepare(st, &tr_.handle_, &stmt_, 0, dsql_.c_str(), dialect, out->da());
    check(st);

    char item = isc_info_sql_stmt_type;
    char info[16];
    a.isc_dsql_sql_info(st, &stmt_, 1, &item, sizeof info, info);
    check(st);
    stmtType_ = 0;
    if (info[0] == isc_info_sql_stmt_type) {
        short len = static_cast<short>(a.isc_vax_integer(info + 1, 2));
        stmtType_ = static_cast<int>(a.isc_vax_integer(info + 3, len));
    }

    if (out->da()->sqld > out->da()->sqln) {
        out->resize(out->da()->sqld);
        a.isc_dsql_describe(st, &stmt_, dialect, out->da());
        check(st);
    }
    for (int i = 0; i < out->count(); ++i) {
        XSQLVAR& v = out->var(i);
        size_t size = static_cast<size_t>(v.sqllen) + ((v.sqltype & ~1) == SQL_VARYING ? 2 : 0);
        out->data[i].assign(std::max<size_t>(size, 1), 0);
        v.sqldata = out->data[i].data();
        v.sqltype |= 1; // always ask for the null indicator
        v.sqlind = &out->ind[i];
    }

    auto in = std::make_unique<Sqlda>(static_cast<int>(params_.size()));
    // A text without a question mark has no markers for the engine to
    // describe.
    if (dsql_.find('?') != std::string::npos) {
        a.isc_dsql_describe_bind(st, &stmt_, dialect, in->da());
        check(st);
    }
    if (in->da()->sqld > in->da()->sqln) {
        in->resize(in->da()->sqld);
        a.isc_dsql_describe_bind(st, &stmt_, dialect, in->da());
        check(st);
    }
    // The engine's count of markers rules if it differs from ours.
    if (static_cast<size_t>(in->count()) != params_.size())
        params_.resize(static_cast<size_t>(in->count()));

    out_ = std::move(out);
    in_ = std::move(in);
    prepared_ = true;
}

ISC_QUAD Query::writeBlob(const std::string& text) {
    const auto& a = api();
    ISC_STATUS_ARRAY st;
    isc_blob_handle blob = 0;
    ISC_QUAD id{};
    a.isc_create_blob2(st, &db_.handle_, &tr_.handle_, &blob, &id, 0, nullptr);
    check(st);
    for (size_t pos = 0; pos < text.size();) {
        unsigned short chunk = static_cast<unsigned short>(std::min<size_t>(text.size() - pos, 32768));
        a.isc_put_segment(st, &blob, chunk, text.data() + pos);
        if (failed(st)) {
            ISC_STATUS_ARRAY ignored;
            a.isc_cancel_blob(ignored, &blob);
            check(st);
        }
        pos += chunk;
    }
    a.isc_close_blob(st, &blob);
    check(st);
    return id;
}

std::string Query::readBlob(const ISC_QUAD& constId) const {
    checkTransaction("read a blob");
    const auto& a = api();
    ISC_STATUS_ARRAY st;
    isc_blob_handle blob = 0;
    ISC_QUAD id = constId;
    a.isc_open_blob2(st, &db_.handle_, &tr_.handle_, &blob, &id, 0, nullptr);
    check(st);
    std::string out;
    char buf[32768];
    for (;;) {
        unsigned short got = 0;
        ISC_STATUS rc = a.isc_get_segment(st, &blob, &got, sizeof buf, buf);
        if (rc != 0 && rc != isc_segment) {
            if (rc == isc_segstr_eof)
                break;
            ISC_STATUS_ARRAY ignored;
            a.isc_close_blob(ignored, &blob);
            check(st);
        }
        out.append(buf, got);
    }
    a.isc_close_blob(st, &blob);
    check(st);
    return out;
}

void Query::ExecQuery() {
    checkTransaction("execute");
    if (open_)
        throw Error("Cannot execute an open query; close it first");
    if (!prepared_)
        Prepare();
    const auto& a = api();

    // Values for the markers, in the types they were given in; the engine
    // converts them to the columns' types.
    std::vector<int32_t> ints(params_.size());
    std::vector<ISC_QUAD> blobs(params_.size());
    std::vector<short> inds(params_.size());
    std::vector<std::string> texts(params_.size());
    for (size_t i = 0; i < params_.size(); ++i) {
        XSQLVAR& v = in_->var(static_cast<int>(i));
        const Param& p = params_[i];
        const int described = v.sqltype & ~1;
        v.sqlind = &inds[i];
        v.sqlscale = 0;
        if (p.kind_ == Param::Kind::Null) {
            inds[i] = -1;
            v.sqltype = SQL_TEXT | 1;
            v.sqllen = 0;
            v.sqlsubtype = 0;
            v.sqldata = texts[i].data();
            continue;
        }
        inds[i] = 0;
        std::string text = p.kind_ == Param::Kind::Text ? p.text_ : std::to_string(p.integer_);
        if (described == SQL_BLOB) {
            blobs[i] = writeBlob(text);
            v.sqltype = SQL_BLOB | 1;
            v.sqllen = sizeof(ISC_QUAD);
            v.sqldata = reinterpret_cast<char*>(&blobs[i]);
        } else if (p.kind_ == Param::Kind::Integer) {
            ints[i] = p.integer_;
            v.sqltype = SQL_LONG | 1;
            v.sqllen = sizeof(int32_t);
            v.sqlsubtype = 0;
            v.sqldata = reinterpret_cast<char*>(&ints[i]);
        } else {
            if (text.size() > 32767)
                throw Error("Parameter " + std::to_string(i) +
                            " is longer than 32767 bytes and its column is not a BLOB");
            if (described != SQL_TEXT && described != SQL_VARYING)
                v.sqlsubtype = 0;
            texts[i] = std::move(text);
            v.sqltype = SQL_TEXT | 1;
            v.sqllen = static_cast<ISC_SHORT>(texts[i].size());
            v.sqldata = texts[i].data();
        }
    }
    XSQLDA* in = params_.empty() ? nullptr : in_->da();
    const auto dialect = static_cast<unsigned short>(db_.SQLDialect);
    ISC_STATUS_ARRAY st;
    hasRow_ = false;
    if (stmtType_ == isc_info_sql_stmt_select || stmtType_ == isc_info_sql_stmt_select_for_upd) {
        a.isc_dsql_execute(st, &tr_.handle_, &stmt_, dialect, in);
        check(st);
        open_ = true;
        eof_ = false;
        try {
            fetch();
        } catch (...) {
            Close();
            throw;
        }
    } else if (stmtType_ == isc_info_sql_stmt_exec_procedure && out_->count() > 0) {
        a.isc_dsql_execute2(st, &tr_.handle_, &stmt_, dialect, in, out_->da());
        check(st);
        hasRow_ = true;
    } else {
        a.isc_dsql_execute(st, &tr_.handle_, &stmt_, dialect, in);
        check(st);
    }
}

void Query::fetch() {
    ISC_STATUS_ARRAY st;
    ISC_STATUS rc = api().isc_dsql_fetch(st, &stmt_, static_cast<unsigned short>(db_.SQLDialect),
                                         out_->da());
    if (rc == 100) {
        eof_ = true;
        hasRow_ = false;
        return;
    }
    check(st);
    hasRow_ = true;
}

void Query::Next() {
    if (!open_)
        throw Error("The query is not open");
    if (eof_)
        return;
    fetch();
}

void Query::Close() {
    if (open_ && stmt_ && db_.Connected()) {
        // Fails harmlessly when a commit has closed the cursor already.
        ISC_STATUS_ARRAY st;
        api().isc_dsql_free_statement(st, &stmt_, DSQL_close);
    }
    open_ = false;
    eof_ = true;
    hasRow_ = false;
}

int Query::RowsAffected() {
    if (!prepared_)
        return -1;
    const auto& a = api();
    char item = isc_info_sql_records;
    char buf[128];
    ISC_STATUS_ARRAY st;
    a.isc_dsql_sql_info(st, &stmt_, 1, &item, sizeof buf, buf);
    check(st);
    if (buf[0] != isc_info_sql_records)
        return -1;
    long counts[4] = {0, 0, 0, 0}; // select, insert, update, delete
    const char* p = buf + 3;
    const char* end = buf + sizeof buf;
    while (p < end && *p != isc_info_end) {
        char kind = *p++;
        short len = static_cast<short>(a.isc_vax_integer(p, 2));
        p += 2;
        long value = a.isc_vax_integer(p, len);
        p += len;
        if (kind >= isc_info_req_select_count && kind <= isc_info_req_delete_count)
            counts[kind - isc_info_req_select_count] = value;
    }
    switch (stmtType_) {
    case isc_info_sql_stmt_select:
    case isc_info_sql_stmt_select_for_upd:
        return static_cast<int>(counts[0]);
    case isc_info_sql_stmt_insert:
        return static_cast<int>(counts[1]);
    case isc_info_sql_stmt_update:
        return static_cast<int>(counts[2]);
    case isc_info_sql_stmt_delete:
        return static_cast<int>(counts[3]);
    default:
        return static_cast<int>(counts[1] + counts[2] + counts[3]);
    }
}

Field Query::Fields(int index) const {
    if (!prepared_ || index < 0 || index >= out_->count())
        throw Error("Field index " + std::to_string(index) + " is out of range");
    return Field(*this, index);
}

int Query::FieldCount() const { return prepared_ ? out_->count() : 0; }

Param& Query::Params(int index) {
    if (index < 0 || static_cast<size_t>(index) >= params_.size())
        throw Error("Parameter index " + std::to_string(index) + " is out of range");
    return params_[static_cast<size_t>(index)];
}

// ---------------------------------------------------------------- Param

void Param::setAsString(std::string value) {
    kind_ = Kind::Text;
    text_ = std::move(value);
}

void Param::setAsInteger(int32_t value) {
    kind_ = Kind::Integer;
    integer_ = value;
}

void Param::Clear() {
    kind_ = Kind::Null;
    text_.clear();
}

// ---------------------------------------------------------------- Field

bool Field::IsNull() const { return !q_.hasRow_ || q_.out_->ind[index_] < 0; }

std::string Field::Name() const {
    const XSQLVAR& v = q_.out_->var(index_);
    return std::string(v.aliasname, static_cast<size_t>(v.aliasname_length));
}

std::string Field::AsString() const {
    if (IsNull())
        return {};
    const XSQLVAR& v = q_.out_->var(index_);
    const char* d = v.sqldata;
    switch (v.sqltype & ~1) {
    case SQL_TEXT:
        return std::string(d, static_cast<size_t>(v.sqllen));
    case SQL_VARYING:
        return std::string(d + 2, static_cast<size_t>(*reinterpret_cast<const int16_t*>(d)));
    case SQL_SHORT:
    case SQL_LONG:
    case SQL_INT64:
        return scaledToString(readInt(v), v.sqlscale);
    case SQL_FLOAT:
    case SQL_DOUBLE:
    case SQL_D_FLOAT: {
        double x = (v.sqltype & ~1) == SQL_FLOAT ? *reinterpret_cast<const float*>(d)
                                                 : *reinterpret_cast<const double*>(d);
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.15g", x);
        return buf;
    }
    case SQL_TYPE_DATE:
        return formatDate(*reinterpret_cast<const ISC_DATE*>(d));
    case SQL_TYPE_TIME:
        return formatTime(*reinterpret_cast<const ISC_TIME*>(d));
    case SQL_TIMESTAMP: {
        const auto* ts = reinterpret_cast<const ISC_TIMESTAMP*>(d);
        return formatDate(ts->timestamp_date) + " " + formatTime(ts->timestamp_time);
    }
    case SQL_BLOB:
        return q_.readBlob(*reinterpret_cast<const ISC_QUAD*>(d));
    case SQL_BOOLEAN:
        return *d ? "True" : "False";
    default:
        throw Error("Column " + std::to_string(index_) + " has a type this layer cannot read");
    }
}

int32_t Field::AsInteger() const {
    if (IsNull())
        return 0;
    const XSQLVAR& v = q_.out_->var(index_);
    switch (v.sqltype & ~1) {
    case SQL_SHORT:
    case SQL_LONG:
    case SQL_INT64: {
        int64_t x = readInt(v);
        for (int s = v.sqlscale; s < 0; ++s)
            x /= 10;
        for (int s = v.sqlscale; s > 0; --s)
            x *= 10;
        return static_cast<int32_t>(x);
    }
    case SQL_FLOAT:
        return static_cast<int32_t>(std::lround(*reinterpret_cast<const float*>(v.sqldata)));
    case SQL_DOUBLE:
    case SQL_D_FLOAT:
        return static_cast<int32_t>(std::lround(*reinterpret_cast<const double*>(v.sqldata)));
    case SQL_BOOLEAN:
        return *v.sqldata ? 1 : 0;
    default:
        return parseInteger(AsString());
    }
}

std::optional<std::string> Field::AsVariant() const {
    if (IsNull())
        return std::nullopt;
    return AsString();
}

} // namespace fb
