// SPDX-License-Identifier: GPL-3.0-or-later
// The Firebird layer against real embedded databases.

#include "components/fb/Fb.h"
#include "components/fb/FbClient.h"
#include "components/text/Cp1251.h"
#include "components/text/Strings.h"
#include "support/TempDatabase.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <utility>

using testing_support::TempDatabase;

namespace {

using text::cp;

// The objects of the program's data module, on a fresh database.
struct Fb : ::testing::Test {
    TempDatabase file;
    fb::Database db;
    std::unique_ptr<fb::Transaction> read, write;
    std::unique_ptr<fb::Query> q, q2, upd;

    void SetUp() override {
        db.DBName = file.path();
        db.DBParams = {"lc_ctype=WIN1251", "user_name=sysdba", "password=vaultsong"};
        db.SQLDialect = 1;
        db.Open();
        read = std::make_unique<fb::Transaction>(db);
        write = std::make_unique<fb::Transaction>(db);
        for (auto* t : {read.get(), write.get()}) {
            t->TRParams = {"write", "isc_tpb_nowait", "rec_version", "read_committed"};
            t->setActive(true);
        }
        q = std::make_unique<fb::Query>(db, *read);
        q2 = std::make_unique<fb::Query>(db, *read);
        upd = std::make_unique<fb::Query>(db, *write);
    }
    void TearDown() override {
        upd.reset();
        q2.reset();
        q.reset();
        write.reset();
        read.reset();
        db.Close();
    }

