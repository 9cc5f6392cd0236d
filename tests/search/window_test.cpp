// SPDX-License-Identifier: GPL-3.0-or-later
// The search window and the add window against a database built for the
// cases, and the main window's commands that run them.

#include "app/UMain.h"
#include "authoring/UAdd.h"
#include "browser/UView.h"
#include "components/text/Cp1251.h"
#include "components/text/Strings.h"
#include "components/widgets/MessageBox.h"
#include "data/UData.h"
#include "search/USearch.h"
#include "support/RecordedMessages.h"
#include "support/TempDatabase.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

#include <functional>
#include <memory>

using testing_support::TempDatabase;

namespace {

using text::cp;
QString q(const char* utf8) {
    return QString::fromUtf8(utf8);
}

// Article identifiers follow the order of insertion, from 1.
enum : int { kCsv = 1, kFind, kConnect, kRead, kFindTwin, kStray, kQuoted, kUnquoted, kServer };

dbbuild::Catalogue catalogue() {
    dbbuild::Catalogue c;
    c.categories = {{1, cp("Строки")}, {2, cp("Базы данных")}, {3, cp("Файлы")}, {4, cp("Пустая")}};
    c.subcategories = {
        {1, 1, cp("Поиск")}, {1, 2, cp("Разбор")}, {2, 1, cp("Запросы")}, {3, 1, cp("Диски")}};
    const std::pair<std::pair<int, int>, const char*> rows[] = {
        {{1, 2}, "Разбор CSV-строки"},
        {{1, 2}, "Поиск подстроки в Строке"},
        {{2, 1}, "Строка подключения к базе"},
        {{3, 1}, "Чтение файла целиком"},
        {{1, 1}, "Поиск подстроки в Строке"}, // the same name, later, in an earlier subcategory
        {{3, 2}, "Строка без своей подкатегории"}, // subcategory 2 is category 1's
        {{3, 1}, "Имя \"Кавычки\" в тексте"},
        {{3, 1}, "Кавычки в тексте"},
        {{3, 1}, "Загрузка с сервера"}};
    for (const auto& [at, title] : rows)
        c.articles.push_back({"", at.first, at.second, std::nullopt, cp(title), "<p>x</p>"});
    c.articles.back().servId = 5001;
    return c;
}

using testing_support::Recorded;

// The hits as "ID subcategory", in list order.
QString hits(TSearchFrm& f, QRadioButton* mode, const char* text) {
    mode->click();
    f.Search->setText(q(text));
    f.OkBtn->click();
    QStringList out;
    for (int i = 0; i < f.LV->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* r = f.LV->topLevelItem(i);
        out << r->text(TSearchFrm::IdColumn) + ' ' + r->text(2);
    }
    return out.join(',');
}

// Runs one query on IBSQL4 and reads its first column of every row.
QStringList read(const std::string& sql) {
    fb::Query& r = DataFrm->IBSQL4;
    r.Close();
    r.setSQL(sql);
    r.ExecQuery();
    QStringList out;
    for (; !r.Eof(); r.Next())
        out << QString::fromLatin1(QByteArray::fromStdString(r.Fields(0).AsString()).toHex());
    r.Close();
    return out;
}

// Set when a modal window was still open after the actions meant to close it.
bool stuckModal = false;

// Runs fn once the command's modal window is up; a window fn leaves open is
// closed empty, so that a failing case cannot hang the run.
void whenShown(std::function<void()> fn) {
    QTimer::singleShot(0, qApp, [fn = std::move(fn)] {
        QVERIFY(QTest::qWaitFor([] { return QApplication::activeModalWidget() != nullptr; }));
        fn();
        if (auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            stuckModal = true;
            if (SearchFrm)
                SearchFrm->LV->clear();
            d->reject();
        }
    });
}

// Chooses item i of a list as a user would.
void choose(QComboBox* c, int i) {
    c->setCurrentIndex(i);
    emit c->activated(i);
}

} // namespace

