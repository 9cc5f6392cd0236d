// SPDX-License-Identifier: GPL-3.0-or-later
// The browser window against databases built for each case: the tree, the
// pages of its nodes, saving an article, articles asked for by number, the
// window's life and the tree width it leaves behind.

#include "app/UMain.h"
#include "browser/UProgress.h"
#include "browser/UView.h"
#include "components/desktop/WebLinks.h"
#include "components/text/Cp1251.h"
#include "components/text/QtText.h"
#include "components/text/Strings.h"
#include "components/widgets/MessageBox.h"
#include "components/widgets/PageView.h"
#include "data/UData.h"
#include "settings/Store.h"
#include "support/OwnConfigMain.h"
#include "support/RecordedMessages.h"
#include "support/TempDatabase.h"

#include <QDialog>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QProgressBar>
#include <QSplitter>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextDocument>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest>

#include <fstream>
#include <memory>
#include <sstream>

using testing_support::TempDatabase;

namespace {

using text::cp;
QString q(const char* utf8) {
    return QString::fromUtf8(utf8);
}

dbbuild::Article article(int cat, int sub, const char* title, std::string body) {
    return {"", cat, sub, std::nullopt, cp(title), std::move(body)};
}

// Article identifiers follow the order of insertion, from 1.
enum : int { kB = 1, kEmpty, kNull, kStray, kColon, kDotted };
const std::string kBody = cp("<p>Текст</p>\r\n<p>b & c</p>"); // no line break at the end

dbbuild::Catalogue shapeCatalogue() {
    dbbuild::Catalogue c;
    c.categories = {{1, cp("Бета")},  {0, cp("Альфа")}, {16, cp("Гамма")},   {17, cp("Дельта")},
                    {2, cp("Дубль")}, {3, cp("Дубль")}, {18, cp("Эпсилон")}, {19, cp("Юг")}};
    c.subcategories = {
        {1, 1, cp("Первая")}, {1, 2, cp("Пустая")}, {2, 1, "x2"}, {3, 1, "x3"}, {3, 2, "y3"}};
    c.articles = {article(1, 1, "Б-статья", kBody), article(1, 1, "А-статья", ""),
                  article(1, 1, "В-пустая", "to be NULL"),
                  // Subcategory 2 belongs to category 3, not to 2.
                  article(2, 2, "Чужая", "x"), article(2, 1, "Статья: путь/файл?", "colon"),
                  article(3, 1, "two.words", "dotted")};
    return c;
}

void execute(fb::Database& db, const std::vector<std::string>& statements) {
    fb::Transaction tr(db);
    tr.TRParams = {"write"};
    tr.StartTransaction();
    for (const std::string& s : statements)
        db.ExecuteImmediate(tr, s);
    tr.Commit();
}

void attach(fb::Database& db, const std::string& path) {
    db.DBName = path;
    db.DBParams = {"lc_ctype=WIN1251", "user_name=sysdba"};
    db.SQLDialect = 1;
    db.Open();
}

std::string readAll(const QString& path) {
    std::ifstream in(path.toStdString(), std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

QStringList texts(const QList<QTreeWidgetItem*>& nodes) {
    QStringList out;
    for (const QTreeWidgetItem* n : nodes)
        out << n->text(0);
    return out;
}

QList<QTreeWidgetItem*> kids(const QTreeWidgetItem* n) {
    QList<QTreeWidgetItem*> out;
    for (int i = 0; i < n->childCount(); ++i)
        out << n->child(i);
    return out;
}

QTreeWidgetItem* findNode(const QTreeWidget* tv, const QString& text) {
    const QList<QTreeWidgetItem*> found =
        tv->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
    return found.isEmpty() ? nullptr : found.first();
}

void click(QTreeWidget* tv, QTreeWidgetItem* node, Qt::MouseButton button = Qt::LeftButton) {
    for (QTreeWidgetItem* p = node->parent(); p; p = p->parent())
        p->setExpanded(true);
    tv->scrollToItem(node);
    const QPoint at = tv->visualItemRect(node).center();
    QTest::mouseClick(tv->viewport(), button, {}, at);
}

using testing_support::Recorded;

// Answers the save dialog: what it proposed, then the folder and name to
// accept (the proposal when name is empty), or a cancel.
struct SaveAnswer {
    QString proposed;
    QString folder;
    QString name;
    bool cancel = false;
    SaveAnswer() {
        TViewFrm::execSaveDialog = [this](QFileDialog& d) {
            proposed = d.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->text();
            if (cancel)
                return int(QDialog::Rejected);
            d.setDirectory(folder);
            d.selectFile(name.isEmpty() ? proposed : name);
            static_cast<QDialog&>(d).accept();
            return d.result();
        };
    }
    ~SaveAnswer() {
        TViewFrm::execSaveDialog = [](QFileDialog& d) { return d.exec(); };
    }
};

int storedTreeWidth() {
    settings::Store s;
    return s.ReadInteger(settings::Section::View, QStringLiteral("TreeWidth"), -1);
}

} // namespace

class BrowserTest : public QObject {
    Q_OBJECT
    std::unique_ptr<TempDatabase> file;
    QString configFile;

    void openData(const dbbuild::Catalogue& c) {
        closeData();
        file = std::make_unique<TempDatabase>(&c);
        DataFrm = new TDataFrm(file->path());
    }
    void closeData() {
        delete DataFrm;
        DataFrm = nullptr;
    }
    TViewFrm* openBrowser() {
        Main->AViewExecute();
        // Where the platform let the progress window take the activation,
        // it comes back to the main window once the events are through.
        (void)QTest::qWaitFor([] { return QApplication::activeWindow() == Main; }, 1000);
        QTest::qWait(1); // and a press right after it is no longer taken for the activating one
        return ViewFrm;
    }

private slots:
    void init() {
        QFile::remove(qEnvironmentVariable("XDG_CONFIG_HOME") + q("/Marvek Systems/Tipsara.conf"));
        ShowTopicID = 0;
        openData(shapeCatalogue());
        fb::Database db;
        attach(db, file->path());
        execute(db, {"update HINTS set INFORMATION = NULL where ID = " + std::to_string(kNull)});
        db.Close();
        Main = new TMain();
        Main->show();
        QVERIFY(QTest::qWaitForWindowExposed(Main));
        QApplication::setActiveWindow(Main);
        QVERIFY(QTest::qWaitForWindowActive(Main));
    }
    void cleanup() {
        delete Main;
        QVERIFY(!ViewFrm);
        closeData();
    }

    void theTreeHoldsTheCatalogueInTheDatabasesOrderWithItsPictures() {
        Recorded r;
        TViewFrm* v = openBrowser();
        QVERIFY(v);
        QVERIFY(r.boxes.isEmpty());
        QCOMPARE(NodeImage, 16);
        QCOMPARE(SelectedImage, 17);
        QCOMPARE(v->IL.size(), size_t(18));

        const QList<QTreeWidgetItem*> cats = kids(v->TV->invisibleRootItem());
        QCOMPARE(texts(cats), q("Альфа Бета Гамма Дельта Дубль Дубль Эпсилон Юг").split(' '));
        // Category NUM minus 1: 0 and 19 have none; 17 and 18 borrow the
        // subcategory and selected pictures.
        const int pictures[] = {-1, 0, 15, 16, 1, 2, 17, -1};
        for (int i = 0; i < cats.size(); ++i) {
            QCOMPARE(cats[i]->data(0, ImageIndexRole).toInt(), pictures[i]);
            QCOMPARE(cats[i]->data(0, SelectedIndexRole).toInt(), 17);
            QCOMPARE(NodeArticleID(cats[i]), -1);
        }
        QCOMPARE(cats[0]->childCount(), 0);
        QStringList twins = {texts(kids(cats[4])).join(','), texts(kids(cats[5])).join(',')};
        twins.sort();
        QCOMPARE(twins, QStringList({QStringLiteral("x2"), QStringLiteral("x3,y3")}));

        const QList<QTreeWidgetItem*> subs = kids(cats[1]);
        QCOMPARE(texts(subs), q("Первая Пустая").split(' '));
        QCOMPARE(subs[1]->childCount(), 0);
        const QList<QTreeWidgetItem*> arts = kids(subs[0]);
        QCOMPARE(texts(arts), q("А-статья Б-статья В-пустая").split(' '));
        QCOMPARE(NodeArticleID(arts[0]), int(kEmpty));
        QCOMPARE(NodeArticleID(arts[1]), int(kB));
        QCOMPARE(NodeArticleID(arts[2]), int(kNull));
        for (const QTreeWidgetItem* n : {subs[0], arts[0]}) {
            QCOMPARE(n->data(0, ImageIndexRole).toInt(), 16);
            QCOMPARE(n->data(0, SelectedIndexRole).toInt(), 17);
        }
        QCOMPARE(NodeName(arts[1]), cp("Б-статья"));
        QVERIFY(!findNode(v->TV, q("Чужая")));

        // After the load: first category selected, its page shown, the
        // progress window gone and articles asked for from now on.
        QCOMPARE(v->Selected(), cats[0]);
        QCOMPARE(v->Info->LocationURL(), text::toQ(BuildNodePage(0, cp("Альфа"), "")));
        QVERIFY(v->Info->browser()->toPlainText().contains(q("Альфа")));
        QVERIFY(!Progress);
        QVERIFY(v->ServesTopics());

        // "+" opens every level, "—" closes them all.
        v->SB1->click();
        for (QTreeWidgetItemIterator it(v->TV); *it; ++it)
            QVERIFY((*it)->childCount() == 0 || (*it)->isExpanded());
        v->SB2->click();
        for (QTreeWidgetItemIterator it(v->TV); *it; ++it)
            QVERIFY(!(*it)->isExpanded());
    }

    void theCounterStepsOncePerSubcategoryOverAllCategories() {
        dbbuild::Catalogue c;
        c.categories = {{1, "a"}, {2, "b"}, {3, "c"}};
        for (int i = 1; i <= 2; ++i)
            c.subcategories.push_back({1, i, "s"});
        for (int i = 1; i <= 5; ++i)
            c.subcategories.push_back({3, i, "s"});
        c.articles = {article(1, 2, "x", ""), article(3, 1, "y", ""), article(3, 5, "z", ""),
                      article(3, 5, "w", "")};
        openData(c);

        QTreeWidget tree;
        QList<int> counts, positions;
        LoadTree(tree, std::vector<QPixmap>(18), [&](int subs, int articles, int total) {
            counts << subs;
            positions << LoadPosition(articles, total);
        });
        QCOMPARE(counts, QList<int>({1, 2, 3, 4, 5, 6, 7}));
        QCOMPARE(positions, QList<int>({0, 25, 50, 50, 50, 50, 100}));
        QCOMPARE(tree.topLevelItemCount(), 3);
        QVERIFY(!DataFrm->IBSQL1.Open());

        TProgress p(Main);
        QCOMPARE(p.Counter(), 0);
        QVERIFY(p.c->text().isEmpty());
        QCOMPARE(p.Label1->text(), q("Загрузка списка советов"));
        QStringList shown;
        for (int i = 0; i < 3; ++i) {
            p.Step(40 * i);
            shown << p.c->text();
        }
        QCOMPARE(shown, QStringList({"(1)", "(2)", "(3)"}));
        QCOMPARE(p.Counter(), 3);
        QCOMPARE(p.pb->value(), 80);
        QCOMPARE(p.size(), QSize(273, 60));

        // Each step is on screen when it returns, since the load handles no
        // events; a counter that does not change is not painted again.
        struct Paints : QObject {
            int n = 0;
            bool eventFilter(QObject*, QEvent* e) override {
                n += e->type() == QEvent::Paint;
                return false;
            }
        } counter, bar;
        p.ShowAndPaint();
        p.c->installEventFilter(&counter);
        p.pb->installEventFilter(&bar);
        for (int i = 0; i < 3; ++i)
            p.Step(80);
        QCOMPARE(counter.n, 3);
        QCOMPARE(bar.n, 0);
    }

    void clicksShowCatalogueAndArticlePagesAndKeysDoNot() {
        TViewFrm* v = openBrowser();
        QTreeWidget* tv = v->TV;
        QTreeWidgetItem* beta = findNode(tv, q("Бета"));
        QTreeWidgetItem* first = findNode(tv, q("Первая"));
        QTreeWidgetItem* b = findNode(tv, q("Б-статья"));

        click(tv, beta);
        QCOMPARE(v->Info->LocationURL(), text::toQ(BuildNodePage(0, cp("Бета"), "")));
        click(tv, first);
        QCOMPARE(v->Info->LocationURL(), text::toQ(BuildNodePage(1, cp("Бета"), cp("Первая"))));
        const QString page = v->Info->browser()->toPlainText();
        QVERIFY(page.contains(q("Бета")) && page.contains(q("Первая")));

        click(tv, b);
        QCOMPARE(v->Info->LocationURL(), TempPageFileName);
        QVERIFY(!QFileInfo::exists(TempPageFileName)); // gone once the page completed
        const QString article = v->Info->browser()->toPlainText();
        QVERIFY(article.contains(q("Текст")) && article.contains(q("b & c")));
        QVERIFY(!DataFrm->IBSQL4.Open());

        // Empty and NULL articles: empty pages.
        for (const char* name : {"А-статья", "В-пустая"}) {
            click(tv, findNode(tv, q(name)));
            QCOMPARE(v->Info->LocationURL(), TempPageFileName);
            QVERIFY(v->Info->browser()->toPlainText().isEmpty());
        }

        // The keyboard moves the selection and leaves the page.
        const QString shown = v->Info->LocationURL();
        tv->setFocus();
        QTest::keyClick(tv, Qt::Key_Up);
        QCOMPARE(tv->currentItem(), findNode(tv, q("Б-статья")));
        QCOMPARE(v->Info->LocationURL(), shown);

        // A right click offers the menu for the node under the mouse and
        // leaves the selection and the page as they were.
        QTreeWidgetItem* sub = findNode(tv, q("Пустая"));
        bool menuShown = false, enabledInMenu = true;
        QTreeWidgetItem* selectedInMenu = nullptr;
        const QPoint at = tv->visualItemRect(sub).center();
        QTest::mouseClick(tv->viewport(), Qt::RightButton, {}, at);
        QTimer inMenu; // dies with this scope, whatever happens
        inMenu.setSingleShot(true);
        connect(&inMenu, &QTimer::timeout, this, [&] {
            QMenu* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            menuShown = menu == v->PMenu;
            selectedInMenu = v->Selected();
            enabledInMenu = v->SaveFile->isEnabled();
            if (menu)
                menu->close();
        });
        inMenu.start(0);
        QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, at, tv->viewport()->mapToGlobal(at));
        QApplication::sendEvent(tv->viewport(), &menuEvent);
        QVERIFY(menuShown);
        QCOMPARE(selectedInMenu, sub);
        QVERIFY(!enabledInMenu);
        QCOMPARE(v->Selected(), findNode(tv, q("Б-статья")));
        QCOMPARE(v->Info->LocationURL(), shown);
        QVERIFY(v->SaveFile->isEnabled()); // the selected node's again
    }

    void savingWritesTheArticlesExactBytesUnderAProposedName() {
        QTemporaryDir out;
        TViewFrm* v = openBrowser();
        QTreeWidget* tv = v->TV;
        SaveAnswer answer;
        answer.folder = out.path();

        // Enabled on articles only.
        click(tv, findNode(tv, q("Первая")));
        QVERIFY(!v->SaveFile->isEnabled());
        click(tv, findNode(tv, q("Б-статья")));
        QVERIFY(v->SaveFile->isEnabled());

        v->SaveFile->trigger();
        QCOMPARE(answer.proposed, q("Б-статья"));
        QCOMPARE(readAll(out.filePath(q("Б-статья.html"))), kBody);
        QVERIFY(!DataFrm->IBSQL4.Open());

        // The name's forbidden characters become "_"; the extension is added
        // only to a name that has none.
        click(tv, findNode(tv, q("Статья: путь/файл?")));
        v->SaveFile->trigger();
        QCOMPARE(answer.proposed, q("Статья_ путь_файл_"));
        QCOMPARE(readAll(out.filePath(q("Статья_ путь_файл_.html"))), std::string("colon"));
        click(tv, findNode(tv, q("two.words")));
        v->SaveFile->trigger();
        QCOMPARE(answer.proposed, q("two.words"));
        QVERIFY(QFileInfo::exists(out.filePath(q("two.words"))));
        QVERIFY(!QFileInfo::exists(out.filePath(q("two.words.html"))));

        // Empty and NULL articles save as empty files.
        for (const char* name : {"А-статья", "В-пустая"}) {
            click(tv, findNode(tv, q(name)));
            answer.name = q(name) + q(".htm");
            v->SaveFile->trigger();
            QVERIFY(QFileInfo::exists(out.filePath(answer.name)));
            QCOMPARE(QFileInfo(out.filePath(answer.name)).size(), 0);
        }

        // A cancelled dialog writes nothing and runs no statement.
        answer.cancel = true;
        answer.name.clear();
        DataFrm->IBSQL4.setSQL("select 1 from rdb$database");
        const qsizetype before = QDir(out.path()).entryList(QDir::Files).size();
        v->SaveFile->trigger();
        QCOMPARE(QDir(out.path()).entryList(QDir::Files).size(), before);
        QCOMPARE(DataFrm->IBSQL4.SQL(), std::string("select 1 from rdb$database"));

        // A file that cannot be written is reported, and the query object is
        // free for the next save.
        answer.cancel = false;
        answer.name = out.path() + q("/no-such-folder/x.html");
        Recorded r;
        v->SaveFile->trigger();
        QCOMPARE(r.boxes.size(), 1);
        QVERIFY(!DataFrm->IBSQL4.Open());
        answer.name = q("again.html");
        v->SaveFile->trigger();
        QVERIFY(QFileInfo::exists(out.filePath(answer.name)));
    }

    void anArticleAskedForIsShownOnceAndAnUnknownOneWaits() {
        TViewFrm* v = openBrowser();
        QTreeWidget* tv = v->TV;
        QTreeWidgetItem* dotted = findNode(tv, q("two.words"));
        QVERIFY(!dotted->parent()->isExpanded());

        AskForTopic(kDotted); // served at once
        QCOMPARE(ShowTopicID, 0);
        QCOMPARE(v->Selected(), dotted);
        QVERIFY(dotted->parent()->isExpanded() && dotted->parent()->parent()->isExpanded());
        QCOMPARE(v->Info->LocationURL(), TempPageFileName);
        QVERIFY(v->Info->browser()->toPlainText().contains(q("dotted")));

        AskForTopic(999);
        QTest::qWait(30);
        QCOMPARE(ShowTopicID, 999);
        QCOMPARE(v->Selected(), dotted);

        // An article stray from the tree is not found either.
        AskForTopic(kStray);
        QTest::qWait(30);
        QCOMPARE(ShowTopicID, int(kStray));

        // Asked for before a browser exists: served once its tree is in.
        v->CloseBtnClick();
        QTRY_VERIFY(!ViewFrm);
        AskForTopic(kB);
        v = openBrowser();
        QTRY_COMPARE(ShowTopicID, 0);
        QCOMPARE(v->Selected(), findNode(v->TV, q("Б-статья")));
    }

    void theWindowLivesUntilClosedOrDeactivatedAndOnlyClosingStoresTheWidth() {
        TViewFrm* v = openBrowser();
        QPointer<QMdiSubWindow> sub = v->subWindow();
        QVERIFY(sub->isMaximized());
        QCOMPARE(v->TV->width(), 150);

        // The browser command brings up the same window.
        Main->AViewExecute();
        QCOMPARE(ViewFrm, v);
        QCOMPARE(Main->MdiArea->subWindowList().size(), 1);

        // The close button keeps its place at every size.
        sub->showNormal();
        for (int w : {595, 420, 900}) {
            sub->resize(w, 428);
            QCOMPARE(v->CloseBtn->geometry().right() + 1, v->Panel->width() - 2);
        }

        // Closed at 300 pixels: the next window has 300.
        v->Splitter->setSizes({300, 400});
        QCOMPARE(v->TV->width(), 300);
        v->CloseBtnClick();
        QVERIFY(!ViewFrm);
        QTRY_VERIFY(!sub);
        QCOMPARE(storedTreeWidth(), 300);

        v = openBrowser();
        sub = v->subWindow();
        QTRY_COMPARE(v->TV->width(), 300);
        // Widened, then another window of the program takes the activation:
        // the browser ends without storing the width.
        v->Splitter->setSizes({320, 400});
        {
            QDialog other(Main);
            other.show();
            QApplication::setActiveWindow(&other);
            QTRY_VERIFY(!ViewFrm);
            QTRY_VERIFY(!sub);
        }
        QCOMPARE(storedTreeWidth(), 300);

        // A new one is built, its tree loaded afresh.
        v = openBrowser();
        QVERIFY(v);
        QCOMPARE(v->TV->topLevelItemCount(), 8);
        QCOMPARE(v->TV->currentItem(), v->TV->topLevelItem(0));

        // A window deactivated while a handler of its own runs lives until
        // that handler is done.
        QPointer<QMdiSubWindow> busySub = v->subWindow();
        QTreeWidget* tv = v->TV;
        click(tv, findNode(tv, q("Б-статья")));
        QVERIFY(v->SaveFile->isEnabled());
        SaveAnswer answer;
        QTemporaryDir out;
        answer.folder = out.path();
        bool aliveInside = false;
        const auto accept = TViewFrm::execSaveDialog;
        TViewFrm::execSaveDialog = [&](QFileDialog& d) {
            QDialog other(Main);
            other.show();
            QApplication::setActiveWindow(&other);
            QTest::qWait(20);
            aliveInside = !ViewFrm && busySub;
            return accept(d);
        };
        v->SaveFile->trigger();
        QVERIFY(aliveInside);
        QVERIFY(QFileInfo::exists(out.filePath(q("Б-статья.html"))));
        QTRY_VERIFY(!busySub);

        // A message box (an error report) is no other window of the program.
        QApplication::setActiveWindow(Main);
        v = openBrowser();
        {
            QMessageBox box(Main);
            box.show();
            QApplication::setActiveWindow(&box);
            QTest::qWait(20);
        }
        QCOMPARE(ViewFrm, v);

        // Ended with the main window: nothing stored either.
        v->Splitter->setSizes({260, 400});
        delete Main;
        Main = nullptr;
        QVERIFY(!ViewFrm);
        QCOMPARE(storedTreeWidth(), 300);

        // A stored width that is no number gives 150.
        settings::Store().WriteString(settings::Section::View, QStringLiteral("TreeWidth"),
                                      QStringLiteral("abc"));
        Main = new TMain();
        Main->show();
        v = openBrowser();
        QTRY_COMPARE(v->TV->width(), 150);
    }

    void aRightPressOnTheInactiveWindowIsDiscarded() {
        TViewFrm* v = openBrowser();
        QTreeWidget* tv = v->TV;
        QTreeWidgetItem* first = tv->topLevelItem(0);
        QTreeWidgetItem* other = tv->topLevelItem(1);
        QApplication::setActiveWindow(nullptr);
        QVERIFY(!v->isActiveWindow());

        const QPoint at = tv->visualItemRect(other).center();
        QTest::mousePress(tv->viewport(), Qt::RightButton, {}, at);
        QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, at, tv->viewport()->mapToGlobal(at));
        QVERIFY(QApplication::sendEvent(tv->viewport(), &menuEvent)); // eaten
        QTest::mouseRelease(tv->viewport(), Qt::RightButton, {}, at);
        QVERIFY(!QApplication::activePopupWidget());
        QCOMPARE(tv->currentItem(), first);
        QVERIFY(!v->isActiveWindow());
        QCOMPARE(ViewFrm, v);

        // Other buttons work as usual.
        click(tv, other);
        QCOMPARE(tv->currentItem(), other);
        QCOMPARE(v->Info->LocationURL(), text::toQ(BuildNodePage(other)));
    }

