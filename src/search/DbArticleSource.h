// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// The full-text index's articles read from the database, and the rows of
// the search list for its hits.

#include "components/fb/Fb.h"
#include "fulltext/ArticleSource.h"
#include "fulltext/Index.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace search {

// Each reader is a read-committed, read-only transaction of its own on the
// attachment: it sees exactly what the database has committed, never the
// program's update transaction.
class DbArticleSource : public fulltext::ArticleSource {
public:
    explicit DbArticleSource(fb::Database& db) : db_(db) {}
    std::unique_ptr<fulltext::ArticleReader> read() override;

private:
    fb::Database& db_;
};

// Attaches `own` to the same database as `db`, with the same parameters,
// for a worker thread (which then reads through a source of its own).
void attachLike(const fb::Database& db, fb::Database& own);

// Rows for a result list: the hits whose article is in the catalogue (its
// category and subcategory exist and belong together, as for the title
// search), in the order of the hits, read through `q` (a reading query
// object; its text is replaced and it is closed again). Texts are
// Windows-1251.
struct HitRow {
    int32_t id = 0;
    std::string name;
    std::string category;
    std::string subcategory;
    std::string snippet;
    std::vector<fulltext::Mark> marks;
};
std::vector<HitRow> hitRows(fb::Query& q, const std::vector<fulltext::Hit>& hits);

} // namespace search
