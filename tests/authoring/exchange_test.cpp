// SPDX-License-Identifier: GPL-3.0-or-later
// Import of files and bundles and export of bundles, without a window.

#include "authoring/Bundle.h"
#include "authoring/Export.h"
#include "authoring/Import.h"
#include "authoring/OwnCatalogue.h"
#include "components/fb/Fb.h"
#include "components/text/Strings.h"
#include "data/ArticlesChanged.h"
#include "support/TempDatabase.h"
#include "support/ZipMaker.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zip.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <tuple>

namespace fs = std::filesystem;
using testing_support::AttachedDatabase;
using testing_support::TempDatabase;
using testing_support::TempDir;
using text::cp;

namespace {

void write(const std::string& path, const std::string& bytes) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string readAll(const std::string& path) {
    return dbbuild::readFile(path);
}

// Every article as (category name, subcategory name, title, text).
using Row = std::tuple<std::string, std::string, std::string, std::string>;
std::multiset<Row> rows(fb::Query& q, const std::string& where = "1=1") {
    q.Close();
    q.setSQL("select c.CATEGORY_NAME, s.SUB_CAT, h.NAME, h.INFORMATION from HINTS h "
             "join CATEGORIES c on c.NUM=h.CAT "
             "join SUB_CATEGORIES s on s.CATNUM=h.CAT and s.NUM=h.SUBCAT where " +
             where);
    q.ExecQuery();
    std::multiset<Row> out;
    for (; !q.Eof(); q.Next())
        out.insert({q.Fields(0).AsString(), q.Fields(1).AsString(), q.Fields(2).AsString(),
                    q.Fields(3).AsString()});
    q.Close();
    return out;
}

int count(fb::Query& q, const std::string& table = "HINTS") {
    q.Close();
    q.setSQL("select count(*) from " + table);
    q.ExecQuery();
    const int n = q.Fields(0).AsInteger();
    q.Close();
    return n;
}

// A database with one server category and subcategory to import into.
dbbuild::Catalogue small() {
    dbbuild::Catalogue c;
    c.categories = {{1, cp("Строки")}};
    c.subcategories = {{1, 1, cp("Разбор")}};
    c.articles = {{"", 1, 1, 1001, cp("С сервера"), "<p>server</p>"}};
    return c;
}

// The import on a database of its own, with the update transaction.
struct Fixture {
    dbbuild::Catalogue catalogue = small();
    TempDatabase file{&catalogue};
    AttachedDatabase attached{file.path()};
    fb::Transaction updTrans{attached.db};
    fb::Query upd{attached.db, updTrans};
    fb::Query read{attached.db, attached.tr};
    Fixture() {
        updTrans.TRParams = data::TransactionParams();
        updTrans.setActive(true);
    }
    bool run(const std::vector<std::string>& paths, authoring::ImportTarget target,
             authoring::ImportReport& report, const std::function<bool(int, int)>& progress = {}) {
        authoring::Importer importer(upd, paths, target);
        const bool done = authoring::RunImport(upd, updTrans, importer, progress);
        report = importer.report();
        attached.tr.Commit(); // a fresh look at what was committed
        attached.tr.setActive(true);
        return done;
    }
};

std::string reasonOf(const authoring::ImportReport& r, const std::string& file) {
    for (const auto& e : r.refused)
        if (fs::path(e.source).filename() == file)
            return text::cp1251ToUtf8(e.reason);
    return "(not refused)";
}

} // namespace

TEST(Import, TitlesFromTheTitleTheFirstHeadingOrTheFileName) {
    using authoring::PageTitle;
    EXPECT_EQ(PageTitle(cp("<html><head><TITLE>\n  Один &amp; <b>два</b>\t&lt;три&gt; "
                           "&#8364;&#x2260;</TITLE></head><h1>нет</h1>"),
                        "f"),
              cp("Один & два <три> €?"));
    // The first heading in the page, whatever its level; an empty title does
    // not count.
    EXPECT_EQ(
        PageTitle(cp("<title> </title><h3 class=x>Третий&nbsp;уровень</h3><h1>Первый</h1>"), "f"),
        cp("Третий уровень"));
    EXPECT_EQ(PageTitle("<p>text</p><header>no</header>", "name"), "name");
    EXPECT_EQ(PageTitle("<title>" + std::string(300, 'x') + "</title>", "f"),
              std::string(250, 'x'));
}

