// SPDX-License-Identifier: GPL-3.0-or-later
// The full-text index on real databases and real index folders.

#include "components/fb/Fb.h"
#include "components/text/Cp1251.h"
#include "fulltext/Index.h"
#include "search/DbArticleSource.h"
#include "support/TempDatabase.h"

#include <gtest/gtest.h>
#include <xapian.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <thread>

using fulltext::Index;
using fulltext::Mode;
using testing_support::TempDatabase;
namespace fs = std::filesystem;

namespace {

std::string cp(const char* utf8) {
    return text::utf8ToCp1251(utf8, true);
}
std::string utf(const std::string& cp1251) {
    return text::cp1251ToUtf8(cp1251);
}

dbbuild::Article article(const char* title, const char* body, int32_t cat = 1, int32_t sub = 1) {
    return {"", cat, sub, std::nullopt, cp(title), cp(body)};
}

// Articles 1..13, in this order (the database numbers them as inserted).
dbbuild::Catalogue catalogue() {
    dbbuild::Catalogue c;
    c.categories = {{1, cp("Строки и файлы")}, {2, cp("Разное")}};
    c.subcategories = {{1, 1, cp("Основы")}, {2, 1, cp("Прочее")}};
    c.articles = {
        article("Копирование", "<p>Вырезать <b>строку</b> из текста можно функцией Copy.</p>"),
        article("Длина", "<p>Длина&nbsp;строки&nbsp;&mdash; функция Length.</p>"),
        article("Пустая строка", "<p>Проверка: s = '' ещё раз</p>"),
        article("Файлы", "<p>Список файлов каталога: FindFirst, FindNext.</p>"),
        article("Открыть файл", "<pre>if a &lt; b then ShellExecute(Handle, 'open', "
                                "PChar(FileName), nil, nil, SW_SHOW);</pre>"),
        article("Sorting a list", "<p>Use TStringList for names.</p>"),
        article("Список",
                "<pre class=\"code\">var L: TStringListEx;</pre>&nbsp;"
                "<a href=\"http://example.com/\">ссылка</a><script>var hidden = 1;</script>"),
        article("Сортировка пузырьком",
                "<p>Простой способ упорядочить элементы массива: соседние меняются местами, пока "
                "порядок не установится.</p>"),
        article("Разное",
                "<p>Быстрая сортировка массива делается рекурсивно: опорный элемент делит "
                "массив на две части.</p>"),
        article("Заметки", "<p>Сортировка бывает быстрая и медленная.</p>"),
        article("Порядок", "<p>Call the Sort method.</p>"),
        // Its subcategory belongs to another category: not in the catalogue.
        article("Потерянная сортировка", "<p>Нигде не видна.</p>", 2, 2),
        article("Окно", "<p>Form1.Caption := 'Привет';</p>"),
    };
    return c;
}

class FullText : public ::testing::Test {
protected:
    void SetUp() override {
        const dbbuild::Catalogue c = catalogue();
        file = std::make_unique<TempDatabase>(&c);
        attach(db, file->path());
        index = std::make_unique<Index>(fulltext::indexFolderFor(file->path()));
    }
    void TearDown() override {
        index.reset();
        upd.reset();
        write.reset();
        db.Close();
    }

    static void attach(fb::Database& d, const std::string& path) {
        d.DBName = path;
        d.DBParams = {"lc_ctype=WIN1251", "user_name=sysdba", "password=vaultsong"};
        d.SQLDialect = 1;
        d.Open();
    }

    fb::Query& writer() {
        if (!write) {
            write = std::make_unique<fb::Transaction>(db);
            write->TRParams = {"write", "nowait", "rec_version", "read_committed"};
            upd = std::make_unique<fb::Query>(db, *write);
        }
        if (!write->Active())
            write->StartTransaction();
        return *upd;
    }
    // Inserts an article the way the add window does; without commit it
    // stays pending in the writer's transaction.
    void insert(const char* title, const char* body, std::optional<int32_t> id = std::nullopt) {
        fb::Query& q = writer();
        q.Close();
        if (id) {
            q.setSQL("INSERT INTO hints (id, cat, subcat, name, information) values (:id, 1, 1, "
                     ":name, :content)");
            q.Params(0).setAsInteger(*id);
            q.Params(1).setAsString(cp(title));
            q.Params(2).setAsString(cp(body));
        } else {
            q.setSQL("INSERT INTO hints (cat, subcat, name, information) values (1, 1, :name, "
                     ":content)");
            q.Params(0).setAsString(cp(title));
            q.Params(1).setAsString(cp(body));
        }
        q.ExecQuery();
    }
    void execute(const std::string& sql) {
        fb::Query& q = writer();
        q.Close();
        q.setSQL(sql);
        q.ExecQuery();
    }
    void commit() { write->Commit(); }

