// SPDX-License-Identifier: GPL-3.0-or-later
// The whole update run, driven through the main window's command against
// update servers on 127.0.0.1: tipsara-server on masters made for each test,
// and a scripted server for the replies tipsara-server never gives.

#include "app/UMain.h"
#include "components/text/QtText.h"
#include "components/text/Strings.h"
#include "components/widgets/MessageBox.h"
#include "data/UData.h"
#include "search/TextSearch.h"
#include "settings/UPrefs.h"
#include "support/ServerProcess.h"
#include "support/TempDatabase.h"
#include "support/ZipMaker.h"
#include "update/UPro.h"
#include "update/UUpd.h"
#include "update/UWait.h"
#include "update/UpdateRun.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QScopeGuard>
#include <QToolButton>
#include <QtTest>

#include <filesystem>
#include <fstream>
#include <map>
#include <optional>

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

const std::string kServer = std::string(TIPSARA_BIN_DIR) + "/tipsara-server";

using text::cp;
QString q(const char* utf8) {
    return QString::fromUtf8(utf8);
}
void spit(const fs::path& p, const std::string& content) {
    std::ofstream(p, std::ios::binary) << content;
}

std::vector<std::string> lines(const fs::path& p) {
    std::vector<std::string> out;
    std::ifstream in(p);
    for (std::string l; std::getline(in, l);)
        out.push_back(l);
    return out;
}

struct Article {
    int id, cat, sub;
    std::string title, body; // UTF-8
};

// tipsara-server on a master of the given catalogue (UTF-8 texts).
struct Site {
    TempDir dir;
    std::unique_ptr<ServerProcess> server;
    Site(const std::vector<std::pair<int, std::string>>& cats,
         const std::vector<std::tuple<int, int, std::string>>& subs,
         const std::vector<Article>& articles) {
        const fs::path c = dir.path() / "cat";
        fs::create_directories(c / "articles");
        std::ofstream cf(c / "categories.txt"), sf(c / "subcategories.txt"), af(c / "articles.txt");
        for (const auto& [n, name] : cats)
            cf << n << '\t' << name << '\n';
        for (const auto& [cn, n, name] : subs)
            sf << cn << '\t' << n << '\t' << name << '\n';
        for (const Article& a : articles) {
            af << a.id << ".html\t" << a.cat << '\t' << a.sub << '\t' << a.id << '\t' << a.title
               << '\n';
            spit(c / "articles" / (std::to_string(a.id) + ".html"), a.body);
        }
        cf.close(), sf.close(), af.close();
        const std::string master = dir.file("Master.gdb");
        const std::string make = kServer + " --make-master " + master + " " + sourceDir() +
                                 "/db/schema.sql " + c.string() + " > /dev/null";
        if (std::system(make.c_str()) != 0)
            throw std::runtime_error("no master");
        server = std::make_unique<ServerProcess>(
            std::vector<std::string>{kServer, "--listen", "127.0.0.1:0", master},
            "listening on http://127\\.0\\.0\\.1:(\\d+)/");
    }
    std::string root() const { return server->root(); }
};

// The scripted server: replies are files of its folder (script_server.py).
struct Script {
    TempDir dir;
    std::unique_ptr<ServerProcess> server;
    Script() {
        fs::create_directories(dir.path() / "files");
        server = std::make_unique<ServerProcess>(
            std::vector<std::string>{TIPSARA_PYTHON, sourceDir() + "/tests/update/script_server.py",
                                     dir.path().string()},
            "port (\\d+)");
    }
    void put(const std::string& name, const std::string& utf8) {
        spit(dir.path() / name, cp(utf8));
    }
    std::string file(const std::string& name) const { return dir.file(name); }
    std::vector<std::string> log() const { return lines(dir.path() / "requests.log"); }
    std::string root() const { return server->root(); }
};

const std::string kStatus = "/get/tipsara/tipsara_update.txt";

} // namespace

class UpdateRunTest : public QObject {
    Q_OBJECT
    std::unique_ptr<TempDir> work;
    fs::path temp;
    std::unique_ptr<TempDatabase> file;
    QList<ui::MessageRecord> boxes;
    std::function<QMessageBox::StandardButton(const ui::MessageRecord&)> answer;
    std::function<void(TUpdFrm&)> onList;
    QStringList opened;