TEST(Import, EachKindAndEncodingWithoutLoss) {
    Fixture f;
    TempDir dir;
    const std::string notes = dir.file("notes");
    // UTF-8 with characters Windows-1251 lacks; the declared charset is
    // rewritten to the stored one.
    write(notes + "/a.html", "<html><head><meta charset=\"utf-8\"><title>Привет ≠</title></head>"
                             "<body>Текст ≠ 😀 €</body></html>");
    // Windows-1251 without a word about it (not valid UTF-8).
    write(notes + "/b.htm", cp("<h2>Заметка</h2><p>Текст</p>"));
    // KOI8-R declared in the old http-equiv form.
    write(notes + "/c.html", "<meta http-equiv=\"Content-Type\" content=\"text/html; "
                             "charset=koi8-r\"><h1>\xF0\xD2\xC9\xD7\xC5\xD4</h1>");
    // UTF-8 with a byte-order mark, its text Windows-1251 could be read as.
    write(notes + "/d.HTML", "\xEF\xBB\xBF<title>Мир</title>");
    write(notes + "/e.md", "# Заголовок ≠\n\nТекст *курсив* & <b>\n\n| a |\n|---|\n| 1 |\n");
    write(notes + "/g.txt", "a < b & c ≠\r\nстрока");
    write(notes + "/h.txt", cp("только 1251"));
    // Refused, each with its reason.
    write(notes + "/bin.html", std::string("<p>a\0b</p>", 10));
    write(notes + "/photo.png", "x");
    fs::create_symlink(notes + "/gone.txt", notes + "/lost.txt");
    {
        std::ofstream big(notes + "/big.txt", std::ios::binary);
        big.seekp(static_cast<std::streamoff>(authoring::MaxImportFileSize));
        big << 'x';
    }

    authoring::ImportReport r;
    std::vector<int32_t> told;
    auto listening = data::ArticlesChanged::subscribe([&](const data::ArticlesChange& c) {
        if (c.kind == data::ArticlesChange::Kind::Added)
            told = c.ids;
    });
    ASSERT_TRUE(f.run({notes}, {1, 1}, r));
    EXPECT_EQ(r.imported.size(), 7u);
    EXPECT_EQ(told, r.ids);
    EXPECT_EQ(told.size(), 7u);
    EXPECT_EQ(r.refused.size(), 4u);
    EXPECT_NE(reasonOf(r, "bin.html").find("не текст"), std::string::npos);
    EXPECT_NE(reasonOf(r, "photo.png").find("не поддерживается"), std::string::npos);
    EXPECT_NE(reasonOf(r, "lost.txt").find("не читается"), std::string::npos);
    EXPECT_NE(reasonOf(r, "big.txt").find("больше 8 МБ"), std::string::npos);

    const auto got = rows(f.read, "h.SERV_ID is null");
    const auto has = [&](const std::string& title, const std::string& body) {
        return got.count({cp("Строки"), cp("Разбор"), title, body}) == 1;
    };
    EXPECT_TRUE(has(cp("Привет ?"), "<html><head><meta charset=\"windows-1251\"><title>" +
                                        cp("Привет") + " &#8800;</title></head><body>" +
                                        cp("Текст") + " &#8800; &#128512; \x88</body></html>"));
    EXPECT_TRUE(has(cp("Заметка"), cp("<h2>Заметка</h2><p>Текст</p>")));
    EXPECT_TRUE(has(cp("Привет"), "<meta http-equiv=\"Content-Type\" content=\"text/html; "
                                  "charset=windows-1251\"><h1>" +
                                      cp("Привет") + "</h1>"));
    EXPECT_TRUE(has(cp("Мир"), cp("<title>Мир</title>")));
    EXPECT_TRUE(has(cp("Заголовок ?"),
                    cp("<h1>Заголовок &#8800;</h1>\n<p>Текст <em>курсив</em> &amp; <b></p>\n"
                       "<table>\n<thead>\n<tr>\n<th>a</th>\n</tr>\n</thead>\n<tbody>\n<tr>\n"
                       "<td>1</td>\n</tr>\n</tbody>\n</table>\n")));
    EXPECT_TRUE(has("g", cp("<pre>a &lt; b &amp; c &#8800;\r\nстрока</pre>")));
    EXPECT_TRUE(has("h", cp("<pre>только 1251</pre>")));

    // The same files again: present already, so skipped.
    ASSERT_TRUE(f.run({notes + "/b.htm", notes + "/g.txt"}, {1, 1}, r));
    EXPECT_TRUE(r.imported.empty());
    EXPECT_EQ(r.skipped.size(), 2u);
    EXPECT_EQ(count(f.read), 8);
}