    void exec(fb::Query& query, const std::string& sql) {
        query.Close();
        query.setSQL(sql);
        query.ExecQuery();
    }
    void commit() {
        exec(*upd, "COMMIT");
        write->setActive(true);
    }
    int count(const std::string& sql) {
        exec(*q, sql);
        int n = q->Fields(0).AsInteger();
        q->Close();
        return n;
    }
    void addArticle(const std::string& name, int cat, int sub, const std::string& body,
                    std::optional<int> servId = std::nullopt) {
        upd->Close();
        upd->setSQL("INSERT into HINTS (SERV_ID,NAME,CAT,SUBCAT,INFORMATION) "
                    "values (:SERV_ID, :NAME, :CAT, :SUB_CAT, :INF)");
        if (servId)
            upd->Params(0).setAsString(std::to_string(*servId));
        upd->Params(1).setAsString(name);
        upd->Params(2).setAsInteger(cat);
        upd->Params(3).setAsInteger(sub);
        upd->Params(4).setAsString(body);
        upd->ExecQuery();
    }
};

TEST(Markers, NamedMarkersBecomeQuestionMarksOutsideLiteralsNamesAndComments) {
    auto m = fb::rewriteMarkers("insert into t (a, \"b:c\") values (:A, ':x''s:y') -- :no\n"
                                "/* :none */ where x = :B_2 and y = ? and z = 'a::b'");
    EXPECT_EQ(m.text, "insert into t (a, \"b:c\") values (?, ':x''s:y') -- :no\n"
                      "/* :none */ where x = ? and y = ? and z = 'a::b'");
    EXPECT_EQ(m.count, 3);
    EXPECT_EQ(fb::rewriteMarkers("select 1 from rdb$database").count, 0);
    // An unterminated literal swallows the rest instead of running past the end.
    EXPECT_EQ(fb::rewriteMarkers("select ':a").count, 0);
}

TEST_F(Fb, QueryStatesFollowPrepareExecuteAndClose) {
    EXPECT_FALSE(q->Prepared());
    EXPECT_TRUE(q->Eof());
    q->setSQL("select NUM from CATEGORIES");
    EXPECT_FALSE(q->Prepared());
    q->Prepare();
    EXPECT_TRUE(q->Prepared());
    q->ExecQuery();
    EXPECT_TRUE(q->Open());
    EXPECT_TRUE(q->Eof()) << "a select without rows is at its end at once";
    q->Close();
    EXPECT_FALSE(q->Open());
    EXPECT_TRUE(q->Prepared()) << "Close keeps the statement prepared";
    q->Close(); // a second close does nothing

    q->setSQL("select NUM from CATEGORIES");
    EXPECT_FALSE(q->Prepared()) << "a new text drops the prepared statement";
    q->ExecQuery(); // prepares by itself
    EXPECT_TRUE(q->Prepared());

    // Prepare on an open query closes it first.
    q->Prepare();
    EXPECT_FALSE(q->Open());

    // A statement that is not a select leaves the query closed.
    exec(*upd, "INSERT INTO CATEGORIES (CATEGORY_NAME, NUM) values ('x', 1)");
    EXPECT_FALSE(upd->Open());
    EXPECT_TRUE(upd->Eof());
}

TEST_F(Fb, OneQueryServesManyTextsInTurnAFailedOneAmongThem) {
    // The statement handle is kept from text to text; each text must still
    // run as itself, whatever came before it, a failure included.
    exec(*upd, "INSERT INTO CATEGORIES (CATEGORY_NAME, NUM) values ('a', 1)");
    exec(*upd, "INSERT INTO CATEGORIES (CATEGORY_NAME, NUM) values ('b', 2)");
    commit();
    for (int round = 0; round < 3; ++round) {
        q->setSQL("select CATEGORY_NAME from CATEGORIES where NUM = 2");
        q->ExecQuery();
        EXPECT_EQ(q->Fields(0).AsString(), "b");
        q->Close();
        q->setSQL("select count(*), max(NUM) from CATEGORIES");
        q->ExecQuery();
        EXPECT_EQ(q->FieldCount(), 2);
        EXPECT_EQ(q->Fields(1).AsInteger(), 2);
        q->Close();
        q->setSQL("select no_such_column from CATEGORIES");
        EXPECT_THROW(q->ExecQuery(), fb::Error);
        EXPECT_FALSE(q->Prepared());
        q->setSQL("select NUM from CATEGORIES where CATEGORY_NAME = :n");
        q->Params(0).setAsString("a");
        q->ExecQuery();
        EXPECT_EQ(q->Fields(0).AsInteger(), 1);
        q->Close();
    }
    upd->setSQL("UPDATE CATEGORIES SET CATEGORY_NAME = 'c' where NUM = 1");
    upd->ExecQuery();
    EXPECT_EQ(upd->RowsAffected(), 1);
    upd->setSQL("select count(*) from CATEGORIES");
    upd->ExecQuery();
    EXPECT_EQ(upd->Fields(0).AsInteger(), 2) << "a select after a write on the same query";
    upd->Close();
}

TEST_F(Fb, MisuseOfAQueryFailsWithALayerError) {
    exec(*q, "select NUM from CATEGORIES");
    EXPECT_THROW(q->setSQL("select 1 from rdb$database"), fb::Error) << "text of an open query";
    EXPECT_THROW(q->Fields(1), fb::Error);
    EXPECT_THROW(q->Fields(-1), fb::Error);
    EXPECT_THROW(q->ExecQuery(), fb::Error) << "executing an open query";
    q->Close();
    EXPECT_THROW(q->Next(), fb::Error) << "Next on a closed query";

    q->setSQL("select NUM from CATEGORIES where NUM = :n");
    EXPECT_NO_THROW(q->Params(0));
    EXPECT_THROW(q->Params(1), fb::Error);

    q->setSQL("   ");
    EXPECT_THROW(q->Prepare(), fb::Error) << "empty text";

    q->setSQL("selec NUM from CATEGORIES");
    try {
        q->Prepare();
        FAIL() << "a syntax error must fail";
    } catch (const fb::Error& e) {
        EXPECT_NE(std::string(e.what()).find("Token unknown"), std::string::npos) << e.what();
        EXPECT_FALSE(e.codes().empty());
    }
    EXPECT_FALSE(q->Prepared());

    read->setActive(false);
    q->setSQL("select NUM from CATEGORIES");
    EXPECT_THROW(q->Prepare(), fb::Error) << "no active transaction";
    EXPECT_THROW(q->ExecQuery(), fb::Error);
    read->setActive(true);
    EXPECT_NO_THROW(q->ExecQuery());
}

TEST_F(Fb, RowsAreReadForwardByPositionWithTheirConversions) {
    exec(*upd, "INSERT INTO CATEGORIES (CATEGORY_NAME, NUM) values ('42', 1)");
    exec(*upd, "INSERT INTO CATEGORIES (CATEGORY_NAME, NUM) values (NULL, 2)");
    addArticle("a", 1, 1, "");
    commit();

    exec(*q, "select CATEGORY_NAME, NUM from CATEGORIES order by NUM");
    ASSERT_FALSE(q->Eof());
    EXPECT_EQ(q->Fields(0).AsInteger(), 42) << "text read as a decimal number";
    EXPECT_EQ(q->Fields(1).AsString(), "1") << "integer read as text";
    q->Next();
    ASSERT_FALSE(q->Eof());
    EXPECT_TRUE(q->Fields(0).IsNull());
    EXPECT_EQ(q->Fields(0).AsInteger(), 0);
    EXPECT_EQ(q->Fields(0).AsString(), "");
    EXPECT_FALSE(q->Fields(0).AsVariant().has_value());
    EXPECT_EQ(q->Fields(1).AsVariant().value_or("?"), "2");
    q->Next();
    EXPECT_TRUE(q->Eof());
    q->Next(); // past the end stays at the end
    EXPECT_TRUE(q->Eof());
    q->Close();

    // SERV_ID NULL, an empty BLOB and count(*) as a 32-bit integer in dialect 1.
    exec(*q, "select SERV_ID, INFORMATION, count(*) from HINTS group by 1, 2");
    EXPECT_TRUE(q->Fields(0).IsNull());
    EXPECT_EQ(q->Fields(1).AsString(), "");
    EXPECT_EQ(q->Fields(2).AsInteger(), 1);
    q->Close();

    exec(*q, "select CATEGORY_NAME from CATEGORIES where NUM = 2");
    q->Close();
    exec(*q, "select 'x1' from rdb$database");
    EXPECT_THROW(q->Fields(0).AsInteger(), fb::Error) << "text that is no number";
}

TEST_F(Fb, TextParametersAreConvertedByTheServer) {
    exec(*upd, "INSERT INTO CATEGORIES (CATEGORY_NAME, NUM) values ('c', 1)");
    exec(*upd, "INSERT INTO SUB_CATEGORIES (SUB_CAT, CATNUM, NUM) values ('s', 1, 12)");
    upd->setSQL("INSERT INTO hints (cat, subcat, name, information) "
                "values (:cat_id, :scat_id, :name, :content)");
    upd->Params(0).setAsString(" 1 ");
    upd->Params(1).setAsString("12");
    upd->Params(2).setAsString("title");
    upd->Params(3).setAsString("body");
    upd->Prepare(); // the values given before Prepare are kept
    upd->ExecQuery();
    EXPECT_EQ(upd->RowsAffected(), 1);

    upd->Params(0).setAsString("12abc");
    try {
        upd->ExecQuery();
        FAIL() << "a text that is no number must not go into an INTEGER column";
    } catch (const fb::Error& e) {
        EXPECT_NE(std::string(e.what()).find("conversion error"), std::string::npos) << e.what();
    }
    commit();
    EXPECT_EQ(count("select count(*) from HINTS where CAT=1 and SUBCAT=12"), 1);
}

TEST_F(Fb, BlobsOfAnyLengthAndCyrillicTextRoundTrip) {
    std::string big;
    for (int i = 0; big.size() < size_t{200} * 1024; ++i)
        big += cp("Строка номер ") + std::to_string(i) + "\r\n";
    addArticle(cp("Привет, мир"), 1, 1, big);
    addArticle("small", 1, 1, std::string("\0\xFF\x98", 3));
    commit();

    exec(*q, "select NAME, INFORMATION from HINTS order by ID");
    EXPECT_EQ(q->Fields(0).AsString(), cp("Привет, мир"));
    EXPECT_EQ(q->Fields(1).AsString(), big);
    q->Next();
    EXPECT_EQ(q->Fields(1).AsString(), std::string("\0\xFF\x98", 3));
    q->Close();

    // A text parameter longer than a short can hold is refused for a non-BLOB
    // column instead of being cut.
    upd->setSQL("UPDATE HINTS SET NAME=:n");
    upd->Params(0).setAsString(std::string(40000, 'a'));
    EXPECT_THROW(upd->ExecQuery(), fb::Error);
}

TEST_F(Fb, CyrillicSortsAndMatchesWithoutRegardToCase) {
    int n = 1;
    for (const char* name : {"Яблоко", "арбуз", "Бумага", "ёлка"}) {
        upd->setSQL("INSERT INTO CATEGORIES (CATEGORY_NAME, NUM) values (:Name, :ID)");
        upd->Params(0).setAsString(cp(name));
        upd->Params(1).setAsInteger(n++);
        upd->ExecQuery();
    }
    commit();
    exec(*q, "select CATEGORY_NAME, NUM from CATEGORIES order by CATEGORY_NAME");
    std::vector<std::string> order;
    for (; !q->Eof(); q->Next())
        order.push_back(text::cp1251ToUtf8(q->Fields(0).AsString()));
    q->Close();
    // Dictionary order, not the byte order that puts every capital first.
    EXPECT_EQ(order, (std::vector<std::string>{"арбуз", "Бумага", "ёлка", "Яблоко"}));

    q->setSQL("select NUM from CATEGORIES where UPPER(CATEGORY_NAME) CONTAINING UPPER(:w)");
    q->Params(0).setAsString(cp("БЛОК"));
    q->ExecQuery();
    ASSERT_FALSE(q->Eof());
    EXPECT_EQ(q->Fields(0).AsInteger(), 1);
    q->Next();
    EXPECT_TRUE(q->Eof());
    q->Close();
    q->setSQL("select count(*) from CATEGORIES where CATEGORY_NAME CONTAINING :w");
    q->Params(0).setAsString(cp("бУМ"));
    q->ExecQuery();
    EXPECT_EQ(q->Fields(0).AsInteger(), 1);
}

TEST_F(Fb, ReadsSeeExactlyWhatTheUpdateTransactionCommitted) {
    addArticle("a", 1, 1, "x");
    EXPECT_EQ(count("SELECT count(*) from HINTS"), 0) << "not committed yet";
    exec(*upd, "COMMIT");
    EXPECT_FALSE(write->Active()) << "the commit statement ends the transaction";
    EXPECT_THROW(exec(*upd, "INSERT INTO CATEGORIES (CATEGORY_NAME, NUM) values ('x', 1)"),
                 fb::Error);
    write->setActive(true);
    EXPECT_TRUE(write->Active());
    EXPECT_EQ(count("SELECT count(*) from HINTS"), 1);

    // The article got an identifier from the database and no server identifier.
    exec(*q, "select ID, SERV_ID from HINTS");
    EXPECT_GT(q->Fields(0).AsInteger(), 0);
    EXPECT_TRUE(q->Fields(1).IsNull());
    q->Close();
    EXPECT_EQ(count("SELECT count(*) from HINTS where SERV_ID IS NOT NULL"), 0);
    addArticle("b", 1, 1, "y", 77);
    commit();
    EXPECT_EQ(count("SELECT count(*) from HINTS where SERV_ID IS NOT NULL"), 1);
    EXPECT_EQ(count("SELECT count(*) from HINTS"), 2);
}

TEST_F(Fb, WritesLeftByAFailedWriterGoWithTheNextCommit) {
    exec(*upd, "INSERT INTO CATEGORIES (CATEGORY_NAME, NUM) values ('a', 1)");
    // The writer's second statement fails (duplicate key): it never commits.
    EXPECT_THROW(exec(*upd, "INSERT INTO CATEGORIES (CATEGORY_NAME, NUM) values ('b', 1)"),
                 fb::Error);
    EXPECT_EQ(count("select count(*) from CATEGORIES"), 0);
    // The next writer's commit takes the pending row along.
    exec(*upd, "INSERT INTO CATEGORIES (CATEGORY_NAME, NUM) values ('c', 2)");
    commit();
    EXPECT_EQ(count("select count(*) from CATEGORIES"), 2);
}

TEST_F(Fb, UncommittedWritesAreRolledBackAtTheEnd) {
    exec(*upd, "INSERT INTO CATEGORIES (CATEGORY_NAME, NUM) values ('a', 1)");
    TearDown(); // the data module's order of destruction, rolling back
    SetUp();    // attaches to the same file again
    EXPECT_EQ(count("select count(*) from CATEGORIES"), 0);
}

TEST_F(Fb, UpdatesReportTheRowsTheyTouchedAndKeysHoldPerCategory) {
    exec(*upd, "INSERT INTO CATEGORIES (CATEGORY_NAME, NUM) values ('a', 1)");
    exec(*upd, "INSERT INTO CATEGORIES (CATEGORY_NAME, NUM) values ('b', 2)");
    upd->setSQL("UPDATE CATEGORIES SET CATEGORY_NAME=:Name where NUM=:ID");
    upd->Params(0).setAsString("z");
    upd->Params(1).setAsInteger(7);
    upd->ExecQuery();
    EXPECT_EQ(upd->RowsAffected(), 0);
    upd->Params(1).setAsInteger(2);
    upd->ExecQuery();
    EXPECT_EQ(upd->RowsAffected(), 1);

    exec(*upd, "INSERT INTO SUB_CATEGORIES (SUB_CAT, CATNUM, NUM) values ('x', 1, 1)");
    exec(*upd, "INSERT INTO SUB_CATEGORIES (SUB_CAT, CATNUM, NUM) values ('y', 2, 1)");
    EXPECT_THROW(exec(*upd, "INSERT INTO SUB_CATEGORIES (SUB_CAT, CATNUM, NUM) values ('z', 2, 1)"),
                 fb::Error);
    commit();
    EXPECT_EQ(count("select count(*) from SUB_CATEGORIES where NUM=1"), 2);
}

TEST_F(Fb, NestedResultsStayOpenTogether) {
    for (int c = 1; c <= 3; ++c) {
        exec(*upd, "INSERT INTO CATEGORIES (CATEGORY_NAME, NUM) values ('c" + std::to_string(c) +
                       "', " + std::to_string(c) + ")");
        for (int s = 1; s <= 2; ++s)
            exec(*upd, "INSERT INTO SUB_CATEGORIES (SUB_CAT, CATNUM, NUM) values ('s', " +
                           std::to_string(c) + ", " + std::to_string(s) + ")");
    }
    commit();
    int pairs = 0;
    q->setSQL("select CATEGORY_NAME, NUM from CATEGORIES order by CATEGORY_NAME");
    q->ExecQuery();
    for (; !q->Eof(); q->Next()) {
        exec(*q2, "select SUB_CAT,NUM from SUB_CATEGORIES where CATNUM=" +
                      std::to_string(q->Fields(1).AsInteger()));
        for (; !q2->Eof(); q2->Next())
            ++pairs;
        q2->Close();
    }
    q->Close();
    EXPECT_EQ(pairs, 6);
}

TEST_F(Fb, AConflictingWriteFailsAtOnce) {
    exec(*upd, "INSERT INTO CATEGORIES (CATEGORY_NAME, NUM) values ('a', 1)");
    commit();
    exec(*upd, "UPDATE CATEGORIES SET CATEGORY_NAME='b' where NUM=1");
    // The read transaction is read-write too; with nowait it does not wait for the lock.
    EXPECT_THROW(exec(*q, "UPDATE CATEGORIES SET CATEGORY_NAME='c' where NUM=1"), fb::Error);
}

TEST_F(Fb, ALostConnectionIsFoundAtCloseAndDropped) {
    exec(*q, "select NUM from CATEGORIES");
    bool fired = false;
    db.OnLostConnect = [&] { fired = true; };
    // Detach a copy of the handle behind the layer's back: the layer's own
    // handle is now dead, as after the engine went away.
    isc_db_handle copy = *db.handlePtr();
    ISC_STATUS_ARRAY st;
    fb::client::api().isc_detach_database(st, &copy);
    EXPECT_FALSE(db.TestConnected());
    db.Close();
    EXPECT_TRUE(fired);
    EXPECT_FALSE(db.Connected());
    EXPECT_FALSE(read->Active());
    EXPECT_FALSE(write->Active());
    EXPECT_FALSE(q->Prepared());
    EXPECT_FALSE(q->Open());
}

TEST(FbOpen, AMissingFileFailsWithAnIoError) {
    testing_support::TempDir dir;
    fb::Database db;
    db.DBName = dir.file("DB/none.gdb");
    db.DBParams = {"lc_ctype=WIN1251", "user_name=sysdba", "password=x"};
    try {
        db.Open();
        FAIL();
    } catch (const fb::Error& e) {
        EXPECT_TRUE(e.hasCode(isc_io_error)) << e.what();
        EXPECT_NE(std::string(e.what()).find("I/O error"), std::string::npos);
    }
    EXPECT_FALSE(db.Connected());
    db.DBParams = {"bogus=1"};
    EXPECT_THROW(db.Open(), fb::Error);
}

// Every test gets the harness's whole environment: the engine's lock files
// and the settings stay in the build tree, apart from a program the user runs.
TEST(FbOpen, TestsKeepTheEngineLocksAndTheSettingsInTheBuildTree) {
    const std::filesystem::path build = std::filesystem::path(TIPSARA_BIN_DIR).parent_path();
    for (auto [name, dir] :
         {std::pair{"FIREBIRD_LOCK", "firebird-lock"}, {"XDG_CONFIG_HOME", "test-config"}}) {
        const char* value = std::getenv(name);
        ASSERT_NE(value, nullptr) << name;
        EXPECT_TRUE(std::filesystem::equivalent(value, build / dir)) << name << "=" << value;
    }
}

TEST(FbOpenDeathTest, AMissingClientLibraryFailsTheAttachNotTheStart) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // In a fresh process, so that the real library is not loaded yet.
    EXPECT_EXIT(
        {
            fb::client::setLibraryName("libfbclient-missing.so.9");
            fb::Database db;
            db.DBName = "/nowhere.gdb";
            try {
                db.Open();
            } catch (const fb::Error& e) {
                std::exit(std::string(e.what()).find("libfbclient-missing") != std::string::npos &&
                                  !db.Connected()
                              ? 3
                              : 4);
            }
            std::exit(5);
        },
        ::testing::ExitedWithCode(3), "");
}

} // namespace