    bool eventFilter(QObject* o, QEvent* e) override {
        if (o == UpdFrm && e->type() == QEvent::Show)
            QTimer::singleShot(0, UpdFrm, [this] { onList(*UpdFrm); });
        return false;
    }

    void open(const dbbuild::Catalogue& c, const std::string& root) {
        file = std::make_unique<TempDatabase>(&c);
        DataFrm = new TDataFrm(file->path());
        Main = new TMain();
        PrefsFrm = new TPrefsFrm(Main);
        UpdFrm = new TUpdFrm(Main);
        Pro = new TPro(Main);
        UpdFrm->installEventFilter(this);
        PrefsFrm->root->setText(QString::fromStdString(root));
    }

    static dbbuild::Catalogue local(const std::vector<int>& serverIds = {}) {
        dbbuild::Catalogue c;
        c.categories = {{1, "Old"}, {7, cp("Моя")}};
        c.subcategories = {{1, 1, "old sub"}, {7, 1, cp("моя")}};
        c.articles.push_back({"", 7, 1, std::nullopt, cp("Своя"), "<p>own</p>"});
        for (int id : serverIds)
            c.articles.push_back({"", 1, 1, id, "s" + std::to_string(id), "<p>x</p>"});
        return c;
    }

    // Every row of a select, every column as text, as the program reads it.
    static std::vector<std::vector<std::string>> rows(const std::string& sql) {
        fb::Query& r = DataFrm->IBSQL4;
        r.Close();
        r.setSQL(sql);
        r.ExecQuery();
        std::vector<std::vector<std::string>> out;
        for (; !r.Eof(); r.Next()) {
            out.emplace_back();
            for (int i = 0; i < r.FieldCount(); ++i)
                out.back().push_back(r.Fields(i).AsString());
        }
        r.Close();
        return out;
    }

    void run() { Main->AUpdate->trigger(); }

    // The run has left nothing on screen and can be started again.
    void expectClean() {
        QVERIFY(!Wait);
        QVERIFY(!Pro->isVisible());
        QVERIFY(Main->Pr->isHidden());
        QVERIFY(Main->AUpdate->isEnabled());
        QVERIFY(!update::UpdateRunning());
    }

    QString lastError() {
        for (auto it = boxes.rbegin(); it != boxes.rend(); ++it)
            if (it->icon == QMessageBox::Critical)
                return it->text;
        return {};
    }

    // As a user would: the button can be pressed once the window's timer
    // has seen the entries.
    static void pressLoad(TUpdFrm& f) {
        if (!QTest::qWaitFor([&] { return f.LoadBtn->isEnabled(); })) {
            f.close();
            QFAIL("\"Загрузить\" stays disabled");
        }
        f.LoadBtn->click();
    }
    static void tickAllAndLoad(TUpdFrm& f) {
        for (int i = 0; i < f.Count(); ++i)
            f.setChecked(i, true);
        pressLoad(f);
    }

    // A scripted server offering one article, 301, in category 1.
    void offerOne(Script& s) {
        s.put("tipsara_update.txt", "\r\n\r\n\r\n");
        s.put("get_max_cat.php", "0");
        s.put("get_new_hints.php", "301\r\nСтатья\r\n1\r\n1\r\n");
        open(local(), s.root());
        onList = tickAllAndLoad;
    }

private slots:
    void init() {
        // The tests' own temporary folders stay where they were: the
        // standard library would look at TEMP after TMPDIR.
        setenv("TMPDIR", fs::temp_directory_path().c_str(), 1);
        work = std::make_unique<TempDir>();
        temp = work->path() / "temp";
        fs::create_directory(temp);
        setenv("TEMP", temp.c_str(), 1);
        boxes.clear();
        opened.clear();
        answer = [](const ui::MessageRecord& r) {
            return r.buttons & QMessageBox::No ? QMessageBox::No : QMessageBox::Ok;
        };
        onList = [](TUpdFrm& f) { f.close(); };
        ui::setMessageHook([this](const ui::MessageRecord& r) {
            boxes.append(r);
            return answer(r);
        });
        update::setLinkOpener([this](const QString& url) { opened << url; });
    }
    void cleanup() {
        delete Main;
        delete DataFrm;
        DataFrm = nullptr;
        file.reset();
        ui::setMessageHook({});
        update::setLinkOpener({});
        unsetenv("TEMP");
        // Nothing of any run lands beside the temporary folder.
        for (const auto& e : fs::directory_iterator(work->path()))
            QCOMPARE(e.path(), temp);
        work.reset();
    }

