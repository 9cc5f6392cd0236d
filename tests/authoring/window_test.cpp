// SPDX-License-Identifier: GPL-3.0-or-later
// The add window against a database built for the cases, and the main
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

class AddWindowTest : public QObject {
    Q_OBJECT
    std::unique_ptr<TempDatabase> file;

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia)); }

    void init() { openCatalogueWindows(file); }
    void cleanup() { closeCatalogueWindows(); }

    void theAddWindowUnlocksStepByStep() {
        TAddFrm* a = AddFrm;
        a->show();
        QCOMPARE(a->CategoryNums, std::vector<std::string>({"2", "4", "1", "3"})); // by name
        QCOMPARE(a->CB1->currentIndex(), -1);
        for (QWidget* w : std::initializer_list<QWidget*>{a->CB2, a->Name, a->Memo, a->OkBtn})
            QVERIFY(!w->isEnabled());

        choose(a->CB1, 1); // no subcategories: an open list with only the new one's item
        QVERIFY(a->CB2->isEnabled() && a->CB2->count() == 1 && !a->Name->isEnabled());

        a->CB1->setCurrentIndex(2); // Enter loads the subcategories
        QTest::keyClick(a->CB1, Qt::Key_Return);
        QCOMPARE(a->CB2->count(), 3);
        QCOMPARE(a->SubCategoryNums, std::vector<std::string>({"1", "2"}));
        QCOMPARE(a->CB2->currentIndex(), -1);
        QVERIFY(!a->Name->isEnabled());

        choose(a->CB2, 1);
        QVERIFY(a->Name->isEnabled() && !a->Memo->isEnabled());
        a->Name->setText(QStringLiteral("x"));
        QVERIFY(a->Memo->isEnabled());
        QVERIFY(!a->OkBtn->isEnabled());
        a->Memo->setPlainText(QStringLiteral("y"));
        QVERIFY(a->OkBtn->isEnabled());
        a->Name->clear();
        QVERIFY(!a->OkBtn->isEnabled());
        QVERIFY(!a->Memo->isEnabled());

        // Another category empties the subcategory choice, not the name.
        a->Name->setText(QStringLiteral("x"));
        choose(a->CB1, 0);
        QCOMPARE(a->CB2->currentIndex(), -1);
        QVERIFY(a->Name->isEnabled() && a->Name->text() == QStringLiteral("x"));

        a->ResetBtn->click();
        QVERIFY(a->CB1->currentIndex() == -1 && a->Name->text().isEmpty());
        QVERIFY(a->Memo->toPlainText().isEmpty() && !a->OkBtn->isEnabled());
        QVERIFY(!a->CB2->isEnabled() && !a->Memo->isEnabled() && a->CB2->count() == 0);
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
    return testing_support::runWithOwnConfig<AddWindowTest>(argc, argv);
}

#include "window_test.moc"