    void aLoadEndedByADatabaseErrorKeepsWhatItRead() {
        dbbuild::Catalogue c;
        c.categories = {{1, cp("А")}, {2, cp("Б")}};
        c.subcategories = {{1, 1, "-"}, {1, 2, "-"}, {2, 1, "-"}, {2, 2, "-"}, {2, 3, "-"}};
        c.articles = {article(2, 1, "a21", "")};
        openData(c);
        {
            // Reading the name of subcategory 2 of category 2 fails.
            fb::Database db;
            attach(db, file->path());
            execute(
                db,
                {"alter table SUB_CATEGORIES drop SUB_CAT",
                 "alter table SUB_CATEGORIES add SUB_CAT computed by (case when CATNUM + NUM = 4 "
                 "then cast(1 / (CATNUM + NUM - 4) as varchar(20)) else 'S' || NUM end)"});
        }
        Recorded r;
        TViewFrm* v = openBrowser();
        QCOMPARE(r.boxes.size(), 1);
        QCOMPARE(r.boxes[0].caption, Main->windowTitle());
        QVERIFY(v);
        const QList<QTreeWidgetItem*> cats = kids(v->TV->invisibleRootItem());
        QCOMPARE(texts(cats), q("А Б").split(' '));
        QCOMPARE(texts(kids(cats[0])), QStringList({"S1", "S2"}));
        QCOMPARE(texts(kids(cats[1])), QStringList({"S1"}));
        QCOMPARE(texts(kids(cats[1]->child(0))), QStringList({"a21"}));
        QVERIFY(!v->Selected());
        // An article asked for waits for a window whose tree is whole.
        QVERIFY(!v->ServesTopics());
        AskForTopic(NodeArticleID(cats[1]->child(0)->child(0)));
        QVERIFY(ShowTopicID != 0 && !v->Selected());
        AskForTopic(0);
        QVERIFY(!Progress);
        QVERIFY(!DataFrm->IBSQL1.Open() && !DataFrm->IBSQL2.Open());
    }

