// SPDX-License-Identifier: GPL-3.0-or-later

#include "DbArticleSource.h"

#include <filesystem>
#include <map>
#include <unordered_set>

namespace fs = std::filesystem;

namespace search {

namespace {

class DbReader : public fulltext::ArticleReader {
public:
    explicit DbReader(fb::Database& db) : db_(db), tr_(db) {
        tr_.TRParams = {"read", "read_committed", "rec_version", "nowait"};
        tr_.StartTransaction();
    }
    ~DbReader() override {
        byId_.reset();
        if (tr_.Active()) {
            try {
                tr_.Commit();
            } catch (const std::exception&) {
                // Nothing was written; the transaction ends with the attachment.
            }
        }
    }
    DbReader(const DbReader&) = delete;
    DbReader& operator=(const DbReader&) = delete;

    // The database's file and the engine's creation stamp, which a replaced
    // file does not share.
    std::string identity() override {
        fb::Query q(db_, tr_);
        run(q, "select cast(MON$CREATION_DATE as varchar(40)) from MON$DATABASE");
        const std::string stamp = q.Fields(0).AsString();
        q.Close();
        std::string path = db_.DBName;
        std::error_code ec;
        const fs::path canonical = fs::weakly_canonical(path, ec);
        if (!ec)
            path = canonical.string();
        return path + "\n" + stamp;
    }

    int count() override {
        fb::Query q(db_, tr_);
        run(q, "select count(*) from HINTS");
        const int n = q.Fields(0).AsInteger();
        q.Close();
        return n;
    }

    std::vector<int32_t> ids() override {
        std::vector<int32_t> ids;
        fb::Query q(db_, tr_);
        run(q, "select ID from HINTS order by ID");
        for (; !q.Eof(); q.Next())
            ids.push_back(q.Fields(0).AsInteger());
        q.Close();
        return ids;
    }

    void eachAfter(int32_t after,
                   const std::function<bool(const fulltext::Article&)>& each) override {
        fb::Query q(db_, tr_);
        q.setSQL("select ID, NAME, INFORMATION from HINTS where ID > :ID");
        q.Params(0).setAsInteger(after);
        q.Prepare();
        q.ExecQuery();
        for (; !q.Eof(); q.Next()) {
            const fulltext::Article a{q.Fields(0).AsInteger(), q.Fields(1).AsString(),
                                      q.Fields(2).AsString()};
            if (!each(a))
                break;
        }
        q.Close();
    }

    std::optional<fulltext::Article> article(int32_t id) override {
        if (!byId_) {
            byId_ = std::make_unique<fb::Query>(db_, tr_);
            byId_->setSQL("select NAME, INFORMATION from HINTS where ID = :ID");
            byId_->Prepare();
        }
        fb::Query& q = *byId_;
        q.Params(0).setAsInteger(id);
        q.ExecQuery();
        std::optional<fulltext::Article> a;
        if (!q.Eof())
            a = fulltext::Article{id, q.Fields(0).AsString(), q.Fields(1).AsString()};
        q.Close();
        return a;
    }

private:
    static void run(fb::Query& q, const std::string& sql) {
        q.Close();
        q.setSQL(sql);
        q.Prepare();
        q.ExecQuery();
    }

    fb::Database& db_;
    fb::Transaction tr_;
    // One prepared statement for the lookups by ID of one reader.
    std::unique_ptr<fb::Query> byId_;
};

} // namespace

std::unique_ptr<fulltext::ArticleReader> DbArticleSource::read() {
    return std::make_unique<DbReader>(db_);
}

void attachLike(const fb::Database& db, fb::Database& own) {
    own.DBName = db.DBName;
    own.DBParams = db.DBParams;
    own.SQLDialect = db.SQLDialect;
    own.Open();
}

std::vector<HitRow> hitRows(fb::Query& q, const std::vector<fulltext::Hit>& hits) {
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
    for (const fulltext::Hit& hit : hits) {
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
                row.marks = hit.marks;
                rows.push_back(std::move(row));
            }
        }
        q.Close();
    }
    return rows;
}

} // namespace search
