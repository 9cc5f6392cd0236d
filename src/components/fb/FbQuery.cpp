// SPDX-License-Identifier: GPL-3.0-or-later
// Queries: preparing, parameters, execution and fetching.
#include "Fb.h"
#include "FbClient.h"
#include "FbDetail.h"

#include <algorithm>
#include <memory>

namespace fb {

using client::api;
using client::check;
using detail::failed;
using detail::trim;

// ---------------------------------------------------------------- Query

Query::Query(Database& db, Transaction& tr) : db_(db), tr_(tr) {
    db_.queries_.push_back(this);
}

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
        unsigned short chunk =
            static_cast<unsigned short>(std::min<size_t>(text.size() - pos, 32768));
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
    ISC_STATUS rc =
        api().isc_dsql_fetch(st, &stmt_, static_cast<unsigned short>(db_.SQLDialect), out_->da());
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

int Query::FieldCount() const {
    return prepared_ ? out_->count() : 0;
}

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

} // namespace fb