    void aRunBringsTheCatalogueInLineAndListsTheNewArticles() {
        Site site({{1, "Строки"}, {2, "Файлы"}, {3, "Графика"}},
                  {{1, 1, "Поиск"}, {1, 2, "Формат"}, {2, 1, "Временные"}, {3, 1, "Цвет"}},
                  {{101, 1, 1, "Известная", "<p>1</p>"},
                   {102, 1, 1, "Бета", "<p>2</p>"},
                   {103, 1, 2, "Альфа", "<p>3</p>"},
                   {104, 3, 1, "Яблоко", "<p>4</p>"},
                   {105, 2, 1, "Диск", "<p>5</p>"}});
        open(local({101}), site.root());
        std::vector<std::vector<std::string>> listed;
        onList = [&](TUpdFrm& f) {
            // A run under way cannot be started again.
            QVERIFY(!Main->AUpdate->isEnabled());
            Main->AUpdateExecute();
            QVERIFY(f.isVisible());
            for (int i = 0; i < f.Count(); ++i) {
                const TUpdEntry e = f.Entry(i);
                listed.push_back({e.title, e.catName, e.subName, e.cat, e.subcat, e.servId});
            }
            f.close();
        };
        run();
        QVERIFY2(boxes.isEmpty(), qPrintable(lastError()));
        expectClean();
        const std::vector<std::vector<std::string>> expected = {
            {cp("Яблоко"), cp("Графика"), cp("Цвет"), "3", "1", "104"},
            {cp("Альфа"), cp("Строки"), cp("Формат"), "1", "2", "103"},
            {cp("Бета"), cp("Строки"), cp("Поиск"), "1", "1", "102"},
            {cp("Диск"), cp("Файлы"), cp("Временные"), "2", "1", "105"}};
        QVERIFY(listed == expected);
        const std::vector<std::vector<std::string>> cats = {
            {"1", cp("Строки")}, {"2", cp("Файлы")}, {"3", cp("Графика")}, {"7", cp("Моя")}};
        QVERIFY(rows("select NUM, CATEGORY_NAME from CATEGORIES order by NUM") == cats);
        const std::vector<std::vector<std::string>> subs = {{"1", "1", cp("Поиск")},
                                                            {"1", "2", cp("Формат")},
                                                            {"2", "1", cp("Временные")},
                                                            {"3", "1", cp("Цвет")},
                                                            {"7", "1", cp("моя")}};
        const char* subSql = "select CATNUM, NUM, SUB_CAT from SUB_CATEGORIES order by CATNUM, NUM";
        QVERIFY(rows(subSql) == subs);

        // A second run writes the server's names over local changes and adds no rows.
        DataFrm->UpdQ.setSQL("UPDATE CATEGORIES SET CATEGORY_NAME='changed' where NUM=2");
        DataFrm->UpdQ.ExecQuery();
        listed.clear();
        run();
        QVERIFY(rows("select NUM, CATEGORY_NAME from CATEGORIES order by NUM") == cats);
        QVERIFY(rows(subSql) == subs);
        QVERIFY(listed == expected);
    }

