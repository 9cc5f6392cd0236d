// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// What the query layer's own files share and its users need not see: the
// descriptor areas a query and its fields read, and two small text and
// status checks.

#include "Fb.h"

#include <ibase.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <string_view>
#include <vector>

namespace fb {

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

namespace detail {

inline std::string trim(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b])))
        ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1])))
        --e;
    return std::string(s.substr(b, e - b));
}

inline bool failed(const ISC_STATUS* st) {
    return st[0] == 1 && st[1] != 0;
}

} // namespace detail

} // namespace fb
