// SPDX-License-Identifier: GPL-3.0-or-later
// One's own articles changed, moved and deleted through the windows, and
// one's own categories made, renamed and deleted there: the tree, the
// count, the title search and the full-text index follow each step.

#include "app/UMain.h"
#include "authoring/Articles.h"
#include "authoring/OwnCatalogue.h"
#include "authoring/UAdd.h"
#include "browser/UView.h"
#include "search/Search.h"
#include "search/TextSearch.h"
#include "search/USearch.h"
#include "support/ModalWindows.h"
#include "support/OwnConfigMain.h"
#include "support/RecordedMessages.h"
#include "support/SmallCatalogue.h"

#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QtTest>

#include <algorithm>
#include <memory>

using namespace testing_support;

namespace {

QTreeWidgetItem* node(const char* name) {
    const QList<QTreeWidgetItem*> found =
        ViewFrm->TV->findItems(q(name), Qt::MatchExactly | Qt::MatchRecursive);
    return found.size() == 1 ? found.front() : nullptr;
}

void select(QTreeWidgetItem* n) {
    ViewFrm->TV->setCurrentItem(n);
    QApplication::processEvents();
}

int titleHits(const char* words) {
    return static_cast<int>(
        search::Find(DataFrm->IBSQL4, search::Mode::AllWords, cp(words)).size());
}

int textHits(const char* words) {
    return static_cast<int>(search::TextIndexFor(DataFrm->FBDB)
                                .search(cp(words), fulltext::Mode::AllWords)
                                .hits.size());
}

// The item of a list whose number is num.
int itemOf(const std::vector<std::string>& nums, int num) {
    return static_cast<int>(std::find(nums.begin(), nums.end(), std::to_string(num)) -
                            nums.begin());
}

} // namespace