    void anEmptyCatalogueShowsAPageAndNothingToClick() {
        openData(dbbuild::Catalogue{});
        Recorded r;
        TViewFrm* v = openBrowser();
        QVERIFY(r.boxes.isEmpty());
        QCOMPARE(v->TV->topLevelItemCount(), 0);
        QCOMPARE(v->Info->LocationURL(), text::toQ(EmptyCataloguePage()));
        QVERIFY(!v->Info->browser()->toPlainText().isEmpty());
        QVERIFY(v->ServesTopics());
        v->TVClick();
        v->SaveFileClick();
        QCOMPARE(v->Info->LocationURL(), text::toQ(EmptyCataloguePage()));
        QVERIFY(r.boxes.isEmpty());
    }

    void namesFromTheServerShowOnTheirPagesAsTheTreeShowsThem() {
        const QString catName = q("Шаблоны <T> & обобщения > C++");
        const QString subName = q("Теги <b> и <i> & разметка");
        dbbuild::Catalogue c;
        c.categories = {{1, text::fromQ(catName)}};
        c.subcategories = {{1, 1, text::fromQ(subName)}};
        openData(c);
        TViewFrm* v = openBrowser();
        QTreeWidgetItem* cat = findNode(v->TV, catName);
        QTreeWidgetItem* sub = findNode(v->TV, subName);
        QVERIFY(cat && sub);

        const auto shownLines = [v] {
            QStringList lines;
            for (const QString& line : v->Info->browser()->toPlainText().split(QLatin1Char('\n')))
                if (!line.trimmed().isEmpty())
                    lines << line.trimmed();
            return lines;
        };
        // Nothing in the page is set in a style that no tag of the page asks for.
        const auto noStrayStyle = [v] {
            for (QTextBlock b = v->Info->browser()->document()->begin(); b.isValid(); b = b.next())
                for (auto it = b.begin(); !it.atEnd(); ++it)
                    if (it.fragment().charFormat().fontItalic() ||
                        it.fragment().charFormat().fontUnderline())
                        return false;
            return true;
        };
        click(v->TV, cat);
        QCOMPARE(shownLines(), QStringList{catName});
        QVERIFY(noStrayStyle());
        click(v->TV, sub);
        QCOMPARE(shownLines(), QStringList({catName, subName}));
        QVERIFY(noStrayStyle());
    }

