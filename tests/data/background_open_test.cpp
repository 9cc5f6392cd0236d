// SPDX-License-Identifier: GPL-3.0-or-later
// Attaching the program's database on a thread of its own while the windows
// are made: the same connection as an attach in the foreground, and the same
// failure, given back on the join.

#include "components/fb/Fb.h"
#include "components/text/Cp1251.h"
#include "data/Database.h"
#include "support/TempDatabase.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <vector>

namespace fs = std::filesystem;
using testing_support::TempDatabase;
using testing_support::TempDir;

namespace {

dbbuild::Catalogue twoCategories() {
    dbbuild::Catalogue c;
    c.categories = {{1, text::utf8ToCp1251("Строки")}, {2, text::utf8ToCp1251("Файлы")}};
    c.subcategories = {{1, 1, text::utf8ToCp1251("Разбор")}};
    c.articles = {{"", 1, 1, std::nullopt, text::utf8ToCp1251("Как разбить строку"), "<p>x</p>"}};
    return c;
}

// What a connection is as the engine sees it: its character set, user and
// dialect, and what it reads in the program's own transaction.
std::vector<std::string> stateOf(fb::Database& db) {
    fb::Transaction tr(db);
    tr.TRParams = data::TransactionParams();
    tr.StartTransaction();
    fb::Query q(db, tr);
    q.setSQL("select a.MON$CHARACTER_SET_ID, current_user, "
             "rdb$get_context('SYSTEM', 'CLIENT_PROCESS') from MON$ATTACHMENTS a "
             "where a.MON$ATTACHMENT_ID = current_connection");
    q.ExecQuery();
    std::vector<std::string> state = {q.Fields(0).AsString(), q.Fields(1).AsString(),
                                      q.Fields(2).AsString()};
    q.Close();
    q.setSQL("select CATEGORY_NAME, NUM from CATEGORIES order by CATEGORY_NAME");
    q.ExecQuery();
    for (; !q.Eof(); q.Next())
        state.push_back(q.Fields(0).AsString() + "/" + q.Fields(1).AsString());
    q.Close();
    tr.Commit();
    return state;
}

// The text Open throws on db, or nothing when it attaches.
std::optional<std::string> foregroundFailure(const std::string& path) {
    fb::Database db;
    data::configure(db, path);
    try {
        db.Open();
    } catch (const fb::Error& e) {
        EXPECT_FALSE(db.Connected());
        return std::string(e.what());
    }
    return std::nullopt;
}

TEST(BackgroundOpen, GivesTheSameConnectionAsAnOpenInTheForeground) {
    const dbbuild::Catalogue c = twoCategories();
    TempDatabase file(&c);

    fb::Database foreground;
    data::configure(foreground, file.path());
    foreground.Open();

    fb::Database background;
    data::configure(background, file.path());
    {
        data::BackgroundOpen opening(background);
        opening.join();
        EXPECT_TRUE(background.Connected());
        EXPECT_NO_THROW(opening.join()) << "a second join waits for nothing";
    }
    EXPECT_TRUE(background.TestConnected());
    EXPECT_EQ(background.DBName, foreground.DBName);
    EXPECT_EQ(background.SQLDialect, 1);

    const std::vector<std::string> state = stateOf(background);
    EXPECT_EQ(state, stateOf(foreground));
    ASSERT_EQ(state.size(), 5u);
    EXPECT_EQ(state[0], "52") << "Windows-1251";
    EXPECT_EQ(state[3], text::utf8ToCp1251("Строки") + "/1");
    EXPECT_EQ(state[4], text::utf8ToCp1251("Файлы") + "/2");
    background.Close();
    foreground.Close();
}

TEST(BackgroundOpen, AFailureComesBackOnTheJoinWithTheTextOfTheForegroundOne) {
    TempDir dir;
    const std::string missing = dir.file("DB/Tipsara.gdb");
    const std::string broken = dir.file("broken.gdb");
    std::ofstream(broken) << "not a database";

    for (const std::string& path : {missing, broken}) {
        SCOPED_TRACE(path);
        const std::optional<std::string> expected = foregroundFailure(path);
        ASSERT_TRUE(expected.has_value());

        fb::Database db;
        data::configure(db, path);
        data::BackgroundOpen opening(db);
        try {
            opening.join();
            ADD_FAILURE() << "the join did not fail";
        } catch (const fb::Error& e) {
            EXPECT_EQ(std::string(e.what()), *expected);
            EXPECT_FALSE(e.codes().empty()) << "the engine's own codes come along";
        }
        EXPECT_FALSE(db.Connected());
        EXPECT_NO_THROW(opening.join()) << "the failure is given once";
    }
    EXPECT_FALSE(fs::exists(missing)) << "a failed attach creates nothing";
}

TEST(BackgroundOpen, AnOpenNeverJoinedIsWaitedForWhenDropped) {
    TempDatabase file;
    fb::Database db;
    data::configure(db, file.path());
    std::make_unique<data::BackgroundOpen>(db).reset();
    EXPECT_TRUE(db.Connected());
    EXPECT_TRUE(db.TestConnected());
    db.Close();

    // A failure nobody asks for is dropped with the object.
    TempDir dir;
    fb::Database none;
    data::configure(none, dir.file("missing.gdb"));
    EXPECT_NO_THROW(std::make_unique<data::BackgroundOpen>(none).reset());
    EXPECT_FALSE(none.Connected());
}

TEST(BackgroundOpen, SeveralAttachesAtOnceEachGetTheirConnection) {
    TempDatabase file;
    std::vector<std::unique_ptr<fb::Database>> dbs;
    std::vector<std::unique_ptr<data::BackgroundOpen>> openings;
    dbs.reserve(4);
    openings.reserve(4);
    for (int i = 0; i < 4; ++i) {
        dbs.push_back(std::make_unique<fb::Database>());
        data::configure(*dbs.back(), file.path());
    }
    for (auto& db : dbs)
        openings.push_back(std::make_unique<data::BackgroundOpen>(*db));
    for (auto& opening : openings)
        EXPECT_NO_THROW(opening->join());
    for (auto& db : dbs) {
        EXPECT_TRUE(db->TestConnected());
        db->Close();
    }
}

} // namespace