    std::vector<int32_t> ids(const char* text, Mode mode = Mode::AllWords) const {
        std::vector<int32_t> out;
        for (const fulltext::Hit& h : index->search(cp(text), mode).hits)
            out.push_back(h.id);
        return out;
    }
    std::set<int32_t> found(const char* text, Mode mode = Mode::AllWords) const {
        const std::vector<int32_t> v = ids(text, mode);
        return {v.begin(), v.end()};
    }

    std::unique_ptr<TempDatabase> file;
    fb::Database db;
    search::DbArticleSource source{db};
    std::unique_ptr<fb::Transaction> write;
    std::unique_ptr<fb::Query> upd;
    std::unique_ptr<Index> index;
};

using Ids = std::set<int32_t>;

// ---- What is found -------------------------------------------------------

class Search : public FullText {
protected:
    void SetUp() override {
        FullText::SetUp();
        ASSERT_TRUE(index->openOrBuild(source));
    }
};

TEST_F(Search, RussianWordsAreFoundInEveryForm) {
    for (const char* form : {"строка", "строки", "строку", "Строку", "СТРОКА"})
        EXPECT_EQ(found(form), (Ids{1, 2, 3})) << form;
    for (const char* form : {"файл", "файлы", "файлов"})
        EXPECT_EQ(found(form), (Ids{4, 5})) << form;
    // "ё" typed as "е".
    EXPECT_EQ(found("еще"), Ids{3});
    EXPECT_EQ(found("ещё"), Ids{3});
}

TEST_F(Search, EnglishWordsAreFoundInEveryForm) {
    for (const char* form : {"sort", "sorting", "sorted", "Sorts"})
        EXPECT_EQ(found(form), (Ids{6, 11})) << form;
}

TEST_F(Search, IdentifiersAreWholeWordsInAnyCase) {
    for (const char* form : {"TStringList", "tstringlist", "TSTRINGLIST"})
        EXPECT_EQ(found(form), Ids{6}) << form;
    EXPECT_EQ(found("tstringlistex"), Ids{7});
    EXPECT_EQ(found("string"), Ids{});
    for (const char* form : {"ShellExecute", "shellexecute"})
        EXPECT_EQ(found(form), Ids{5}) << form;
    EXPECT_EQ(found("caption"), Ids{13});
    EXPECT_EQ(found("Form1.Caption"), Ids{13});
    EXPECT_EQ(found("SW_SHOW"), Ids{5});
}

TEST_F(Search, TagsAttributesEntitiesAndScriptsAreNotWords) {
    for (const char* word :
         {"pre", "p", "nbsp", "mdash", "lt", "href", "class", "code", "example", "http", "hidden"})
        EXPECT_EQ(found(word, Mode::AnyWord), Ids{}) << word;
    // The words around them are.
    EXPECT_EQ(found("ссылка"), Ids{7});
    EXPECT_EQ(found("длина строки", Mode::Phrase), Ids{2});
    EXPECT_EQ(found("var", Mode::AnyWord), Ids{7});
}

TEST_F(Search, PhraseModeWantsTheWordsAdjacentInOrderAsTyped) {
    EXPECT_EQ(found("быстрая сортировка", Mode::Phrase), Ids{9});
    EXPECT_EQ(found("сортировка массива", Mode::Phrase), Ids{9});
    EXPECT_EQ(found("сортировка быстрая", Mode::Phrase), Ids{});
    // Exact forms: the phrase is not stemmed.
    EXPECT_EQ(found("быстрой сортировки", Mode::Phrase), Ids{});
    EXPECT_EQ(found("строку", Mode::Phrase), Ids{1});
    // Quote characters typed into it change nothing.
    EXPECT_EQ(found("\"быстрая сортировка\"", Mode::Phrase), Ids{9});
    // A phrase does not run on from the title into the text.
    EXPECT_EQ(found("разное быстрая", Mode::Phrase), Ids{});
}

TEST_F(Search, AllWordsAnyWordAndTheLimit) {
    EXPECT_EQ(found("быстрая сортировка"), (Ids{9, 10}));
    EXPECT_EQ(found("быстрая сортировка", Mode::AnyWord), (Ids{8, 9, 10, 12}));
    EXPECT_EQ(found("быстрая пузырьком"), Ids{});
    EXPECT_EQ(found("быстрая пузырьком", Mode::AnyWord), (Ids{8, 9, 10}));
    // Each word matches by any of its forms.
    EXPECT_EQ(found("сортировки массивов"), (Ids{8, 9}));
    // A quoted stretch in a word mode is a phrase.
    EXPECT_EQ(found("\"быстрая сортировка\" массив"), Ids{9});
    // In the any-word mode more matched words rank higher.
    EXPECT_EQ(ids("быстрая сортировка массива", Mode::AnyWord).front(), 9);
    EXPECT_EQ(index->search(cp("сортировка"), Mode::AllWords, 2).hits.size(), 2u);
}

TEST_F(Search, TitleMatchRanksAboveTextMatch) {
    const std::vector<int32_t> hits = ids("сортировка");
    ASSERT_EQ(hits.size(), 4u);
    // Two title matches (8, 12) before the two text matches (9, 10).
    EXPECT_EQ((Ids{hits[0], hits[1]}), (Ids{8, 12}));
}

TEST_F(Search, TextWithoutWordsOrOddSyntaxNeitherFailsNorFindsAll) {
    for (Mode mode : {Mode::AllWords, Mode::AnyWord, Mode::Phrase})
        for (const char* text : {"", "   ", "\"\"", "!!! ---", "( )"}) {
            const fulltext::Result r = index->search(cp(text), mode);
            EXPECT_FALSE(r.hasWords) << text;
            EXPECT_TRUE(r.hits.empty()) << text;
        }
    EXPECT_EQ(found("\"ShellExecute"), Ids{5});
    EXPECT_EQ(found("ShellExecute ("), Ids{5});
    EXPECT_EQ(found("ShellExecute OR NOT Length"), Ids{});
    EXPECT_EQ(found("ShellExecute OR NOT Length", Mode::AnyWord), (Ids{2, 5}));
    EXPECT_EQ(found("+ShellExecute -Length", Mode::AnyWord), (Ids{2, 5}));
}

TEST_F(Search, SnippetsAreOneLineOfPlainTextAroundTheWords) {
    const fulltext::Result r = index->search(cp("shellexecute"), Mode::AllWords);
    ASSERT_EQ(r.hits.size(), 1u);
    EXPECT_EQ(utf(r.hits[0].snippet),
              "if a < b then ShellExecute(Handle, 'open', PChar(FileName), nil, nil, SW_SHOW);");
    const fulltext::Result r2 = index->search(cp("строки"), Mode::Phrase);
    ASSERT_EQ(r2.hits.size(), 1u);
    EXPECT_EQ(utf(r2.hits[0].snippet), "Длина строки — функция Length.");
    EXPECT_GT(r2.hits[0].percent, 0);
    // The marks are the matched words, by characters of the snippet.
    const auto marked = [](const fulltext::Hit& h) {
        std::vector<std::string> out;
        for (const fulltext::Mark& m : h.marks)
            out.push_back(utf(h.snippet.substr(m.begin, m.end - m.begin)));
        return out;
    };
    EXPECT_EQ(marked(r.hits[0]), std::vector<std::string>{"ShellExecute"});
    EXPECT_EQ(marked(r2.hits[0]), std::vector<std::string>{"строки"});
    const fulltext::Result r3 = index->search(cp("длины функции"), Mode::AnyWord);
    ASSERT_FALSE(r3.hits.empty());
    EXPECT_EQ(marked(r3.hits[0]), (std::vector<std::string>{"Длина", "функция"}));
}

// The list's column is narrow: a fragment begins a few words before a word
// found, however far into a long page the first one lies.
TEST_F(FullText, FragmentsBeginNearTheWordFoundOnLongPages) {
    for (const int chars : {800, 5000, 50000}) {
        std::string body = "<p>";
        for (int n = 1; n <= chars / 40; ++n)
            body += "Предложение номер " + std::to_string(n) + " без нужного слова. ";
        body += "Здесь стоит маркерслово, а за ним ExtractFilePath(Name). Конец страницы.</p>";
        insert(("Длинная " + std::to_string(chars)).c_str(), body.c_str());
    }
    commit();
    ASSERT_TRUE(index->openOrBuild(source));
    const struct {
        const char* query;
        Mode mode;
        const char* shown;
    } cases[] = {
        {"маркерслова", Mode::AllWords, "маркерслово"},
        {"маркерслова", Mode::AnyWord, "маркерслово"},
        {"маркерслово", Mode::Phrase, "маркерслово"},
        {"ExtractFilePath", Mode::AllWords, "ExtractFilePath"},
        {"extractfilepath", Mode::AnyWord, "ExtractFilePath"},
        {"ExtractFilePath", Mode::Phrase, "ExtractFilePath"},
    };
    for (const auto& c : cases) {
        const fulltext::Result r = index->search(cp(c.query), c.mode);
        ASSERT_EQ(r.hits.size(), 3u) << c.query;
        for (const fulltext::Hit& h : r.hits) {
            // One byte a character in the list's code page.
            const size_t at = h.snippet.find(cp(c.shown));
            EXPECT_LT(at, 30u) << c.query << " " << static_cast<int>(c.mode) << ": "
                               << utf(h.snippet);
            EXPECT_EQ(h.snippet.find('\n'), std::string::npos);
            // Past the "…" and the blanks folded, the mark still lands on it.
            ASSERT_EQ(h.marks.size(), 1u) << utf(h.snippet);
            EXPECT_EQ(h.marks[0].begin, at);
            EXPECT_EQ(h.marks[0].end - h.marks[0].begin, cp(c.shown).size());
        }
    }
}

TEST_F(Search, MatchedWordsAreTheFormsInThatArticle) {
    const fulltext::Result r = index->search(cp("Строка длина"), Mode::AnyWord);
    EXPECT_EQ(index->matchedWords(r, 1), std::vector<std::string>{cp("строку")});
    auto two = index->matchedWords(r, 2);
    std::sort(two.begin(), two.end());
    EXPECT_EQ(two, (std::vector<std::string>{cp("длина"), cp("строки")}));
    EXPECT_EQ(index->matchedWords(r, 3), std::vector<std::string>{cp("строка")});
    EXPECT_TRUE(index->matchedWords(r, 4).empty());
    // In the phrase mode only the forms as typed.
    const fulltext::Result p = index->search(cp("строку"), Mode::Phrase);
    EXPECT_EQ(index->matchedWords(p, 1), std::vector<std::string>{cp("строку")});
    EXPECT_TRUE(index->matchedWords(p, 3).empty());
}

TEST_F(Search, HitRowsKeepTheOrderAndLeaveOutArticlesOutsideTheCatalogue) {
    fb::Transaction tr(db);
    tr.TRParams = {"read", "read_committed", "rec_version", "nowait"};
    tr.StartTransaction();
    fb::Query q(db, tr);
    const fulltext::Result r = index->search(cp("сортировка"), Mode::AllWords);
    ASSERT_EQ(r.hits.size(), 4u); // 8, 9, 10 and the lost 12
    const std::vector<search::HitRow> rows = search::hitRows(q, r.hits);
    ASSERT_EQ(rows.size(), 3u);
    std::vector<int32_t> expected;
    for (const fulltext::Hit& h : r.hits)
        if (h.id != 12)
            expected.push_back(h.id);
    for (size_t i = 0; i < rows.size(); ++i)
        EXPECT_EQ(rows[i].id, expected[i]);
    const auto nine =
        std::find_if(rows.begin(), rows.end(), [](const auto& row) { return row.id == 9; });
    ASSERT_NE(nine, rows.end());
    EXPECT_EQ(utf(nine->name), "Разное");
    EXPECT_EQ(utf(nine->category), "Строки и файлы");
    EXPECT_EQ(utf(nine->subcategory), "Основы");
    EXPECT_NE(utf(nine->snippet).find("Быстрая сортировка массива"), std::string::npos);
    EXPECT_FALSE(q.Open());
    EXPECT_TRUE(search::hitRows(q, {}).empty());
}

TEST_F(Search, HitRowsShowTheDatabaseAsItIsNowNotAsIndexed) {
    fb::Transaction tr(db);
    tr.TRParams = {"read", "read_committed", "rec_version", "nowait"};
    tr.StartTransaction();
    fb::Query q(db, tr);
    const fulltext::Result r = index->search(cp("сортировка"), Mode::AnyWord);
    // Renamed, moved, deleted and moved out of the catalogue since the index
    // saw them, without the index being told.
    execute("update hints set name = 'Renamed' where id = 9");
    execute("update hints set subcat = 1 where id = 12");
    execute("delete from hints where id = 10");
    execute("update hints set subcat = null where id = 8");
    commit();
    std::vector<fulltext::Hit> hits = r.hits;
    hits.push_back(hits.front()); // a number twice is one row
    std::vector<int32_t> listed;
    for (const search::HitRow& row : search::hitRows(q, hits)) {
        listed.push_back(row.id);
        if (row.id == 9) {
            EXPECT_EQ(row.name, "Renamed");
        }
        if (row.id == 12) {
            EXPECT_EQ(utf(row.category), "Разное");
            EXPECT_EQ(utf(row.subcategory), "Прочее");
        }
    }
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, (std::vector<int32_t>{9, 12}));
    EXPECT_FALSE(q.Open());
}