    void linkedPagesAndImagesResolveBesideTheFile() {
        QTemporaryDir dir;
        QFile img(dir.filePath(QStringLiteral("dot.png")));
        QImage pic(3, 2, QImage::Format_RGB32);
        pic.fill(Qt::red);
        QVERIFY(pic.save(&img, "PNG"));
        QFile page(dir.filePath(QStringLiteral("page.htm")));
        QVERIFY(page.open(QIODevice::WriteOnly));
        page.write(cp("<p>Страница</p><img src=\"dot.png\"><a href=\"next.htm\">next</a>").c_str());
        page.close();
        QFile next(dir.filePath(QStringLiteral("next.htm")));
        QVERIFY(next.open(QIODevice::WriteOnly));
        next.write(cp("<p>Следующая</p>").c_str());
        next.close();

        ui::PageView view;
        QSignalSpy complete(&view, &ui::PageView::DocumentComplete);
        view.Navigate(page.fileName());
        QCOMPARE(complete.size(), 1);
        QVERIFY(view.browser()->toPlainText().contains(q("Страница")));
        const QVariant image = view.browser()->document()->resource(
            QTextDocument::ImageResource, QUrl(QStringLiteral("dot.png")));
        QVERIFY(image.isValid());

        emit view.browser()->anchorClicked(QUrl(QStringLiteral("next.htm")));
        QCOMPARE(complete.size(), 2);
        QVERIFY(view.browser()->toPlainText().contains(q("Следующая")));

        QVERIFY_THROWS_EXCEPTION(std::runtime_error,
                                 view.Navigate(dir.filePath(QStringLiteral("gone.htm"))));
        QCOMPARE(complete.size(), 2);
    }