    void oneSOwnCategoriesKeepTheirNamesThroughARun() {
        // The server's categories come in beside the user's, which keep
        // their names.
        Site site({{1, "Строки"}, {2, "Файлы"}},
                  {{1, 1, "Поиск"}, {1, 2, "Формат"}, {2, 1, "Диски"}},
                  {{101, 1, 1, "Известная", "<p>1</p>"}});
        dbbuild::Catalogue c = local();
        c.categories.push_back({1000000, cp("Мои")});
        c.subcategories.push_back({1000000, 1000000, cp("Мои раз")});
        c.subcategories.push_back({1, 1000000, cp("Своя в Old")});
        open(c, site.root());
        run();
        QVERIFY2(boxes.isEmpty(), qPrintable(lastError()));
        const std::vector<std::vector<std::string>> cats = {
            {"1", cp("Строки")}, {"2", cp("Файлы")}, {"7", cp("Моя")}, {"1000000", cp("Мои")}};
        QVERIFY(rows("select NUM, CATEGORY_NAME from CATEGORIES order by NUM") == cats);
        const std::vector<std::vector<std::string>> subs = {{"1", "1", cp("Поиск")},
                                                            {"1", "2", cp("Формат")},
                                                            {"1", "1000000", cp("Своя в Old")},
                                                            {"2", "1", cp("Диски")},
                                                            {"7", "1", cp("моя")},
                                                            {"1000000", "1000000", cp("Мои раз")}};
        QVERIFY(rows("select CATNUM, NUM, SUB_CAT from SUB_CATEGORIES order by CATNUM, NUM") ==
                subs);
    }

    void importedArticlesAreFoundByTheirTextOnceCommitted() {
        Site site({{1, "Строки"}}, {{1, 1, "Поиск"}},
                  {{211, 1, 1, "Альфа", "<p>Про синиц и прочих птиц.</p>"},
                   {212, 1, 1, "Бета", "<p>Про дятлов.</p>"}});
        open(local(), site.root());
        search::TextSearch index(search::TextIndexFor(DataFrm->FBDB));
        const QCollator collator = search::ListCollator();
        const auto found = [&](const char* word) {
            std::vector<std::string> out;
            const std::optional<search::TextFound> hits = index.Find(
                DataFrm->FBDB, DataFrm->IBSQL2, collator, search::Mode::AllWords, cp(word));
            for (const QStringList& row : hits->rows)
                out.push_back(text::fromQ(row[0]) + "/" + text::fromQ(row[1]));
            return out;
        };
        QVERIFY(index.Prepare(DataFrm->FBDB, {}));
        QVERIFY(found("синица").empty());
        // Nothing is searchable while the imports wait for their commit: when
        // the second package is in, the first article is inserted, not
        // committed.
        std::vector<std::string> whilePending = {"not looked"};
        onList = tickAllAndLoad;
        const auto probe = QObject::connect(Pro->PB, &QProgressBar::valueChanged, [&](int v) {
            if (v == 100)
                whilePending = found("синица");
        });
        run();
        QObject::disconnect(probe);
        QVERIFY2(boxes.isEmpty(), qPrintable(lastError()));
        QVERIFY(whilePending.empty());
        QVERIFY((found("синица") == std::vector<std::string>{cp("Альфа/Строки")}));
        QVERIFY((found("дятлов") == std::vector<std::string>{cp("Бета/Строки")}));
    }

