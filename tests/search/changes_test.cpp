// SPDX-License-Identifier: GPL-3.0-or-later
// The writers' notice of committed articles reaching the search's index.

#include "authoring/Articles.h"
#include "components/text/Cp1251.h"
#include "data/ArticlesChanged.h"
#include "data/Database.h"
#include "search/TextSearch.h"
#include "support/TempDatabase.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::string cp(const char* utf8) {
    return text::utf8ToCp1251(utf8, true);
}

size_t hits(fb::Database& db, const char* word) {
    return search::TextIndexFor(db).search(cp(word), fulltext::Mode::AllWords).hits.size();
}

} // namespace

TEST(ArticlesChanged, AnAddedArticleReachesTheListenersAndIsFoundAtOnce) {
    dbbuild::Catalogue c;
    c.categories = {{1, cp("Строки")}};
    c.subcategories = {{1, 1, cp("Основы")}};
    c.articles = {{"", 1, 1, std::nullopt, cp("Дятел"), cp("<p>Про дятлов.</p>")}};
    testing_support::TempDatabase file(&c);
    fb::Database db;
    data::configure(db, file.path());
    db.Open();
    {
        fb::Transaction upd(db);
        upd.TRParams = data::TransactionParams();
        upd.StartTransaction();
        fb::Query q(db, upd);

        std::vector<data::ArticlesChange> heard;
        {
            const data::ArticlesChanged::Subscription listening = data::ArticlesChanged::subscribe(
                [&](const data::ArticlesChange& change) { heard.push_back(change); });
            // The index as the first full-text search opens it.
            ASSERT_TRUE(search::TextSearch(search::TextIndexFor(db)).Prepare(db, {}));
            EXPECT_EQ(hits(db, "синица"), 0u);
            authoring::InsertArticle(q, upd, "1", "1", cp("Синица"), cp("<p>Про синиц.</p>"));
            ASSERT_EQ(heard.size(), 1u);
            EXPECT_EQ(heard[0].kind, data::ArticlesChange::Kind::Added);
            EXPECT_EQ(heard[0].db, &db);
            EXPECT_EQ(hits(db, "синица"), 1u);
        }
        // A listener gone hears nothing more; the index still catches up.
        authoring::InsertArticle(q, upd, "1", "1", cp("Сорока"), cp("<p>Про сорок.</p>"));
        EXPECT_EQ(heard.size(), 1u);
        EXPECT_EQ(hits(db, "сорока"), 1u);
    }
    search::CloseTextIndex();
    db.Close();
}

TEST(ArticlesChanged, AnEditedArticleReplacesItsDocumentAndADeletedOneLeavesTheIndex) {
    dbbuild::Catalogue c;
    c.categories = {{1, cp("Строки")}};
    c.subcategories = {{1, 1, cp("Основы")}};
    c.articles = {{"", 1, 1, std::nullopt, cp("Дятел"), cp("<p>Про дятлов.</p>")}};
    testing_support::TempDatabase file(&c);
    fb::Database db;
    data::configure(db, file.path());
    db.Open();
    {
        fb::Transaction upd(db);
        upd.TRParams = data::TransactionParams();
        upd.StartTransaction();
        fb::Query q(db, upd);
        ASSERT_TRUE(search::TextSearch(search::TextIndexFor(db)).Prepare(db, {}));
        ASSERT_EQ(hits(db, "дятел"), 1u);
        const int32_t id =
            search::TextIndexFor(db).search(cp("дятел"), fulltext::Mode::AllWords).hits.front().id;

        authoring::UpdateArticle(q, upd, id, 1, 1, cp("Снегирь"), cp("<p>Про снегирей.</p>"));
        EXPECT_EQ(hits(db, "дятел"), 0u);
        EXPECT_EQ(hits(db, "снегирь"), 1u);
        authoring::DeleteArticle(q, upd, id);
        EXPECT_EQ(hits(db, "снегирь"), 0u);
        EXPECT_EQ(search::TextIndexFor(db).size(), 0u);
    }
    search::CloseTextIndex();
    db.Close();
}