// ---- Keeping in step with the database ----------------------------------

TEST_F(FullText, CommittedArticlesAreAddedAndUncommittedOnesAreNot) {
    ASSERT_TRUE(index->openOrBuild(source));
    EXPECT_EQ(index->size(), 13u);
    insert("Реестр", "<p>Класс TRegistry читает реестр.</p>");
    EXPECT_EQ(index->addNew(source), 0);
    EXPECT_EQ(index->catchUp(source), 0);
    EXPECT_EQ(found("TRegistry"), Ids{});
    commit();
    EXPECT_EQ(index->addNew(source), 1);
    EXPECT_EQ(found("TRegistry"), Ids{14});
    EXPECT_EQ(index->addNew(source), 0);

    // An article the index missed while it was closed is caught up on the
    // next opening, and one that is gone from the database is dropped.
    index->close();
    insert("Буфер обмена", "<p>Clipboard.AsText</p>");
    execute("delete from hints where id = 2");
    commit();
    ASSERT_TRUE(index->openOrBuild(source));
    EXPECT_EQ(found("clipboard"), Ids{15});
    EXPECT_EQ(found("length"), Ids{});
    EXPECT_EQ(index->size(), 14u);
}

TEST_F(FullText, CatchUpFindsArticlesBelowTheNewestIndexed) {
    ASSERT_TRUE(index->openOrBuild(source));
    insert("Далеко", "<p>TIniFile</p>", 1000);
    commit();
    EXPECT_EQ(index->addNew(source), 1);
    // The generator's next number lies below the newest the index has.
    insert("Рядом", "<p>TMemIniFile</p>");
    commit();
    EXPECT_EQ(index->addNew(source), 0);
    EXPECT_EQ(index->catchUp(source), 1);
    EXPECT_EQ(found("TMemIniFile"), Ids{14});

    // refresh() indexes given articles afresh and drops vanished ones.
    execute("update hints set information = '<p>TRegIniFile</p>' where id = 14");
    execute("delete from hints where id = 1000");
    commit();
    index->refresh(source, {14, 1000});
    EXPECT_EQ(found("TMemIniFile"), Ids{});
    EXPECT_EQ(found("TRegIniFile"), Ids{14});
    EXPECT_EQ(found("TIniFile"), Ids{});
}

