// SPDX-License-Identifier: GPL-3.0-or-later

#include "BareFb.h"

#include <cstring>
#include <memory>
#include <stdexcept>

namespace bench {
namespace {

struct Sqlda {
    explicit Sqlda(int n) : bytes(XSQLDA_LENGTH(n)), raw(new char[bytes]()) {
        da()->version = SQLDA_VERSION1;
        da()->sqln = static_cast<short>(n);
    }
    XSQLDA* da() { return reinterpret_cast<XSQLDA*>(raw.get()); }
    size_t bytes;
    std::unique_ptr<char[]> raw;
};

} // namespace

BareFb::BareFb(const std::string& path) {
    const char dpb[] = {isc_dpb_version1,
                        isc_dpb_lc_ctype,
                        7,
                        'W',
                        'I',
                        'N',
                        '1',
                        '2',
                        '5',
                        '1',
                        isc_dpb_user_name,
                        6,
                        's',
                        'y',
                        's',
                        'd',
                        'b',
                        'a'};
    isc_attach_database(status_, 0, path.c_str(), &db_, sizeof dpb, dpb);
    check("attach");
    const char tpb[] = {isc_tpb_version3, isc_tpb_write, isc_tpb_nowait, isc_tpb_rec_version,
                        isc_tpb_read_committed};
    isc_start_transaction(status_, &tr_, 1, &db_, sizeof tpb, tpb);
    check("start transaction");
}

BareFb::~BareFb() {
    ISC_STATUS_ARRAY st;
    if (tr_)
        isc_rollback_transaction(st, &tr_);
    if (db_)
        isc_detach_database(st, &db_);
}

void BareFb::check(const char* what) {
    if (status_[0] == 1 && status_[1]) {
        char buffer[512];
        const ISC_STATUS* p = status_;
        std::string message = std::string(what) + ":";
        while (fb_interpret(buffer, sizeof buffer, &p))
            message += std::string(" ") + buffer;
        throw std::runtime_error(message);
    }
}

std::vector<BareFb::Row> BareFb::select(const std::string& sql,
                                        const std::vector<std::string>& params) {
    isc_stmt_handle stmt = 0;
    isc_dsql_allocate_statement(status_, &db_, &stmt);
    check("allocate");
    Sqlda out(8);
    isc_dsql_prepare(status_, &tr_, &stmt, 0, sql.c_str(), 1, out.da());
    check("prepare");
    const int columns = out.da()->sqld;

    // Every column read as it comes: short text as bytes, integers as numbers.
    std::vector<std::vector<char>> buffers(static_cast<size_t>(columns));
    std::vector<short> nulls(static_cast<size_t>(columns));
    for (int i = 0; i < columns; ++i) {
        XSQLVAR& v = out.da()->sqlvar[i];
        buffers[static_cast<size_t>(i)].resize(static_cast<size_t>(v.sqllen) + 2);
        v.sqldata = buffers[static_cast<size_t>(i)].data();
        v.sqlind = &nulls[static_cast<size_t>(i)];
    }

    Sqlda in(static_cast<int>(params.size()) + 1);
    std::vector<std::string> values = params;
    if (!params.empty()) {
        isc_dsql_describe_bind(status_, &stmt, 1, in.da());
        check("describe bind");
        for (size_t i = 0; i < params.size(); ++i) {
            XSQLVAR& v = in.da()->sqlvar[i];
            v.sqltype = SQL_TEXT;
            v.sqlsubtype = 0;
            v.sqllen = static_cast<short>(values[i].size());
            v.sqldata = values[i].data();
            v.sqlind = nullptr;
        }
    }
    isc_dsql_execute(status_, &tr_, &stmt, 1, params.empty() ? nullptr : in.da());
    check("execute");

    std::vector<Row> rows;
    while (isc_dsql_fetch(status_, &stmt, 1, out.da()) == 0) {
        Row row;
        row.reserve(static_cast<size_t>(columns));
        for (int i = 0; i < columns; ++i) {
            const XSQLVAR& v = out.da()->sqlvar[i];
            if (nulls[static_cast<size_t>(i)] < 0) {
                row.emplace_back();
                continue;
            }
            switch (v.sqltype & ~1) {
            case SQL_VARYING: {
                short len = 0;
                std::memcpy(&len, v.sqldata, sizeof len);
                row.emplace_back(v.sqldata + 2, static_cast<size_t>(len));
                break;
            }
            case SQL_TEXT:
                row.emplace_back(v.sqldata, static_cast<size_t>(v.sqllen));
                break;
            case SQL_LONG: {
                ISC_LONG x = 0;
                std::memcpy(&x, v.sqldata, sizeof x);
                row.push_back(std::to_string(x));
                break;
            }
            case SQL_INT64: {
                ISC_INT64 x = 0;
                std::memcpy(&x, v.sqldata, sizeof x);
                row.push_back(std::to_string(x));
                break;
            }
            default:
                row.emplace_back();
            }
        }
        rows.push_back(std::move(row));
    }
    check("fetch");
    isc_dsql_free_statement(status_, &stmt, DSQL_drop);
    check("free");
    return rows;
}

int BareFb::execute(const std::string& sql, const std::vector<int>& params) {
    isc_stmt_handle stmt = 0;
    isc_dsql_allocate_statement(status_, &db_, &stmt);
    check("allocate");
    isc_dsql_prepare(status_, &tr_, &stmt, 0, sql.c_str(), 1, nullptr);
    check("prepare");
    Sqlda in(static_cast<int>(params.size()) + 1);
    std::vector<ISC_LONG> values(params.begin(), params.end());
    for (size_t i = 0; i < params.size(); ++i) {
        XSQLVAR& v = in.da()->sqlvar[i];
        v.sqltype = SQL_LONG;
        v.sqllen = sizeof(ISC_LONG);
        v.sqlscale = 0;
        v.sqldata = reinterpret_cast<char*>(&values[i]);
        v.sqlind = nullptr;
    }
    in.da()->sqld = static_cast<short>(params.size());
    isc_dsql_execute(status_, &tr_, &stmt, 1, params.empty() ? nullptr : in.da());
    check("execute");
    char item = isc_info_sql_records;
    char info[64] = {};
    isc_dsql_sql_info(status_, &stmt, 1, &item, sizeof info, info);
    check("info");
    int changed = 0;
    // The counts of update, delete, select and insert, each as a 4-byte value.
    for (const char* p = info + 3; *p != isc_info_end && p < info + sizeof info;) {
        const char type = *p++;
        const short len = static_cast<short>(isc_vax_integer(p, 2));
        p += 2;
        if (type == isc_info_req_update_count || type == isc_info_req_insert_count)
            changed += static_cast<int>(isc_vax_integer(p, len));
        p += len;
    }
    isc_dsql_free_statement(status_, &stmt, DSQL_drop);
    check("free");
    return changed;
}

void BareFb::rollback() {
    isc_rollback_transaction(status_, &tr_);
    check("rollback");
    const char tpb[] = {isc_tpb_version3, isc_tpb_write, isc_tpb_nowait, isc_tpb_rec_version,
                        isc_tpb_read_committed};
    isc_start_transaction(status_, &tr_, 1, &db_, sizeof tpb, tpb);
    check("start transaction");
}

size_t bareTreeLoad(BareFb& fb, const std::function<void()>& step) {
    size_t read = 0;
    const auto categories =
        fb.select("select CATEGORY_NAME, NUM from CATEGORIES order by CATEGORY_NAME");
    read += categories.size();
    read += fb.select("select count(*) from hints").size();
    for (const auto& c : categories) {
        const auto subs = fb.select("select SUB_CAT,NUM from SUB_CATEGORIES where CATNUM=" + c[1]);
        read += subs.size();
        for (const auto& s : subs) {
            read += fb.select("select NAME,ID from HINTS where CAT=" + c[1] +
                              " and SUBCAT=" + s[1] + " order by NAME")
                        .size();
            if (step)
                step();
        }
    }
    return read;
}

} // namespace bench
