// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// The data module's own statements and the name lists the windows fill
// their boxes from, read without a window.

#include <string>
#include <vector>

namespace fb {
class Query;
}

namespace data {

// Gives q the statement it keeps for its whole life: every category, by
// name (the data module's first query object).
void SetCategoryList(fb::Query& q);

// One row of a name list: the name (empty for NULL) and its number as the
// query gives it as text.
struct NamedNumber {
    std::string name;
    std::string num;
};

// Runs q, whose statement is set, and reads its rows of name and number;
// q is closed afterwards.
std::vector<NamedNumber> ReadNamedNumbers(fb::Query& q);

// All articles, and those of them that came from the update server.
struct ArticleCounts {
    int total = 0;
    int fromServer = 0;
};
ArticleCounts CountArticles(fb::Query& q);

} // namespace data
