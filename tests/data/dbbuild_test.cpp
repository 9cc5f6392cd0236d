// SPDX-License-Identifier: GPL-3.0-or-later
// Making the database from the schema script and the catalogue files.

#include "components/fb/Fb.h"
#include "components/text/Cp1251.h"
#include "data/DbBuild.h"
#include "support/TempDatabase.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;
using testing_support::TempDir;

namespace {

void write(const fs::path& p, const std::string& text) {
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << text;
}

// A small catalogue in a temporary folder.
void smallCatalogue(const TempDir& dir) {
    write(dir.path() / "categories.txt", "# comment\n1\tСтроки\n2\tФайлы\n");
    write(dir.path() / "subcategories.txt", "1\t1\tРазбор\n2\t1\tПоиск\n");
    write(dir.path() / "articles.txt", "a.html\t1\t1\t1001\tКак разбить строку\n"
                                       "b.html\t2\t1\t\tПоиск файлов\n");
    write(dir.path() / "articles/a.html", "<p>Строка</p>");
    write(dir.path() / "articles/b.html", "<p>b</p>");
}

int count(fb::Database& db, const std::string& sql) {
    fb::Transaction tr(db);
    tr.StartTransaction();
    fb::Query q(db, tr);
    q.setSQL(sql);
    q.ExecQuery();
    return q.Fields(0).AsInteger();
}

TEST(Script, StatementsSplitAtTheTerminatorWhichSetTermChanges) {
    auto s = dbbuild::splitScript("/* head; */ CREATE TABLE A (X INTEGER);\n"
                                  "-- note; here\n"
                                  "INSERT INTO A VALUES (';');\n"
                                  "SET TERM ^ ;\n"
                                  "CREATE TRIGGER T FOR A AS BEGIN X = 1; END^\n"
                                  "SET TERM ; ^\n"
                                  "CREATE INDEX I ON A (X);");
    ASSERT_EQ(s.size(), 4u);
    EXPECT_EQ(s[0], "CREATE TABLE A (X INTEGER)");
    EXPECT_EQ(s[1], "INSERT INTO A VALUES (';')");
    EXPECT_EQ(s[2], "CREATE TRIGGER T FOR A AS BEGIN X = 1; END");
    EXPECT_EQ(s[3], "CREATE INDEX I ON A (X)");
}

TEST(Catalogue, FaultsAreReportedWithFileAndLine) {
    TempDir dir;
    smallCatalogue(dir);
    EXPECT_NO_THROW(dbbuild::readCatalogue(dir.path().string()));

    auto expectFault = [&](const std::string& file, const std::string& text,
                           const std::string& words) {
        TempDir bad;
        smallCatalogue(bad);
        write(bad.path() / file, text);
        try {
            dbbuild::readCatalogue(bad.path().string());
            ADD_FAILURE() << "no fault found for " << words;
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()).find(words), std::string::npos) << e.what();
        }
    };
    expectFault("articles.txt", "a.html\t1\t2\t\tx\n", "articles.txt:1: no subcategory 1/2");
    expectFault("articles.txt", "a.html\t1\t1\t\n", "expected 5");
    expectFault("articles.txt", "zz.html\t1\t1\t\tx\n", "cannot read");
    expectFault("articles.txt", "a.html\t1\t1\t5\tx\nb.html\t1\t1\t5\ty\n", "used twice");
    expectFault("subcategories.txt", "3\t1\tx\n", "no category 3");
    expectFault("categories.txt", "1\ta\nx\tb\n", "categories.txt:2");
    expectFault("articles/a.html", "✓", "Windows-1251");
}

TEST(Build, TheDatabaseIsMadeOnceAndNeverReplaced) {
    TempDir cat, out;
    smallCatalogue(cat);
    const std::string schema = testing_support::sourceDir() + "/db/schema.sql";
    const std::string path = out.file("DB/Tipsara.gdb");
    EXPECT_TRUE(dbbuild::buildDatabase(path, schema, cat.path().string()));
    EXPECT_FALSE(fs::exists(path + ".building"));
    auto stamp = fs::last_write_time(path);
    EXPECT_FALSE(dbbuild::buildDatabase(path, schema, cat.path().string()));
    EXPECT_EQ(fs::last_write_time(path), stamp);

    fb::Database db;
    db.DBName = path;
    db.DBParams = {"lc_ctype=WIN1251", "user_name=sysdba", "password=vaultsong"};
    db.SQLDialect = 1;
    db.Open();
    EXPECT_EQ(count(db, "SELECT count(*) from HINTS"), 2);
    EXPECT_EQ(count(db, "SELECT count(*) from HINTS where SERV_ID IS NOT NULL"), 1);
    fb::Transaction tr(db);
    tr.StartTransaction();
    fb::Query q(db, tr);
    q.setSQL("select NAME, INFORMATION from HINTS where SERV_ID = 1001");
    q.ExecQuery();
    EXPECT_EQ(text::cp1251ToUtf8(q.Fields(0).AsString()), "Как разбить строку");
    EXPECT_EQ(text::cp1251ToUtf8(q.Fields(1).AsString()), "<p>Строка</p>");
}

TEST(Build, AFaultyCatalogueLeavesNoDatabaseBehind) {
    TempDir cat, out;
    smallCatalogue(cat);
    write(cat.path() / "articles.txt", "a.html\t9\t9\t\tx\n");
    const std::string path = out.file("DB/Tipsara.gdb");
    EXPECT_THROW(dbbuild::buildDatabase(path, testing_support::sourceDir() + "/db/schema.sql",
                                        cat.path().string()),
                 std::runtime_error);
    EXPECT_FALSE(fs::exists(path));
    EXPECT_FALSE(fs::exists(path + ".building"));
}

// The shipped catalogue, counted straight from its files, is what the
// database holds.
TEST(ShippedCatalogue, TheDatabaseHoldsEveryArticleOfTheFiles) {
    const fs::path dir = fs::path(testing_support::sourceDir()) / "db/catalogue";
    int files = 0;
    for (const auto& e : fs::directory_iterator(dir / "articles"))
        files += e.path().extension() == ".html";
    int lines = 0, withServer = 0;
    std::ifstream in(dir / "articles.txt");
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#')
            continue;
        ++lines;
        std::stringstream f(line);
        std::string field;
        for (int i = 0; i < 4; ++i)
            std::getline(f, field, '\t');
        withServer += !field.empty();
    }
    EXPECT_EQ(lines, files) << "every article file is listed once";
    EXPECT_GE(files, 40);

    auto catalogue = dbbuild::readCatalogue(dir.string());
    EXPECT_EQ(catalogue.categories.size(), 16u);
    EXPECT_GE(catalogue.subcategories.size(), 60u);
    testing_support::TempDatabase database(&catalogue);
    fb::Database db;
    db.DBName = database.path();
    db.DBParams = {"lc_ctype=WIN1251", "user_name=sysdba", "password=vaultsong"};
    db.SQLDialect = 1;
    db.Open();
    EXPECT_EQ(count(db, "SELECT count(*) from HINTS"), files);
    EXPECT_EQ(count(db, "SELECT count(*) from HINTS where SERV_ID IS NOT NULL"), withServer);
    EXPECT_GT(withServer, 0);
    EXPECT_LT(withServer, files);
}

} // namespace