class OwnArticlesTest : public QObject {
    Q_OBJECT
    std::unique_ptr<TempDatabase> file;
    const decltype(NameAsker) inputDialog = NameAsker;

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia)); }

    void init() {
        openCatalogueWindows(file);
        QVERIFY(search::TextSearch(search::TextIndexFor(DataFrm->FBDB)).Prepare(DataFrm->FBDB, {}));
    }
    void cleanup() {
        if (ViewFrm) {
            ViewFrm->CloseBtnClick();
            QTRY_VERIFY(!ViewFrm);
        }
        NameAsker = inputDialog;
        search::CloseTextIndex();
        closeCatalogueWindows();
    }

    void editMoveAndDeleteThroughTheMenu() {
        Recorded r;
        Main->AViewExecute();
        ViewFrm->TV->setFocus();
        QVERIFY(!Main->AEdit->isEnabled()); // a category is current

        // The server's article: the commands are off, and the menu says why.
        select(node("Загрузка с сервера"));
        QVERIFY(!Main->AEdit->isEnabled() && !Main->ADelete->isEnabled());
        QVERIFY(!ViewFrm->CommandsFor().ownArticle);
        QCOMPARE(ViewFrm->EditArticle->statusTip(), q("Статьи из обновлений изменять нельзя"));
        QTest::keyClick(ViewFrm->TV, Qt::Key_Delete);
        QVERIFY(r.boxes.isEmpty());

        select(node("Чтение файла целиком"));
        QVERIFY(Main->AEdit->isEnabled() && Main->ADelete->isEnabled());
        QCOMPARE(titleHits("целиком"), 1);

        // Renamed, rewritten and moved from Файлы/Диски to Строки/Поиск.
        whenShown([] {
            auto* e = qobject_cast<TAddFrm*>(QApplication::activeModalWidget());
            QVERIFY(e);
            QCOMPARE(e->windowTitle(), q("Изменение статьи"));
            QCOMPARE(e->OkBtn->text(), q("Сохранить"));
            QCOMPARE(e->Name->text(), q("Чтение файла целиком"));
            QCOMPARE(e->Memo->toPlainText(), QStringLiteral("<p>x</p>"));
            QCOMPARE(e->CB1->currentText(), q("Файлы"));
            QCOMPARE(e->CB2->currentText(), q("Диски"));
            choose(e->CB1, itemOf(e->CategoryNums, 1));
            choose(e->CB2, itemOf(e->SubCategoryNums, 1));
            e->Name->setText(q("Чтение <всего> & сразу"));
            e->Memo->setPlainText(q("<p>Про снегирей</p>"));
            e->OkBtn->click();
        });
        Main->AEdit->trigger();
        QVERIFY(r.boxes.isEmpty());
        QVERIFY(!node("Чтение файла целиком"));
        QTreeWidgetItem* moved = node("Чтение <всего> & сразу");
        QVERIFY(moved);
        QCOMPARE(moved->parent()->text(0), q("Поиск"));
        QCOMPARE(moved->parent()->parent()->text(0), q("Строки"));
        QCOMPARE(ViewFrm->TV->currentItem(), moved);
        QCOMPARE(titleHits("целиком"), 0);
        QCOMPARE(titleHits("сразу"), 1);
        QCOMPARE(textHits("снегирей"), 1);
        Main->ACount->trigger();
        QCOMPARE(r.boxes.takeLast().text, CountText(9, 1));

        // "Выход" leaves it as it is.
        whenShown([] {
            auto* e = qobject_cast<TAddFrm*>(QApplication::activeModalWidget());
            e->Name->setText(QStringLiteral("other"));
            e->CancelBtn->click();
        });
        Main->AEdit->trigger();
        QVERIFY(node("Чтение <всего> & сразу"));

        // Deleted after the question, "Нет" its default; the page of the
        // subcategory it was in is shown.
        r.answer = QMessageBox::No;
        Main->ADelete->trigger();
        QVERIFY(node("Чтение <всего> & сразу"));
        r.answer = QMessageBox::Yes;
        QTest::keyClick(ViewFrm->TV, Qt::Key_Delete);
        QCOMPARE(r.boxes.size(), 2);
        QCOMPARE(r.boxes[1].text, q("Удалить статью «Чтение <всего> & сразу»?"));
        QCOMPARE(r.boxes[1].defaultButton, QMessageBox::No);
        QVERIFY(!node("Чтение <всего> & сразу"));
        QCOMPARE(ViewFrm->TV->currentItem()->text(0), q("Поиск"));
        QCOMPARE(titleHits("сразу"), 0);
        QCOMPARE(textHits("снегирей"), 0);
        r.answer = QMessageBox::Ok;
        Main->ACount->trigger();
        QCOMPARE(r.boxes.last().text, CountText(8, 1));

        // Without a browser there is nothing to edit.
        select(node("Кавычки в тексте"));
        QVERIFY(Main->AEdit->isEnabled());
        ViewFrm->CloseBtnClick();
        QTRY_VERIFY(!ViewFrm);
        QVERIFY(!Main->AEdit->isEnabled() && !Main->ADelete->isEnabled());
    }

    void anOpenSearchListDropsADeletedRow() {
        TSearchFrm f(Main);
        f.show();
        f.Search->setText(q("Кавычки"));
        f.OkBtn->click();
        QCOMPARE(f.LV->topLevelItemCount(), 2);
        authoring::DeleteArticle(DataFrm->UpdQ, DataFrm->FBTransUpd, kUnquoted);
        QCOMPARE(f.LV->topLevelItemCount(), 1);
        QCOMPARE(f.LV->topLevelItem(0)->text(TSearchFrm::IdColumn), QString::number(kQuoted));
        f.close();
    }

    void ownCategoriesThroughTheAddWindow() {
        QStringList asked;
        NameAsker = [&asked](QWidget*, const QString& caption, const QString&,
                             const QString&) -> std::optional<QString> {
            asked << caption;
            return asked.size() == 1 ? q("Мои <заметки>") : q("Раз");
        };
        TAddFrm* a = AddFrm;
        a->show();
        QCOMPARE(a->CB1->itemText(a->CB1->count() - 1), q("Новая категория..."));
        choose(a->CB1, a->CB1->count() - 1);
        QCOMPARE(a->CB1->currentText(), q("Мои <заметки>"));
        QCOMPARE(a->CategoryNums[static_cast<size_t>(a->CB1->currentIndex())], "1000000");
        QCOMPARE(a->CB2->count(), 1);
        QCOMPARE(a->CB2->itemText(0), q("Новая подкатегория..."));
        choose(a->CB2, 0);
        QCOMPARE(a->CB2->currentText(), q("Раз"));
        QVERIFY(a->Name->isEnabled());
        QCOMPARE(asked, QStringList({q("Новая категория"), q("Новая подкатегория")}));
        a->Name->setText(q("Своя"));
        a->Memo->setPlainText(QStringLiteral("<p>own</p>"));
        a->OkBtn->click();
        a->CancelBtn->click();
        // Committed: the reading transaction sees all three.
        QCOMPARE(read("select CAT || '/' || SUBCAT from HINTS where NAME='" + cp("Своя") + "'"),
                 QStringList({QString::fromLatin1(QByteArray("1000000/1000000").toHex())}));

        // Cancelled, nothing is made and no category stays chosen.
        NameAsker = [](QWidget*, const QString&, const QString&, const QString&) {
            return std::optional<QString>();
        };
        a->show();
        const int before = a->CB1->count();
        choose(a->CB1, a->CB1->count() - 1);
        QCOMPARE(a->CB1->count(), before);
        QCOMPARE(a->CB1->currentIndex(), -1);
        a->close();
    }

    void renameAndDeleteInTheTreeMenu() {
        Recorded r;
        fb::Query& upd = DataFrm->UpdQ;
        authoring::CommitNow(upd, DataFrm->FBTransUpd, [&upd] {
            const int32_t cat = authoring::CreateCategory(upd, cp("Моя"));
            authoring::CreateSubcategory(upd, cat, cp("Пустая своя"));
        });
        NameAsker = [](QWidget*, const QString&, const QString&, const QString& initial) {
            return std::optional<QString>(initial + q(" <новая>"));
        };
        Main->AViewExecute();

        // The server's category: both commands off.
        select(node("Строки"));
        QVERIFY(!ViewFrm->CommandsFor().ownGroup && !ViewFrm->CommandsFor().emptyGroup);
        QCOMPARE(ViewFrm->RenameNode->statusTip(), q("Категории из обновлений изменять нельзя"));

        // Through the pop-up menu, as the user would.
        QTreeWidgetItem* own = node("Пустая своя");
        QVERIFY(own);
        own->parent()->setExpanded(true);
        QTimer::singleShot(0, qApp, [] {
            QTRY_VERIFY(ViewFrm->PMenu->isVisible());
            QVERIFY(ViewFrm->RenameNode->isVisible() && ViewFrm->RenameNode->isEnabled());
            QVERIFY(ViewFrm->DeleteNode->isEnabled());
            QVERIFY(!ViewFrm->EditArticle->isVisible());
            ViewFrm->RenameNode->trigger();
            ViewFrm->PMenu->close();
        });
        emit ViewFrm->TV->customContextMenuRequested(ViewFrm->TV->visualItemRect(own).center());
        QVERIFY(node("Пустая своя <новая>"));
        QCOMPARE(ViewFrm->TV->currentItem()->text(0), q("Пустая своя <новая>"));

        // A category is deleted only when empty, and after the question.
        select(node("Моя"));
        QVERIFY(ViewFrm->CommandsFor().ownGroup && ViewFrm->CommandsFor().emptyGroup);
        r.answer = QMessageBox::Yes;
        ViewFrm->DeleteNodeClick();
        QCOMPARE(r.boxes.size(), 1);
        QCOMPARE(r.boxes[0].text, q("Удалить категорию «Моя»?"));
        QVERIFY(!node("Моя") && !node("Пустая своя <новая>"));
        QCOMPARE(read("select count(*) from CATEGORIES where NUM >= 1000000"),
                 read("select 0 from rdb$database"));
    }
};

int main(int argc, char** argv) {
    return testing_support::runWithOwnConfig<OwnArticlesTest>(argc, argv);
}

#include "own_window_test.moc"