    void theTickedArticlesAreImportedAndTheNextRunKnowsThem() {
        Site site({{1, "Строки"}}, {{1, 1, "Поиск"}},
                  {{201, 1, 1, "Альфа", "<p>a</p>"},
                   {202, 1, 1, "Бета", "<p>Строка один</p>\r\n<p>два</p>\n"},
                   {203, 1, 1, "Гамма", "<p>c</p>"}});
        open(local(), site.root());
        onList = [](TUpdFrm& f) {
            QCOMPARE(f.Count(), 3);
            f.setChecked(1, true);
            pressLoad(f);
        };
        run();
        QVERIFY2(boxes.isEmpty(), qPrintable(lastError()));
        expectClean();
        QCOMPARE(Pro->overall->text(), q("1 файл"));
        QCOMPARE(Pro->loaded->text(), q("1 файл"));
        QCOMPARE(Pro->PB->value(), 100);
        QCOMPARE(UpdFrm->Count(), 1);
        const std::vector<std::vector<std::string>> imported = {
            {"202", cp("Бета"), "1", "1", cp("<p>Строка один</p>\r\n<p>два</p>")}};
        QVERIFY(rows("select SERV_ID, NAME, CAT, SUBCAT, INFORMATION from HINTS where SERV_ID is "
                     "not null") == imported);
        QVERIFY(fs::is_empty(temp));

        // The next run sends 202 among the known ones and is offered the others.
        std::vector<std::string> offered;
        onList = [&](TUpdFrm& f) {
            for (int i = 0; i < f.Count(); ++i)
                offered.push_back(f.Entry(i).servId);
            tickAllAndLoad(f);
        };
        run();
        QVERIFY((offered == std::vector<std::string>{"201", "203"}));
        QCOMPARE(Pro->overall->text(), q("2 файла"));
        QCOMPARE(rows("select count(*) from HINTS where SERV_ID is not null")[0][0],
                 std::string("3"));

        run();
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].caption, q("Обновление БД статей"));
        QCOMPARE(boxes[0].text, q("Актуальных обновлений на сервере не найдено"));
        QCOMPARE(boxes[0].icon, QMessageBox::Information);
        QCOMPARE(UpdFrm->Count(), 0);
        expectClean();
    }

    void aLongServerIdListIsSentInPiecesThatAgree() {
        std::vector<Article> articles;
        std::vector<int> known;
        for (int id = 100000; id < 100302; ++id) {
            articles.push_back({id, 1, 1, "t" + std::to_string(id), "<p>x</p>"});
            if (id < 100300)
                known.push_back(id);
        }
        Site site({{1, "Один"}}, {{1, 1, "Раз"}}, articles);
        open(local(known), site.root());
        std::vector<std::string> offered;
        onList = [&](TUpdFrm& f) {
            for (int i = 0; i < f.Count(); ++i)
                offered.push_back(f.Entry(i).servId);
            f.close();
        };
        run();
        QVERIFY2(boxes.isEmpty(), qPrintable(lastError()));
        QVERIFY((offered == std::vector<std::string>{"100300", "100301"}));
    }

    void requestsFollowTheProtocolOrderAndTheCatalogueIsCommitted() {
        Script s;
        s.put("tipsara_update.txt", "\r\n\r\n\r\n");
        s.put("get_max_cat.php", " 2\r\n");
        s.put("get_cat.php?id=1", "Первая\r\n");
        s.put("get_cat.php?id=2", "Вторая");
        s.put("get_max_sub_cat.php?id=1", "2");
        s.put("get_max_sub_cat.php?id=2", "0");
        s.put("get_sub_cat.php?id=1&sid=1", "раз");
        s.put("get_sub_cat.php?id=1&sid=2", "");
        s.put("get_new_hints.php", "9\r\nНовая\r\n2\r\n5\r\n");
        open(local({5, 3, 9}), s.root());
        std::string ids;
        for (const auto& r : rows("select SERV_ID from HINTS where SERV_ID is NOT NULL"))
            ids += (ids.empty() ? "" : ",") + r[0];
        // A write left pending by someone else goes with the run's commit.
        DataFrm->UpdQ.setSQL("INSERT INTO CATEGORIES (CATEGORY_NAME, NUM) values ('pending', 50)");
        DataFrm->UpdQ.ExecQuery();
        std::vector<std::string> listed;
        onList = [&](TUpdFrm& f) {
            const TUpdEntry e = f.Entry(0);
            listed = {e.title, e.catName, e.subName};
            f.close();
        };
        run();
        QVERIFY2(boxes.isEmpty(), qPrintable(lastError()));
        const std::vector<std::string> expected = {kStatus,
                                                   "/get/tipsara/get_max_cat.php",
                                                   "/get/tipsara/get_cat.php?id=1",
                                                   "/get/tipsara/get_cat.php?id=2",
                                                   "/get/tipsara/get_max_sub_cat.php?id=1",
                                                   "/get/tipsara/get_sub_cat.php?id=1&sid=1",
                                                   "/get/tipsara/get_sub_cat.php?id=1&sid=2",
                                                   "/get/tipsara/get_max_sub_cat.php?id=2",
                                                   "/get/tipsara/get_new_hints.php?ids=" + ids};
        QCOMPARE(s.log(), expected);
        const std::vector<std::vector<std::string>> cats = {
            {"1", cp("Первая\r\n")}, {"2", cp("Вторая")}, {"7", cp("Моя")}, {"50", "pending"}};
        QVERIFY(rows("select NUM, CATEGORY_NAME from CATEGORIES order by NUM") == cats);
        QVERIFY((rows("select SUB_CAT from SUB_CATEGORIES where CATNUM=1 order by NUM") ==
                 std::vector<std::vector<std::string>>{{cp("раз")}, {""}}));
        // A pair the local database lacks gives empty names.
        QVERIFY((listed == std::vector<std::string>{cp("Новая"), "", ""}));

        // No categories on the server: straight from the status file to the list.
        fs::remove(s.file("requests.log"));
        s.put("get_max_cat.php", "0");
        DataFrm->UpdQ.setSQL("INSERT INTO CATEGORIES (CATEGORY_NAME, NUM) values ('pending', 51)");
        DataFrm->UpdQ.ExecQuery();
        run();
        QCOMPARE(s.log().size(), size_t(3));
        QCOMPARE(rows("select count(*) from CATEGORIES where NUM=51")[0][0], std::string("1"));
    }

    void theStatusFileRedirectsAndAnnouncesAndOnlyWebLinksOpen() {
        Site b({{1, "Б"}}, {{1, 1, "б"}}, {});
        Script a;
        a.put("tipsara_update.txt", b.root() + "\r\nНовости!\r\nhttp://127.0.0.1/news?a=1\r\n");
        open(local(), a.root());
        answer = [](const ui::MessageRecord& r) {
            return r.buttons & QMessageBox::Yes ? QMessageBox::Yes : QMessageBox::Ok;
        };
        run();
        QCOMPARE(boxes.size(), 2);
        QCOMPARE(boxes[0].caption, q("Анонс"));
        QCOMPARE(boxes[0].text, q("Новости!"));
        QCOMPARE(boxes[0].buttons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(opened, QStringList{"http://127.0.0.1/news?a=1"});
        QCOMPARE(PrefsFrm->root->text().toStdString(), b.root());
        QCOMPARE(a.log(), std::vector<std::string>{kStatus});
        QCOMPARE(boxes[1].text, q("Актуальных обновлений на сервере не найдено"));
        QCOMPARE(rows("select CATEGORY_NAME from CATEGORIES where NUM=1")[0][0], cp("Б"));

        // Links that are not web pages are never opened, and No opens nothing.
        a.put("tipsara_update.txt", "\r\nСмотрите\r\nfile:///etc/passwd\r\n");
        a.put("get_max_cat.php", "0");
        a.put("get_new_hints.php", "");
        PrefsFrm->root->setText(QString::fromStdString(a.root()));
        run();
        a.put("tipsara_update.txt", "\r\nСмотрите\r\nhttp://127.0.0.1/\r\n");
        answer = [](const ui::MessageRecord&) { return QMessageBox::No; };
        run();
        QCOMPARE(opened.size(), 1);
        QCOMPARE(PrefsFrm->root->text().toStdString(), a.root());
        QCOMPARE(boxes.size(), 6);
    }

    void anInvalidStatusFileEndsTheRunWithNothingWritten() {
        Script s;
        open(local(), s.root());
        for (const char* status : std::initializer_list<const char*>{
                 "a\r\nb\r\n", "\r\n\r\n\r\n\r\n", "<html>404</html>", nullptr}) {
            if (status)
                s.put("tipsara_update.txt", status);
            else
                fs::remove(s.file("tipsara_update.txt"));
            run();
        }
        QVERIFY(boxes.isEmpty());
        QCOMPARE(s.log(), std::vector<std::string>(4, kStatus));
        QCOMPARE(rows("select CATEGORY_NAME from CATEGORIES where NUM=1")[0][0],
                 std::string("Old"));
        expectClean();
    }

    void aServerThatStopsInMidRunFailsAndItsWritesStayPending() {
        Script s;
        s.put("tipsara_update.txt", "\r\n\r\n\r\n");
        s.put("get_max_cat.php", "2");
        s.put("get_cat.php?id=1", "Первая");
        s.put("die-after", "3");
        open(local(), s.root());
        run();
        QVERIFY(lastError().startsWith("WININET Error"));
        expectClean();
        QCOMPARE(rows("select CATEGORY_NAME from CATEGORIES where NUM=1")[0][0],
                 std::string("Old"));
        DataFrm->UpdQ.setSQL("COMMIT");
        DataFrm->UpdQ.ExecQuery();
        QCOMPARE(rows("select CATEGORY_NAME from CATEGORIES where NUM=1")[0][0], cp("Первая"));
    }

    void maliciousEntriesAreRefusedBeforeAnythingIsListed() {
        Script s;
        offerOne(s);
        for (const char* reply : {"1\r\nA\r\n1\r\n1\r\n\r\n../evil\r\nB\r\n1\r\n1\r\n",
                                  "1\r\nA\r\n1 OR 1=1\r\n1\r\n"}) {
            s.put("get_new_hints.php", reply);
            run();
            expectClean();
        }
        QCOMPARE(boxes.size(), 2);
        QVERIFY2(boxes[0].text.contains(q("строка 6: \"../evil\"")), qPrintable(boxes[0].text));
        QVERIFY2(boxes[1].text.contains(q("строка 3: \"1 OR 1=1\"")), qPrintable(boxes[1].text));
        QCOMPARE(UpdFrm->Count(), 0);
        for (const std::string& r : s.log())
            QVERIFY(r.find("/files/") == std::string::npos);
        QVERIFY(fs::is_empty(temp));
    }

    void badPackagesFailClearlyAndSafely() {
        Script s;
        offerOne(s);
        const std::string package = s.file("files/301.zip");
        auto failure = [&] {
            boxes.clear();
            run();
            expectClean();
            const bool none =
                rows("select count(*) from HINTS where SERV_ID is not null")[0][0] == "0";
            for (const auto& e : fs::directory_iterator(temp))
                fs::remove(e.path());
            return none ? lastError() : QStringLiteral("an article was inserted");
        };
        spit(package, "<html><body>500 Internal Server Error</body></html>");
        QVERIFY(failure().contains("ZIP"));
        makeZip(package, {{"readme.txt", "no article here"}});
        const QString missing = failure();
        QVERIFY2(missing.contains("301.html") && missing.contains(q("не найден")),
                 qPrintable(missing));
        makeZerosZip(package, "301.html", (uint64_t(256) << 20) + 1);
        QVERIFY(failure().contains("256"));

        // Member names reaching out of the folder land in it.
        makeZip(package, {{"../../../301.html", "<p>\xD0\xE0\xE7</p>"},
                          {"/tmp/../../evil.txt", "x"},
                          {"..", "y"}});
        boxes.clear();
        run();
        QVERIFY2(lastError().isEmpty(), qPrintable(lastError()));
        QCOMPARE(rows("select INFORMATION from HINTS where SERV_ID=301")[0][0],
                 std::string("<p>\xD0\xE0\xE7</p>"));
        QVERIFY(fs::exists(temp / "evil.txt"));
        QVERIFY(!fs::exists(temp / "301.html"));
    }

    void aRootWithoutAHostOrWithUserInformationSendsNothing() {
        Script s;
        offerOne(s);
        // Every request the client makes, whatever its host, goes through the
        // scripted server as a proxy, so that none can pass unseen.
        std::map<std::string, std::optional<std::string>> saved;
        for (const char* v : {"http_proxy", "no_proxy", "NO_PROXY"}) {
            const char* old = getenv(v);
            saved[v] = old ? std::optional<std::string>(old) : std::nullopt;
            unsetenv(v);
        }
        setenv("http_proxy", ("http://" + s.root()).c_str(), 1);
        auto restore = qScopeGuard([&] {
            for (const auto& [v, old] : saved)
                old ? (void)setenv(v.c_str(), old->c_str(), 1) : (void)unsetenv(v.c_str());
        });

        // The proxy does see a request for a root that has a host.
        PrefsFrm->root->setText(QStringLiteral("updates.invalid"));
        run();
        QCOMPARE(s.log(), std::vector<std::string>{"http://updates.invalid" + kStatus});
        fs::remove(s.file("requests.log"));

        const QString bad[] = {"", "   ", "/x", ":8080/x",
                               QString::fromStdString("user:pw@" + s.root())};
        for (const QString& root : bad) {
            boxes.clear();
            PrefsFrm->root->setText(root);
            run();
            expectClean();
            QVERIFY2(lastError().contains(q("Адрес сервера обновлений")),
                     qPrintable(root + ": " + lastError()));
            QVERIFY2(!lastError().contains("pw@"), qPrintable(lastError()));
            QVERIFY2(s.log().empty(), qPrintable(root));
            QCOMPARE(PrefsFrm->root->text(), root);
        }

        // A status file naming such a root ends the run and does not replace the field.
        unsetenv("http_proxy");
        s.put("tipsara_update.txt", "user:pw@" + s.root() + "\r\n\r\n\r\n");
        PrefsFrm->root->setText(QString::fromStdString(s.root()));
        boxes.clear();
        run();
        expectClean();
        QVERIFY2(lastError().contains(q("строка 1")), qPrintable(lastError()));
        QCOMPARE(s.log(), std::vector<std::string>{kStatus});
        QCOMPARE(PrefsFrm->root->text().toStdString(), s.root());

        // Nor does a root changed while the list is open fetch a package.
        fs::remove(s.file("requests.log"));
        s.put("tipsara_update.txt", "\r\n\r\n\r\n");
        onList = [&](TUpdFrm& f) {
            PrefsFrm->root->setText(QString::fromStdString("user:pw@" + s.root()));
            tickAllAndLoad(f);
        };
        boxes.clear();
        run();
        expectClean();
        QVERIFY2(lastError().contains(q("имя пользователя или пароль")), qPrintable(lastError()));
        for (const std::string& r : s.log())
            QVERIFY2(r.find("/files/") == std::string::npos, r.c_str());
        QCOMPARE(rows("select count(*) from HINTS where SERV_ID is not null")[0][0],
                 std::string("0"));
    }

    void aLinkPlantedAtThePackageNameIsReplacedAndItsTargetKept() {
        Script s;
        offerOne(s);
        makeZip(s.file("files/301.zip"), {{"301.html", "<p>ok</p>"}});
        TempDir elsewhere;
        const fs::path victim = elsewhere.path() / "victim.txt";
        spit(victim, "keep me");
        fs::create_symlink(victim, temp / "301.zip");
        run();
        QVERIFY2(boxes.isEmpty(), qPrintable(lastError()));
        QCOMPARE(rows("select INFORMATION from HINTS where SERV_ID=301")[0][0],
                 std::string("<p>ok</p>"));
        QCOMPARE(dbbuild::readFile(victim.string()), std::string("keep me"));
        QVERIFY(fs::is_empty(temp));

        // A folder at that name cannot be replaced: the run fails naming the
        // package file and leaves the folder as it was.
        fs::create_directory(temp / "301.zip");
        run();
        expectClean();
        QVERIFY2(lastError().contains(QString::fromStdString((temp / "301.zip").string())),
                 qPrintable(lastError()));
        QVERIFY(fs::is_directory(temp / "301.zip"));
        QCOMPARE(rows("select count(*) from HINTS where SERV_ID=301")[0][0], std::string("1"));
    }

    void aLeftoverArticleFileBringsUpTheReplaceQuestion() {
        Script s;
        offerOne(s);
        makeZip(s.file("files/301.zip"), {{"301.html", "new"}});
        for (auto reply : {QMessageBox::No, QMessageBox::Yes}) {
            spit(temp / "301.html", "old\r\ntext");
            answer = [reply](const ui::MessageRecord&) { return reply; };
            run();
        }
        QCOMPARE(boxes.size(), 2);
        QCOMPARE(boxes[0].caption, QStringLiteral("File Exists Alert"));
        QCOMPARE(boxes[0].text, "Replace existing file " +
                                    QString::fromStdString((temp / "301.html").string()) + "?");
        QVERIFY((rows("select INFORMATION from HINTS where SERV_ID=301 order by ID") ==
                 std::vector<std::vector<std::string>>{{"old\r\ntext"}, {"new"}}));
        QVERIFY(fs::is_empty(temp));
    }
};

QTEST_MAIN(UpdateRunTest)
#include "updaterun_test.moc"
