// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// The baseline for the database figures: statements run straight through
// the Firebird client API, with no layer of ours and no widgets.

#include <ibase.h>

#include <functional>
#include <string>
#include <vector>

namespace bench {

class BareFb {
public:
    explicit BareFb(const std::string& path);
    ~BareFb();
    BareFb(const BareFb&) = delete;
    BareFb& operator=(const BareFb&) = delete;

    using Row = std::vector<std::string>;
    // Prepares and runs a select, with text parameters, and fetches every row
    // with every column as text (integers in decimal).
    std::vector<Row> select(const std::string& sql, const std::vector<std::string>& params = {});

    // Prepares and executes a statement that returns no rows, with integer
    // parameters; returns the rows it changed.
    int execute(const std::string& sql, const std::vector<int>& params);
    // Ends the transaction without keeping its writes, and starts another.
    void rollback();

private:
    void check(const char* what);
    ISC_STATUS_ARRAY status_{};
    isc_db_handle db_ = 0;
    isc_tr_handle tr_ = 0;
};

// The statements of one tree load, back to back: the categories, the count,
// each category's subcategories and each subcategory's articles. Returns the
// number of rows read. step, when given, is called after each subcategory's
// articles.
size_t bareTreeLoad(BareFb& fb, const std::function<void()>& step = {});

} // namespace bench