class SearchWindowTest : public QObject {
    Q_OBJECT
    std::unique_ptr<TempDatabase> file;

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia)); }

    void init() {
        ShowTopicID = 0;
        stuckModal = false;
        const dbbuild::Catalogue c = catalogue();
        file = std::make_unique<TempDatabase>(&c);
        DataFrm = new TDataFrm(file->path());
        Main = new TMain();
        AddFrm = new TAddFrm(Main);
        Main->show();
        QApplication::setActiveWindow(Main);
        QVERIFY(QTest::qWaitForWindowActive(Main));
    }
    void cleanup() {
        QVERIFY(!stuckModal);
        delete Main;
        QVERIFY(!AddFrm && !SearchFrm && !ViewFrm);
        delete DataFrm;
        DataFrm = nullptr;
    }

    void eachModeFindsLowerCaseWordsInMixedCaseNamesInListOrder() {
        Recorded r;
        TSearchFrm f(Main);
        QVERIFY(f.RB1->isChecked() && !f.OkBtn->isEnabled());
        // Category first ("Базы данных" before "Строки"), then the name; one
        // row per subcategory of a repeated name, in subcategory order.
        QCOMPARE(hits(f, f.RB1, "строк"), q("3 Запросы,5 Поиск,2 Разбор,1 Разбор"));
        QCOMPARE(hits(f, f.RB1, "  строк   ПОИСК "), q("5 Поиск,2 Разбор"));
        QCOMPARE(hits(f, f.RB2, "чтение базе"), q("3 Запросы,4 Диски"));
        // The exact text keeps its blanks; the word modes trim them.
        QCOMPARE(hits(f, f.RB3, "подстроки в строке"), q("5 Поиск,2 Разбор"));
        QCOMPARE(hits(f, f.RB3, "в строке "), QString());
        QCOMPARE(hits(f, f.RB1, "в строке "), q("5 Поиск,2 Разбор"));
        // A quoted word asks for its quotation marks in the name.
        QCOMPARE(hits(f, f.RB1, "\"кавычки\" тексте"), q("7 Диски"));
        QCOMPARE(hits(f, f.RB2, "кавычки"), q("7 Диски,8 Диски"));
        // A stray article is never found; blanks alone find nothing quietly.
        QCOMPARE(hits(f, f.RB2, "своей"), QString());
        for (QRadioButton* mode : {f.RB1, f.RB2}) {
            hits(f, f.RB1, "строк");
            QCOMPARE(hits(f, mode, "  \t "), QString());
        }
        QVERIFY(f.OkBtn->isEnabled()); // a blank is text enough
        QVERIFY(r.boxes.isEmpty());
        QVERIFY(!DataFrm->IBSQL2.Open());
    }

    void theListIsInTheOrderThatComparingRowsGives() {
        // Names that the locale's collation orders in ways a byte order does
        // not: case, Ё and Е, digits, punctuation; some equal in all three
        // keys, which keep the database's order.
        fb::Query& w = DataFrm->UpdQ;
        const char* names[] = {"ёлка zz",       "Ёлка zz",     "елка zz", "Елка zz",
                               "zz 10 советов", "zz 2 совета", "a-b zz",  "ab zz",
                               "AB zz",         "ab zz",       "Ab zz"};
        int n = 0;
        for (const char* name : names) {
            w.Close();
            w.setSQL("INSERT into HINTS (NAME,CAT,SUBCAT) values (:N, :C, :S)");
            w.Params(0).setAsString(cp(name));
            w.Params(1).setAsInteger(n % 3 == 0 ? 2 : 1);
            w.Params(2).setAsInteger(n % 2 + 1 == 2 && n % 3 != 0 ? 2 : 1);
            w.ExecQuery();
            ++n;
        }
        w.Close();
        DataFrm->FBTransUpd.Commit();
        DataFrm->FBTransUpd.StartTransaction();

        TSearchFrm f(Main);
        hits(f, f.RB1, "zz");
        QCOMPARE(f.LV->topLevelItemCount(), 11);
        for (int i = 1; i < f.LV->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* a = f.LV->topLevelItem(i - 1);
            const QTreeWidgetItem* b = f.LV->topLevelItem(i);
            const int c = f.LVCompare(a, b);
            QVERIFY2(c <= 0, qPrintable(a->text(0) + " | " + b->text(0)));
            if (c == 0) // equal rows stay in the order the database gave them
                QVERIFY(a->text(TSearchFrm::IdColumn).toInt() <
                        b->text(TSearchFrm::IdColumn).toInt());
        }
    }

    void aFailedSearchIsReportedAndKeepsThePreviousHits() {
        Recorded r;
        TSearchFrm f(Main);
        f.show();
        const QString before = hits(f, f.RB1, "строк");
        f.LV->setCurrentItem(f.LV->topLevelItem(1));
        QTRY_VERIFY(f.ShowBtn->isEnabled());
        // The hidden ID column takes no room: the three columns fit.
        QVERIFY(f.LV->isColumnHidden(TSearchFrm::IdColumn));
        QVERIFY(!f.LV->horizontalScrollBar()->isVisible());

        DataFrm->FBTrans.setActive(false); // every read now fails
        QCOMPARE(hits(f, f.RB2, "чтение"), before);
        DataFrm->FBTrans.setActive(true);
        QCOMPARE(r.boxes.size(), 1);
        QCOMPARE(r.boxes[0].caption, Main->windowTitle());
        QCOMPARE(f.ChosenArticle(), std::optional<int>(kFindTwin));
        QCOMPARE(hits(f, f.RB2, "чтение"), q("4 Диски"));
        QTRY_VERIFY(!f.ShowBtn->isEnabled());
    }

    void theChosenArticleOpensInTheBrowserWhicheverWayTheWindowCloses() {
        const std::pair<const char*, std::function<void(TSearchFrm&)>> ways[] = {
            {"show", [](TSearchFrm& f) { f.ShowBtn->click(); }},
            {"double click",
             [](TSearchFrm& f) {
                 const QPoint at = f.LV->visualItemRect(f.LV->currentItem()).center();
                 QTest::mouseClick(f.LV->viewport(), Qt::LeftButton, {}, at);
                 QTest::mouseDClick(f.LV->viewport(), Qt::LeftButton, {}, at);
             }},
            {"close box", [](TSearchFrm& f) { f.close(); }},
            {"cancel", [](TSearchFrm& f) { f.CancelBtn->click(); }},
            {"escape", [](TSearchFrm& f) { QTest::keyClick(&f, Qt::Key_Escape); }},
        };
        for (const auto& [how, close] : ways) {
            const bool opens = QByteArray(how) != "cancel" && QByteArray(how) != "escape";
            ShowTopicID = -1;
            whenShown([&close = close] {
                hits(*SearchFrm, SearchFrm->RB1, "чтение");
                SearchFrm->LV->setCurrentItem(SearchFrm->LV->topLevelItem(0));
                close(*SearchFrm);
            });
            Main->ASearch->trigger();
            QVERIFY2(!SearchFrm, how);
            QCOMPARE(bool(ViewFrm), opens);
            if (!opens) {
                QCOMPARE(ShowTopicID, 0);
                continue;
            }
            QTRY_COMPARE(ShowTopicID, 0);
            QVERIFY2(ViewFrm->Selected() && NodeArticleID(ViewFrm->Selected()) == kRead, how);
            ViewFrm->CloseBtnClick();
            QTRY_VERIFY(!ViewFrm);
        }
    }

    void theAddWindowUnlocksStepByStep() {
        TAddFrm* a = AddFrm;
        a->show();
        QCOMPARE(a->CategoryNums, std::vector<std::string>({"2", "4", "1", "3"})); // by name
        QCOMPARE(a->CB1->currentIndex(), -1);
        for (QWidget* w : std::initializer_list<QWidget*>{a->CB2, a->Name, a->Memo, a->OkBtn})
            QVERIFY(!w->isEnabled());

        choose(a->CB1, 1); // no subcategories: an empty, open list
        QVERIFY(a->CB2->isEnabled() && a->CB2->count() == 0 && !a->Name->isEnabled());

        a->CB1->setCurrentIndex(2); // Enter loads the subcategories
        QTest::keyClick(a->CB1, Qt::Key_Return);
        QCOMPARE(a->CB2->count(), 2);
        QCOMPARE(a->SubCategoryNums, std::vector<std::string>({"1", "2"}));
        QCOMPARE(a->CB2->currentIndex(), -1);
        QVERIFY(!a->Name->isEnabled());

        choose(a->CB2, 1);
        QVERIFY(a->Name->isEnabled() && !a->Memo->isEnabled());
        a->Name->setText(QStringLiteral("x"));
        QTRY_VERIFY(a->Memo->isEnabled());
        QVERIFY(!a->OkBtn->isEnabled());
        a->Memo->setPlainText(QStringLiteral("y"));
        QVERIFY(a->OkBtn->isEnabled());
        a->Name->clear();
        QVERIFY(!a->OkBtn->isEnabled());
        QTRY_VERIFY(!a->Memo->isEnabled());

        // Another category empties the subcategory choice, not the name.
        a->Name->setText(QStringLiteral("x"));
        choose(a->CB1, 0);
        QCOMPARE(a->CB2->currentIndex(), -1);
        QVERIFY(a->Name->isEnabled() && a->Name->text() == QStringLiteral("x"));

        a->ResetBtn->click();
        QVERIFY(a->CB1->currentIndex() == -1 && a->Name->text().isEmpty());
        QVERIFY(a->Memo->toPlainText().isEmpty() && !a->OkBtn->isEnabled());
        QTRY_VERIFY(!a->CB2->isEnabled() && !a->Memo->isEnabled() && a->CB2->count() == 0);
        a->close();
    }

    void addingCommitsTheArticleAsTypedAndCountsItAsTheUsers() {
        Recorded r;
        TAddFrm* a = AddFrm;
        a->show();
        choose(a->CB1, 3); // Файлы, category 3
        choose(a->CB2, 0); // Диски, subcategory 1
        a->Name->setText(q("  Моя статья "));
        QTRY_VERIFY(a->Memo->isEnabled());
        a->Memo->insertPlainText(q("<p>Строка"));
        QTest::keyClick(a->Memo, Qt::Key_Return);
        a->Memo->insertPlainText(q("ещё</p>"));
        a->OkBtn->click();
        a->OkBtn->click();
        QVERIFY(r.boxes.isEmpty());
        QVERIFY(DataFrm->FBTransUpd.Active());
        QCOMPARE(a->Name->text(), q("  Моя статья ")); // the window stays as it was

        // Read back through the read transaction, bytes as hex.
        const QString row =
            QString::fromLatin1(QByteArray::fromStdString("3|1|" + cp("  Моя статья ") + "|" +
                                                          cp("<p>Строка\r\nещё</p>"))
                                    .toHex());
        QCOMPARE(read("select CAT || '|' || SUBCAT || '|' || NAME || '|' || INFORMATION from HINTS "
                      "where ID > 9 and SERV_ID is NULL"),
                 QStringList({row, row}));
        Main->ACount->trigger();
        QCOMPARE(r.boxes.last().text, CountText(11, 1));
        a->close();
    }

    void addingWithoutAChoiceFailsBeforeAnyStatement() {
        Recorded r;
        TAddFrm* a = AddFrm;
        a->show();
        DataFrm->UpdQ.setSQL("select 1 from rdb$database");
        choose(a->CB1, 2);
        choose(a->CB2, 0);
        a->Name->setText(QStringLiteral("n"));
        a->Memo->setPlainText(QStringLiteral("t"));
        choose(a->CB1, 0); // a subcategory no longer chosen
        a->OkBtn->click();
        // Left by the close box, the name stays; the next showing chooses no
        // category.
        a->close();
        a->show();
        QVERIFY(a->Name->isEnabled() && a->Name->text() == QStringLiteral("n"));
        a->Memo->setPlainText(QStringLiteral("t"));
        a->OkBtn->click();

        QCOMPARE(r.boxes.size(), 2);
        QCOMPARE(r.boxes[0].caption, Main->windowTitle());
        QCOMPARE(r.boxes[0].text, q("Не выбрана подкатегория статьи."));
        QCOMPARE(r.boxes[1].text, q("Не выбрана категория статьи."));
        QCOMPARE(read("select count(*) from HINTS"), read("select 9 from rdb$database"));
        QCOMPARE(DataFrm->UpdQ.SQL(), std::string("select 1 from rdb$database"));

        // "Выход" empties and locks the name.
        a->CancelBtn->click();
        QVERIFY(!a->isVisible());
        a->show();
        QVERIFY(a->Name->text().isEmpty() && !a->Name->isEnabled());
        a->close();
    }

    void anArticleAddedThroughTheCommandIsInTheNextBrowser() {
        whenShown([] {
            choose(AddFrm->CB1, 0);
            choose(AddFrm->CB2, 0);
            AddFrm->Name->setText(q("Своя статья"));
            AddFrm->Memo->setPlainText(QStringLiteral("<p>mine</p>"));
            AddFrm->OkBtn->click();
            AddFrm->CancelBtn->click();
        });
        Main->AAdd->trigger();
        Main->AViewExecute();
        const QList<QTreeWidgetItem*> found =
            ViewFrm->TV->findItems(q("Своя статья"), Qt::MatchExactly | Qt::MatchRecursive);
        QCOMPARE(found.size(), 1);
        QCOMPARE(found[0]->parent()->text(0), q("Запросы"));
        ViewFrm->CloseBtnClick();
        QTRY_VERIFY(!ViewFrm);
    }
};

int main(int argc, char** argv) {
    QTemporaryDir config;
    if (!config.isValid())
        return 1;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    QApplication app(argc, argv);
    SearchWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "window_test.moc"
