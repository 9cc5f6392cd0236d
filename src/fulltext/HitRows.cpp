// SPDX-License-Identifier: GPL-3.0-or-later

// The search list's rows for the hits, read from the database as it is now.

#include "Index.h"

#include <map>
#include <unordered_set>

namespace fulltext {

std::vector<HitRow> hitRows(fb::Query& q, const std::vector<Hit>& hits) {
    std::vector<HitRow> rows;
    if (hits.empty())
        return rows;
    // The names of the places that exist, by category and subcategory: a
    // few hundred rows, read at once.
    std::map<std::pair<int32_t, int32_t>, std::pair<std::string, std::string>> places;
    q.Close();
    q.setSQL(
        "SELECT C.CATNUM, C.NUM, B.CATEGORY_NAME, C.SUB_CAT FROM CATEGORIES B, SUB_CATEGORIES C "
        "WHERE B.NUM = C.CATNUM");
    q.Prepare();
    q.ExecQuery();
    for (; !q.Eof(); q.Next())
        places[{q.Fields(0).AsInteger(), q.Fields(1).AsInteger()}] = {q.Fields(2).AsString(),
                                                                      q.Fields(3).AsString()};
    q.Close();
    // Then each article by its key, through one prepared statement: a few
    // microseconds a row, where a list of IDs in the text costs the engine
    // tens of milliseconds to prepare.
    q.setSQL("SELECT NAME, CAT, SUBCAT FROM HINTS WHERE ID = :ID");
    q.Prepare();
    rows.reserve(hits.size());
    std::unordered_set<int32_t> listed;
    for (const Hit& hit : hits) {
        if (!listed.insert(hit.id).second)
            continue;
        q.Params(0).setAsInteger(hit.id);
        q.ExecQuery();
        if (!q.Eof() && !q.Fields(1).IsNull() && !q.Fields(2).IsNull()) {
            const auto place = places.find({q.Fields(1).AsInteger(), q.Fields(2).AsInteger()});
            if (place != places.end()) {
                HitRow row;
                row.id = hit.id;
                row.name = q.Fields(0).AsString();
                row.category = place->second.first;
                row.subcategory = place->second.second;
                row.snippet = hit.snippet;
                rows.push_back(std::move(row));
            }
        }
        q.Close();
    }
    return rows;
}

} // namespace fulltext
