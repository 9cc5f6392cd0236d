// SPDX-License-Identifier: GPL-3.0-or-later

#include "Lists.h"

#include "Database.h"
#include "components/fb/Fb.h"

namespace data {

void SetCategoryList(fb::Query& q) {
    q.setSQL("select CATEGORY_NAME, NUM from CATEGORIES order by CATEGORY_NAME");
}

std::vector<NamedNumber> ReadNamedNumbers(fb::Query& q) {
    const fb::CloseOnFailure closer(q);
    RunReading(q);
    std::vector<NamedNumber> rows;
    while (!q.Eof()) {
        rows.push_back({q.Fields(0).AsVariant().value_or(std::string()), q.Fields(1).AsString()});
        q.Next();
    }
    q.Close();
    return rows;
}

namespace {
int countOf(fb::Query& q, const char* statement) {
    const fb::CloseOnFailure closer(q);
    q.Close();
    q.setSQL(statement);
    q.Prepare();
    q.ExecQuery();
    const int n = q.Fields(0).AsInteger();
    q.Close();
    return n;
}
} // namespace

ArticleCounts CountArticles(fb::Query& q) {
    ArticleCounts counts;
    counts.total = countOf(q, "SELECT count(*) from HINTS");
    counts.fromServer = countOf(q, "SELECT count(*) from HINTS where SERV_ID IS NOT NULL");
    return counts;
}

} // namespace data