TEST(Import, SubfoldersBecomeSubcategories) {
    Fixture f;
    TempDir dir;
    write(dir.file("top/own.txt"), "own");
    write(dir.file("top/Сети/a.txt"), "a");
    write(dir.file("top/Сети/deeper/b.txt"), "b");
    write(dir.file("top/Разбор/c.txt"), "c"); // an existing subcategory
    authoring::ImportReport r;
    authoring::ImportTarget target{1, 1, true};
    ASSERT_TRUE(f.run({dir.file("top")}, target, r));
    EXPECT_EQ(r.imported.size(), 4u);
    EXPECT_EQ(rows(f.read, "h.SERV_ID is null"),
              (std::multiset<Row>{{cp("Строки"), cp("Разбор"), "own", "<pre>own</pre>"},
                                  {cp("Строки"), cp("Разбор"), "c", "<pre>c</pre>"},
                                  {cp("Строки"), cp("Сети"), "a", "<pre>a</pre>"},
                                  {cp("Строки"), cp("Сети"), "b", "<pre>b</pre>"}}));
}

TEST(Import, CancelledOrFailedAddsNothing) {
    Fixture f;
    TempDir dir;
    for (const char* name : {"a.txt", "b.txt", "sub/c.txt"})
        write(dir.file(std::string("in/") + name), name);
    const int articles = count(f.read);
    const int subcategories = count(f.read, "SUB_CATEGORIES");
    authoring::ImportReport r;
    int asked = 0;
    EXPECT_FALSE(f.run({dir.file("in")}, {1, 1, true}, r, [&](int done, int total) {
        EXPECT_EQ(total, 3);
        EXPECT_EQ(done, asked++);
        return done < 2; // after the subfolder's subcategory and an article
    }));
    EXPECT_EQ(count(f.read), articles);
    EXPECT_EQ(count(f.read, "SUB_CATEGORIES"), subcategories);

    EXPECT_THROW(f.run({dir.file("in")}, {1, 1, true}, r,
                       [](int done, int) {
                           if (done == 2)
                               throw std::runtime_error("disk gone");
                           return true;
                       }),
                 std::runtime_error);
    EXPECT_EQ(count(f.read), articles);
    EXPECT_EQ(count(f.read, "SUB_CATEGORIES"), subcategories);
    // The update transaction is usable again.
    EXPECT_TRUE(f.run({dir.file("in")}, {1, 1}, r));
    EXPECT_EQ(count(f.read), articles + 3);
}

TEST(Export, RoundTripIsByteForByteAndReadableAsACatalogue) {
    dbbuild::Catalogue c = small();
    c.categories.push_back({authoring::FirstOwnNumber, cp("Свои <&> заметки")});
    c.subcategories.push_back({authoring::FirstOwnNumber, authoring::FirstOwnNumber, cp("Разное")});
    c.subcategories.push_back({1, authoring::FirstOwnNumber, cp("Моя")});
    const std::string odd =
        cp("<p>Строки\r\nи байт ") + "\x98" + cp(", ссылка &#8800; и <b>") + "\xFF\x01";
    c.articles.push_back({"", authoring::FirstOwnNumber, authoring::FirstOwnNumber, std::nullopt,
                          cp("Имя <b> & \"x\" «ё»"), odd});
    c.articles.push_back({"", 1, authoring::FirstOwnNumber, std::nullopt, cp("Вторая"), "\r\n"});
    c.articles.push_back({"", 1, 1, std::nullopt, cp("Третья"), cp("<p>в разборе</p>")});
    const TempDatabase source(&c);
    AttachedDatabase from(source.path());
    fb::Query q(from.db, from.tr);
    TempDir dir;
    const std::string bundle = dir.file("own.zip");
    EXPECT_EQ(authoring::ExportBundle(q, {}, bundle), 3);
    const auto own = rows(q, "h.SERV_ID is null");

    // A fresh database without categories takes them from the bundle.
    const TempDatabase fresh;
    AttachedDatabase to(fresh.path());
    fb::Transaction updTrans(to.db);
    updTrans.TRParams = data::TransactionParams();
    updTrans.setActive(true);
    fb::Query upd(to.db, updTrans);
    authoring::ImportTarget none;
    none.given = false;
    authoring::Importer importer(upd, {bundle}, none);
    ASSERT_TRUE(authoring::RunImport(upd, updTrans, importer));
    EXPECT_EQ(importer.report().imported.size(), 3u);
    fb::Query check(to.db, to.tr);
    to.tr.Commit();
    to.tr.setActive(true);
    EXPECT_EQ(rows(check), own);
    // Categories matched by name to one's own: a second import adds none.
    authoring::Importer again(upd, {bundle}, none);
    ASSERT_TRUE(authoring::RunImport(upd, updTrans, again));
    EXPECT_EQ(again.report().skipped.size(), 3u);
    to.tr.Commit();
    to.tr.setActive(true);
    EXPECT_EQ(count(check, "CATEGORIES"), 2);

    // The catalogue's reader (the database build, the server's master) reads
    // it as it reads a folder.
    const dbbuild::Catalogue read = dbbuild::readCatalogue(bundle);
    ASSERT_EQ(read.articles.size(), 3u);
    EXPECT_EQ(read.categories.size(), 2u);

    // One category, the server's article with it, and its empty subcategory.
    EXPECT_EQ(authoring::ExportBundle(q, {authoring::ExportScope::Kind::Category, 1}, bundle), 3);
    const dbbuild::Catalogue cat = dbbuild::readCatalogue(bundle);
    EXPECT_EQ(cat.subcategories.size(), 2u);
    EXPECT_EQ(cat.articles.front().servId, std::optional<int32_t>(1001));
    EXPECT_EQ(authoring::ExportBundle(q, {authoring::ExportScope::Kind::Subcategory, 1, 1}, bundle),
              2);
}