    void articleLinksOpenOnlyWebPagesAndFilesBesideThePage() {
        QStringList launched;
        weblinks::setLauncher([&launched](const QString& program, const QStringList& args) {
            launched << program + QLatin1Char(' ') + args.join(QLatin1Char(' '));
            return true;
        });
        struct Restore {
            ~Restore() { weblinks::setLauncher({}); }
        } restore;

        // The page's folder inside a folder that holds a file it must not reach.
        QTemporaryDir top;
        QVERIFY(QDir(top.path()).mkpath(QStringLiteral("pages/sub")));
        const QString folder = top.filePath(QStringLiteral("pages"));
        const auto write = [](const QString& path, const char* utf8) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(cp(utf8).c_str());
        };
        write(folder + "/page.htm", "<p>Статья</p>");
        write(folder + "/next.htm", "<p>Следующая</p>");
        write(folder + "/sub/deep.htm", "<p>Глубже</p>");
        write(top.filePath(QStringLiteral("secret.htm")), "<p>Секрет</p>");
        QVERIFY(QFile::link(top.filePath(QStringLiteral("secret.htm")), folder + "/alias.htm"));

        ui::PageView view;
        QSignalSpy complete(&view, &ui::PageView::DocumentComplete);
        view.Navigate(folder + "/page.htm");
        const auto follow = [&view](const QString& link) {
            emit view.browser()->anchorClicked(QUrl(link));
        };