TEST_F(FullText, IndexOfAnotherOrReplacedDatabaseIsBuiltAnew) {
    ASSERT_TRUE(index->openOrBuild(source));
    index->close();

    // Another database, whose index folder is pointed at this one.
    dbbuild::Catalogue other;
    other.categories = {{1, cp("Другая")}};
    other.subcategories = {{1, 1, cp("База")}};
    other.articles = {article("Единственная", "<p>TDataSet</p>")};
    TempDatabase otherFile(&other);
    fb::Database otherDb;
    attach(otherDb, otherFile.path());
    search::DbArticleSource otherSource(otherDb);
    {
        Index wrong(index->folder());
        EXPECT_FALSE(wrong.open(otherSource));
        ASSERT_TRUE(wrong.openOrBuild(otherSource));
        EXPECT_EQ(wrong.size(), 1u);
        EXPECT_EQ(wrong.search(cp("tdataset"), Mode::AllWords).hits.size(), 1u);
    }
    // And back: this one is not trusted either.
    EXPECT_FALSE(index->open(source));
    ASSERT_TRUE(index->openOrBuild(source));
    EXPECT_EQ(index->size(), 13u);
    index->close();
    otherDb.Close();

    // The same file name holding a database made anew.
    upd.reset();
    write.reset();
    db.Close();
    fs::remove(file->path());
    {
        fb::Database fresh;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        dbbuild::createDatabase(fresh, file->path(), testing_support::schemaScript());
        fresh.Close();
    }
    attach(db, file->path());
    EXPECT_FALSE(index->open(source));
    ASSERT_TRUE(index->openOrBuild(source));
    EXPECT_EQ(index->size(), 0u);
}