TEST(Export, AFailedExportLeavesTheOldFile) {
    dbbuild::Catalogue c = small();
    c.articles.push_back({"", 1, 1, std::nullopt, cp("Табуляция\tв имени"), "x"});
    const TempDatabase source(&c);
    AttachedDatabase from(source.path());
    fb::Query q(from.db, from.tr);
    TempDir dir;
    const std::string bundle = dir.file("own.zip");
    write(bundle, "old");
    EXPECT_THROW(authoring::ExportBundle(q, {}, bundle), std::invalid_argument);
    EXPECT_EQ(readAll(bundle), "old");
    EXPECT_THROW(authoring::ExportBundle(q, {}, dir.file("no/such/folder.zip")), std::exception);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST(Import, HostileBundlesAreRefusedWhole) {
    Fixture f;
    TempDir dir;
    const std::string lists = "1\tA\n";
    const std::string subs = "1\t1\tB\n";
    const auto good = [&](const std::string& articles) {
        return testing_support::Members{{"categories.txt", lists},
                                        {"subcategories.txt", subs},
                                        {"articles.txt", articles},
                                        {"articles/a.html", "<p>a</p>"}};
    };
    const std::string line = "a.html\t1\t1\t\tA\n";
    struct Case {
        const char* name;
        testing_support::Members members;
        const char* reason;
    };
    std::vector<Case> cases{
        {"missing.zip", {{"categories.txt", lists}, {"articles.txt", line}}, "subcategories.txt"},
        {"fields.zip", good("a.html\t1\t1\n"), "fields"},
        {"escape.zip", good("../a.html\t1\t1\t\tA\n"), "not a file name"},
        {"dotdot.zip",
         [&] {
             auto m = good(line);
             m.push_back({"articles/../../evil.html", "x"});
             return m;
         }(),
         "за пределы"},
        {"absolute.zip",
         [&] {
             auto m = good(line);
             m.push_back({"/tmp/evil.html", "x"});
             return m;
         }(),
         "за пределы"},
    };
    for (const Case& c : cases)
        testing_support::makeZip(dir.file(c.name), c.members);
    // A member past the limit, and a bomb past the archive's limit.
    testing_support::makeZerosZip(dir.file("large.zip"), "articles/a.html",
                                  authoring::MaxImportFileSize + 1);
    cases.push_back({"large.zip", {}, "больше допустимого"});
    // A symbolic link as a Unix archiver stores one.
    testing_support::makeZip(dir.file("link.zip"), good(line));
    {
        int error = 0;
        zip_t* za = zip_open(dir.file("link.zip").c_str(), 0, &error);
        ASSERT_NE(za, nullptr);
        const zip_int64_t at = zip_name_locate(za, "articles/a.html", 0);
        zip_file_set_external_attributes(za, static_cast<zip_uint64_t>(at), 0, ZIP_OPSYS_UNIX,
                                         static_cast<zip_uint32_t>(S_IFLNK | 0777) << 16);
        zip_close(za);
    }
    cases.push_back({"link.zip", {}, "ссылка"});
    testing_support::makeZip(dir.file("notzip.zip"), {});
    write(dir.file("notzip.zip"), "not an archive");
    cases.push_back({"notzip.zip", {}, "ZIP"});

    const int before = count(f.read);
    const int categories = count(f.read, "CATEGORIES");
    for (const Case& c : cases) {
        authoring::ImportReport r;
        authoring::ImportTarget none;
        none.given = false;
        ASSERT_TRUE(f.run({dir.file(c.name)}, none, r)) << c.name;
        ASSERT_EQ(r.refused.size(), 1u) << c.name;
        EXPECT_NE(reasonOf(r, c.name).find(c.reason), std::string::npos)
            << c.name << ": " << reasonOf(r, c.name);
    }
    EXPECT_EQ(count(f.read), before);
    EXPECT_EQ(count(f.read, "CATEGORIES"), categories);
    EXPECT_FALSE(fs::exists("/tmp/evil.html"));
}