        // Nothing but http and https leaves the program, and nothing of
        // these changes the page.
        for (const char* link :
             {"file:///etc/passwd", "smb://server/share/x.htm", "tipsara-custom:run",
              "javascript:alert(1)", "mailto:someone@example.com?attach=/etc/passwd",
              "ftp://example.com/x", "http:/etc/passwd", "../secret.htm",
              "../../../../../../etc/passwd", "alias.htm"})
            follow(QString::fromLatin1(link));
        QCOMPARE(launched, QStringList());
        QCOMPARE(complete.size(), 1);
        QVERIFY(view.browser()->toPlainText().contains(q("Статья")));

        follow(QStringLiteral("http://example.com/a b"));
        follow(QStringLiteral("HTTPS://example.com/x?y=1#z"));
        QCOMPARE(launched, QStringList({QStringLiteral("xdg-open http://example.com/a%20b"),
                                        QStringLiteral("xdg-open https://example.com/x?y=1#z")}));

        // Pages beside it and below it are shown, and from there the ones
        // back up, as long as they stay in the folder.
        follow(QStringLiteral("sub/deep.htm"));
        QVERIFY(view.browser()->toPlainText().contains(q("Глубже")));
        follow(QStringLiteral("../next.htm"));
        QVERIFY(view.browser()->toPlainText().contains(q("Следующая")));
        follow(QUrl::fromLocalFile(folder + "/page.htm").toString());
        QVERIFY(view.browser()->toPlainText().contains(q("Статья")));
        follow(QStringLiteral("../secret.htm"));
        QVERIFY(view.browser()->toPlainText().contains(q("Статья")));
        QCOMPARE(complete.size(), 4);

        // A catalogue page has no folder: no local file is reached from it.
        view.Navigate(QStringLiteral("about:<p>x</p>"));
        follow(QUrl::fromLocalFile(folder + "/next.htm").toString());
        QCOMPARE(view.LocationURL(), QStringLiteral("about:<p>x</p>"));
    }
};

// The stored tree width goes to a settings folder of this run's own.
int main(int argc, char** argv) {
    return testing_support::runWithOwnConfig<BrowserTest>(argc, argv);
}

#include "window_test.moc"