TEST_F(FullText, UnreadableOrOldIndexIsBuiltAnew) {
    const std::string folder = index->folder();
    auto expectRebuilt = [&](const char* what) {
        EXPECT_FALSE(index->open(source)) << what;
        ASSERT_TRUE(index->openOrBuild(source)) << what;
        EXPECT_EQ(found("shellexecute"), Ids{5}) << what;
        index->close();
    };
    auto write = [](const fs::path& p, const std::string& bytes) {
        std::ofstream(p, std::ios::binary) << bytes;
    };

    expectRebuilt("missing");

    fs::remove_all(folder);
    fs::create_directories(folder);
    write(fs::path(folder) / "notes.txt", "not an index");
    expectRebuilt("foreign files");

    for (const char* table : {"iamglass", "postlist.glass", "termlist.glass", "docdata.glass"})
        write(fs::path(folder) / table, std::string(3000, '\x5A'));
    expectRebuilt("damaged tables");

    fs::remove_all(folder);
    write(folder, "a file, not a folder");
    expectRebuilt("a file");

    {
        Xapian::WritableDatabase w(folder, Xapian::DB_OPEN);
        w.set_metadata("tipsara.format", "0");
        w.commit();
    }
    expectRebuilt("older format");
}

TEST_F(FullText, CancelledBuildLeavesTheOldIndexUsable) {
    ASSERT_TRUE(index->openOrBuild(source));
    index->close();
    for (int i = 0; i < 200; ++i)
        insert("Ещё одна", "<p>TTimer</p>");
    commit();

    std::vector<std::pair<int, int>> calls;
    const bool built = Index::build(index->folder(), source, [&](int done, int total) {
        calls.emplace_back(done, total);
        return done < 100;
    });
    EXPECT_FALSE(built);
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.front(), std::make_pair(0, 213));
    EXPECT_GE(calls.back().first, 100);
    EXPECT_LT(calls.back().first, 213);
    EXPECT_FALSE(fs::exists(index->folder() + ".new"));
    ASSERT_TRUE(index->open(source));
    EXPECT_EQ(index->size(), 13u);
    EXPECT_EQ(found("shellexecute"), Ids{5});
    index->close();

    // A build that runs to the end reports every article and replaces it.
    calls.clear();
    EXPECT_TRUE(Index::build(index->folder(), source, [&](int done, int total) {
        calls.emplace_back(done, total);
        return true;
    }));
    EXPECT_EQ(calls.back(), std::make_pair(213, 213));
    EXPECT_TRUE(std::is_sorted(calls.begin(), calls.end()));
    ASSERT_TRUE(index->open(source));
    EXPECT_EQ(index->size(), 213u);
}

