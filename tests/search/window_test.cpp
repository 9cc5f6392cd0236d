// SPDX-License-Identifier: GPL-3.0-or-later
// The search window against a database built for the cases, and the main
// window's command that runs it.

#include "app/UMain.h"
#include "authoring/UAdd.h"
#include "browser/UView.h"
#include "components/text/Cp1251.h"
#include "components/text/Strings.h"
#include "components/widgets/MessageBox.h"
#include "data/UData.h"
#include "search/USearch.h"
#include "support/ModalWindows.h"
#include "support/OwnConfigMain.h"
#include "support/RecordedMessages.h"
#include "support/SmallCatalogue.h"
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

using namespace testing_support;

namespace {

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

} // namespace

class SearchWindowTest : public QObject {
    Q_OBJECT
    std::unique_ptr<TempDatabase> file;

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia)); }

    void init() { openCatalogueWindows(file); }
    void cleanup() { closeCatalogueWindows(); }

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
        QVERIFY(f.ShowBtn->isEnabled());
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
        QVERIFY(!f.ShowBtn->isEnabled()); // the new list has no selection
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
};

int main(int argc, char** argv) {
    return testing_support::runWithOwnConfig<SearchWindowTest>(argc, argv);
}

#include "window_test.moc"
