// SPDX-License-Identifier: GPL-3.0-or-later
// A column of the current row, read as text or integer.
#include "Fb.h"
#include "FbClient.h"
#include "FbDetail.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace fb {

using client::api;
using detail::trim;

namespace {

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

bool Field::IsNull() const {
    return !q_.hasRow_ || q_.out_->ind[index_] < 0;
}

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