TEST_F(FullText, BuildOnAWorkerThreadAndASecondCopyReadsOnly) {
    std::atomic<int> reported{0};
    bool built = false;
    std::thread worker([&] {
        fb::Database own;
        search::attachLike(db, own);
        search::DbArticleSource ownSource(own);
        built = Index::build(index->folder(), ownSource, [&](int done, int) {
            reported = done;
            return true;
        });
        own.Close();
    });
    worker.join();
    EXPECT_TRUE(built);
    EXPECT_EQ(reported, 13);
    ASSERT_TRUE(index->open(source));
    EXPECT_FALSE(index->readOnly());

    // Another copy of the program finds the index held for writing.
    Index second(index->folder());
    ASSERT_TRUE(second.open(source));
    EXPECT_TRUE(second.readOnly());
    EXPECT_EQ(second.search(cp("shellexecute"), Mode::AllWords).hits.size(), 1u);
    insert("Новая", "<p>TThread</p>");
    commit();
    EXPECT_EQ(second.addNew(source), 0);
    EXPECT_EQ(index->addNew(source), 1);
}

TEST_F(FullText, BuildOfMoreArticlesThanTheWriterQueues) {
    for (int i = 0; i < 700; ++i)
        insert(("Статья " + std::to_string(i)).c_str(),
               ("<p>Слово w" + std::to_string(i) + "</p>").c_str());
    commit();
    int last = 0;
    EXPECT_TRUE(Index::build(index->folder(), source, [&](int done, int total) {
        EXPECT_GE(done, last);
        EXPECT_EQ(total, 713);
        last = done;
        return true;
    }));
    EXPECT_EQ(last, 713);
    ASSERT_TRUE(index->open(source));
    EXPECT_EQ(index->size(), 713u);
    EXPECT_EQ(found("w0"), Ids{14});
    EXPECT_EQ(found("w699"), Ids{713});
    EXPECT_EQ(index->search(cp("слово"), Mode::AllWords, 1000).hits.size(), 700u);
}

