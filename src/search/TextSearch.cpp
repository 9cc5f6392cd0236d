// SPDX-License-Identifier: GPL-3.0-or-later

#include "TextSearch.h"

#include "DbArticleSource.h"
#include "components/text/QtText.h"
#include "data/ArticlesChanged.h"

#include <memory>
#include <utility>

namespace search {

fulltext::Mode TextMode(Mode mode) {
    switch (mode) {
    case Mode::AnyWord:
        return fulltext::Mode::AnyWord;
    case Mode::ExactText:
        return fulltext::Mode::Phrase;
    case Mode::AllWords:
        break;
    }
    return fulltext::Mode::AllWords;
}

bool TextSearch::Prepare(fb::Database& db, const fulltext::Progress& progress) {
    if (index_.isOpen())
        return true;
    try {
        DbArticleSource source(db);
        return index_.openOrBuild(source, progress);
    } catch (...) {
        // Half open (built but not caught up, say) is not trusted: the next
        // search starts over.
        index_.close();
        throw;
    }
}

void TextSearch::Committed(fb::Database& db) noexcept {
    if (!index_.isOpen())
        return;
    try {
        DbArticleSource source(db);
        index_.addNew(source);
    } catch (...) {
        index_.close();
    }
}

std::optional<TextFound> TextSearch::Find(fb::Database& db, fb::Query& q, const QCollator& collator,
                                          Mode mode, const std::string& text,
                                          const fulltext::Progress& progress) {
    TextFound found;
    DbArticleSource source(db);
    std::optional<fulltext::Result> result =
        index_.find(source, text, TextMode(mode), TextHitLimit, progress);
    if (!result)
        return std::nullopt;
    found.result = std::move(*result);
    if (!found.result.hasWords) {
        for (QStringList& row : OrderedRows(collator, search::Find(q, mode, text))) {
            row << QString();
            found.rows.push_back(std::move(row));
        }
        return found;
    }
    const std::vector<HitRow> rows = hitRows(q, found.result.hits);
    found.rows.reserve(rows.size());
    found.marks.reserve(rows.size());
    for (const HitRow& r : rows) {
        found.rows.push_back({text::toQ(r.name), text::toQ(r.category), text::toQ(r.subcategory),
                              QString::number(r.id), text::toQ(r.snippet)});
        found.marks.push_back(r.marks);
    }
    return found;
}

void TextSearch::Changed(fb::Database& db, const std::vector<int32_t>& ids) noexcept {
    if (!index_.isOpen())
        return;
    try {
        DbArticleSource source(db);
        index_.refresh(source, ids);
    } catch (...) {
        index_.close();
    }
}

std::vector<std::string> TextSearch::MatchedWords(const fulltext::Result& result,
                                                  int32_t id) const {
    if (!index_.isOpen())
        return {};
    return index_.matchedWords(result, id);
}

namespace {

struct Kept {
    explicit Kept(fb::Database& d)
        : db(&d), dbName(d.DBName), index(fulltext::indexFolderFor(dbName)) {}

    void heard(const data::ArticlesChange& change) {
        if (change.db != db || change.db->DBName != dbName)
            return;
        TextSearch search(index);
        if (change.kind == data::ArticlesChange::Kind::Added && change.ids.empty())
            search.Committed(*db);
        else
            search.Changed(*db, change.ids);
    }

    fb::Database* db;
    std::string dbName;
    fulltext::Index index;
    data::ArticlesChanged::Subscription listening;
};

std::unique_ptr<Kept>& kept() {
    static std::unique_ptr<Kept> k;
    return k;
}

} // namespace

fulltext::Index& TextIndexFor(fb::Database& db) {
    std::unique_ptr<Kept>& k = kept();
    if (!k || k->db != &db || k->dbName != db.DBName) {
        // The old one closes first: the same folder is not held twice.
        k.reset();
        k = std::make_unique<Kept>(db);
        k->listening = data::ArticlesChanged::subscribe(
            [raw = k.get()](const data::ArticlesChange& change) { raw->heard(change); });
    }
    return k->index;
}

void CloseTextIndex() {
    kept().reset();
}

} // namespace search