// Commits after the build are not flushed to the disk one by one; the
// folder says so until the index is closed, and an index whose unflushed
// commits a system crash may have lost is not trusted.
TEST_F(FullText, UnflushedCommitsAreTrustedOnlyOnTheSameBoot) {
    const fs::path mark = fs::path(index->folder()) / "unsynced";
    std::string boot;
    std::getline(std::ifstream("/proc/sys/kernel/random/boot_id"), boot);
    if (boot.empty())
        GTEST_SKIP() << "no boot ID on this system";

    ASSERT_TRUE(index->openOrBuild(source));
    EXPECT_FALSE(fs::exists(mark)); // a fresh build is flushed whole
    insert("Реестр", "<p>TRegistry</p>");
    commit();
    EXPECT_EQ(index->addNew(source), 1);
    EXPECT_TRUE(fs::exists(mark));
    {
        // A second copy reads; its closing leaves the writer's mark alone.
        Index second(index->folder());
        ASSERT_TRUE(second.open(source));
        EXPECT_TRUE(second.readOnly());
    }
    EXPECT_TRUE(fs::exists(mark));
    index->close();
    EXPECT_FALSE(fs::exists(mark));

    // A program that ended abruptly on this boot: its commits are with the
    // system, the index is used and flushed when closed.
    ASSERT_TRUE(index->open(source));
    std::ofstream(mark) << boot << "\n";
    index->close();
    std::ofstream(mark) << boot << "\n";
    ASSERT_TRUE(index->open(source));
    EXPECT_EQ(found("TRegistry"), Ids{14});
    index->close();
    EXPECT_FALSE(fs::exists(mark));

    // One of an earlier boot is built anew.
    std::ofstream(mark) << "00000000-0000-0000-0000-000000000000\n";
    EXPECT_FALSE(index->open(source));
    ASSERT_TRUE(index->openOrBuild(source));
    EXPECT_EQ(found("TRegistry"), Ids{14});
    EXPECT_EQ(index->size(), 14u);
}

// ---- Damaged, foreign and planted --------------------------------------

void cutTo(const fs::path& p, uintmax_t size) {
    fs::resize_file(p, size);
}
// Junk in the middle of every block, the blocks' headers left alone.
void garble(const fs::path& p) {
    std::fstream f(p, std::ios::in | std::ios::out | std::ios::binary);
    const auto size = static_cast<std::streamoff>(fs::file_size(p));
    const std::string junk(2048, '\x5A');
    for (std::streamoff at = 4096; at + 2048 <= size; at += 8192) {
        f.seekp(at);
        f.write(junk.data(), static_cast<std::streamsize>(junk.size()));
    }
}

// A damaged index is built anew at the search that meets it, whether the
// opening can see the damage or only the reading of a hit's text does.
TEST_F(FullText, DamagedIndexIsBuiltAnewOnceAtTheSearch) {
    // Enough text, hardly compressible, for tables of many blocks.
    uint32_t x = 1;
    for (int i = 0; i < 300; ++i) {
        std::string body = "<p>Статья " + std::to_string(i) + " про кирпичи.";
        for (int k = 0; k < 100; ++k) {
            body += ' ';
            for (int c = 0; c < 6; ++c) {
                x = x * 1103515245 + 12345;
                body += static_cast<char>('a' + (x >> 16) % 26);
            }
        }
        insert(("Стена " + std::to_string(i)).c_str(), (body + "</p>").c_str());
    }
    commit();
    const fs::path folder = index->folder();
    const struct {
        const char* what;
        std::function<void()> spoil;
    } damages[] = {
        {"docdata cut to 64 KiB", [&] { cutTo(folder / "docdata.glass", uintmax_t{64} * 1024); }},
        {"docdata garbled", [&] { garble(folder / "docdata.glass"); }},
        {"postlist cut in half",
         [&] { cutTo(folder / "postlist.glass", fs::file_size(folder / "postlist.glass") / 2); }},
        {"docdata gone", [&] { fs::remove(folder / "docdata.glass"); }},
    };
    for (const auto& d : damages) {
        ASSERT_TRUE(Index::build(folder, source));
        ASSERT_GT(fs::file_size(folder / "docdata.glass"), 128u * 1024) << d.what;
        d.spoil();
        int builds = 0;
        const std::optional<fulltext::Result> r =
            index->find(source, cp("кирпичи"), Mode::AllWords, 500, [&](int done, int) {
                builds += done == 0;
                return true;
            });
        ASSERT_TRUE(r) << d.what;
        EXPECT_EQ(builds, 1) << d.what;
        ASSERT_EQ(r->hits.size(), 300u) << d.what;
        for (const fulltext::Hit& h : r->hits)
            ASSERT_NE(h.snippet.find(cp("кирпичи")), std::string::npos) << d.what;
        index->close();
    }

    // A build that fails too is reported, not tried again.
    garble(folder / "docdata.glass");
    int builds = 0;
    EXPECT_THROW(index->find(source, cp("кирпичи"), Mode::AllWords, 500,
                             [&](int done, int) -> bool {
                                 builds += done == 0;
                                 throw fulltext::Error("disk full");
                             }),
                 fulltext::Error);
    EXPECT_EQ(builds, 1);
    EXPECT_FALSE(index->isOpen());
    ASSERT_TRUE(index->find(source, cp("кирпичи"), Mode::AllWords, 500));
}

// Another database made from the same file shares its path, its creation
// stamp and its first articles; its own articles are not the index's.
TEST_F(FullText, IndexOfAnotherCopyOfTheSameFileIsBuiltAnew) {
    upd.reset();
    write.reset();
    db.Close();
    const std::string copy = file->dir().file("copy.gdb");
    fs::copy_file(file->path(), copy);
    attach(db, file->path());
    insert("Своя", "<p>Первая копия знает TFirstOwn.</p>");
    commit();
    ASSERT_TRUE(index->openOrBuild(source));
    EXPECT_EQ(found("TFirstOwn"), Ids{14});
    index->close();
    upd.reset();
    write.reset();
    db.Close();

    attach(db, copy);
    insert("Чужая", "<p>Вторая копия знает TSecondOwn.</p>");
    commit();
    upd.reset();
    write.reset();
    db.Close();
    fs::copy_file(copy, file->path(), fs::copy_options::overwrite_existing);
    attach(db, file->path());

    EXPECT_FALSE(index->open(source));
    ASSERT_TRUE(index->openOrBuild(source));
    EXPECT_EQ(found("TFirstOwn"), Ids{});
    EXPECT_EQ(found("TSecondOwn"), Ids{14});
}

// The index writes only inside its own folder: links planted there or in
// its place are never followed.
TEST_F(FullText, PlantedLinksAreNeverFollowed) {
    const fs::path folder = index->folder();
    const fs::path outside = file->dir().path() / "outside";
    fs::create_directories(outside);
    const fs::path victim = outside / "victim";

    // A dangling link at the mark of unflushed commits.
    std::string boot;
    std::getline(std::ifstream("/proc/sys/kernel/random/boot_id"), boot);
    ASSERT_TRUE(index->openOrBuild(source));
    fs::create_symlink(victim, folder / "unsynced");
    insert("Реестр", "<p>TRegistry</p>");
    commit();
    EXPECT_EQ(index->addNew(source), 1);
    EXPECT_FALSE(fs::exists(fs::symlink_status(victim)));
    if (!boot.empty()) {
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(folder / "unsynced")));
    }
    index->close();
    // Planted while it is closed: the index is not used but built anew.
    fs::remove(folder / "flintlock");
    fs::create_symlink(victim, folder / "flintlock");
    EXPECT_FALSE(index->open(source));
    ASSERT_TRUE(index->openOrBuild(source));
    EXPECT_EQ(found("TRegistry"), Ids{14});
    index->close();
    EXPECT_FALSE(fs::exists(fs::symlink_status(victim)));

    // The folder itself a link to a folder elsewhere.
    const fs::path elsewhere = outside / "idx";
    fs::rename(folder, elsewhere);
    fs::remove(elsewhere / "flintlock");
    fs::create_symlink(elsewhere, folder);
    std::set<std::string> before;
    for (const auto& e : fs::directory_iterator(elsewhere))
        before.insert(e.path().filename().string());
    EXPECT_FALSE(index->open(source));
    ASSERT_TRUE(index->openOrBuild(source));
    EXPECT_EQ(found("TRegistry"), Ids{14});
    EXPECT_TRUE(fs::is_directory(fs::symlink_status(folder)));
    std::set<std::string> after;
    for (const auto& e : fs::directory_iterator(elsewhere))
        after.insert(e.path().filename().string());
    EXPECT_EQ(after, before);
}

} // namespace
