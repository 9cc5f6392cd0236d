// SPDX-License-Identifier: GPL-3.0-or-later
// The search in the articles' texts as the user meets it: the box in the
// search window, the index beside a real database, the add window and the
// browser that highlights the matched words.

#include "app/UMain.h"
#include "authoring/UAdd.h"
#include "browser/UView.h"
#include "components/text/Cp1251.h"
#include "components/text/Strings.h"
#include "components/widgets/PageView.h"
#include "data/ArticlesChanged.h"
#include "data/UData.h"
#include "search/FragmentDelegate.h"
#include "search/TextSearch.h"
#include "search/UIndexProgress.h"
#include "search/USearch.h"
#include "settings/Store.h"
#include "support/ModalWindows.h"
#include "support/OwnConfigMain.h"
#include "support/RecordedMessages.h"
#include "support/TempDatabase.h"

#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QTreeWidget>
#include <QtTest>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>

using testing_support::Recorded;
using testing_support::TempDatabase;
namespace fs = std::filesystem;

namespace {

using testing_support::q;
using text::cp;

// Article identifiers follow the order of insertion, from 1.
enum : int { kBubble = 1, kArrays, kRead, kStray, kLong };

std::string filler(int paragraphs) {
    std::string out;
    for (int i = 0; i < paragraphs; ++i)
        out += "<p>Lorem ipsum dolor sit amet.</p>";
    return out;
}

dbbuild::Catalogue catalogue() {
    dbbuild::Catalogue c;
    c.categories = {{1, cp("Алгоритмы")}, {2, cp("Файлы")}};
    c.subcategories = {{1, 1, cp("Сортировка")}, {2, 1, cp("Чтение")}};
    const struct {
        int cat, sub;
        const char* title;
        std::string body;
    } rows[] = {
        {1, 1, "Сортировка пузырьком",
         "<p>Соседние элементы массива меняются местами. Пузырьком всплывает наибольший.</p>"},
        // Sorts before the first by name, but is less relevant to both words.
        // Markup as the article's text, not as its markup, at its end.
        {1, 1, "Азбука массивов",
         "<p>Массив хранит элементы подряд.</p><p>Тег &lt;b&gt;жирный&lt;/b&gt;   и "
         "&lt;script&gt;alert(1)&lt;/script&gt;.</p>"},
        {2, 1, "Чтение блоками", "<p>Функция BlockRead читает блок.</p><p>Ещё раз: blockread.</p>"},
        // Its subcategory belongs to another category: outside the catalogue.
        {2, 2, "Потерянная", "<p>Уникальноеслово потерялось.</p>"},
        {2, 1, "Длинная статья", filler(300) + "<p>Внизу спрятано Сокровище и сокровище.</p>"},
    };
    for (const auto& r : rows)
        c.articles.push_back({"", r.cat, r.sub, std::nullopt, cp(r.title), cp(r.body.c_str())});
    return c;
}

std::string indexFolder(const TempDatabase& db) {
    return db.dir().file("DB/Tipsara.idx");
}

// The hits of a search as "ID", in list order.
QStringList ids(TSearchFrm& f, QRadioButton* mode, const char* text) {
    mode->click();
    f.Search->setText(q(text));
    f.OkBtn->click();
    QStringList out;
    for (int i = 0; i < f.LV->topLevelItemCount(); ++i)
        out << f.LV->topLevelItem(i)->text(TSearchFrm::IdColumn);
    return out;
}
QStringList list(std::initializer_list<int> n) {
    QStringList out;
    for (int i : n)
        out << QString::number(i);
    return out;
}

void setInText(TSearchFrm& f, bool on) {
    if (f.InTextCB->isChecked() != on)
        f.InTextCB->click();
}

using testing_support::choose;
using testing_support::showMainWindow;
using testing_support::stuckModal;
using testing_support::whenShown;

// Every file of the folder overwritten with garbage, and one more added.
void spoil(const std::string& folder) {
    for (const auto& e : fs::directory_iterator(folder))
        std::ofstream(e.path(), std::ios::binary | std::ios::trunc) << "not an index at all";
    std::ofstream(fs::path(folder) / "postlist.glass", std::ios::binary) << "\x01\x02garbage";
}

} // namespace

class TextSearchWindowTest : public QObject {
    Q_OBJECT
    std::unique_ptr<TempDatabase> file;

    void open(const TempDatabase& db) { DataFrm = new TDataFrm(db.path()); }

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia)); }

    void init() {
        ShowTopicID = 0;
        ShowTopicWords.clear();
        stuckModal = false;
        settings::SaveSearchInText(false);
        const dbbuild::Catalogue c = catalogue();
        file = std::make_unique<TempDatabase>(&c);
        open(*file);
        showMainWindow();
    }
    void cleanup() {
        QVERIFY(!stuckModal);
        delete Main;
        delete DataFrm;
        DataFrm = nullptr;
    }

    // Off at first; the mouse, the Space key, a screen reader's toggle and
    // the program each show or hide the column and store the choice.
    void everyWayOfChangingTheBoxShowsTheColumnAndIsKept() {
        const auto stored = [] {
            return QSettings(QSettings::NativeFormat, QSettings::UserScope,
                             QStringLiteral("Marvek Systems"), QStringLiteral("Tipsara"))
                .value(QStringLiteral("View/SearchInText"))
                .toString();
        };
        const std::function<void(QCheckBox*)> ways[] = {
            [](QCheckBox* b) { b->click(); },
            [](QCheckBox* b) {
                b->setFocus();
                QTest::keyClick(b, Qt::Key_Space);
            },
            [](QCheckBox* b) {
                QAccessible::queryAccessibleInterface(b)->actionInterface()->doAction(
                    QAccessibleActionInterface::toggleAction());
            },
            [](QCheckBox* b) { b->toggle(); },
        };
        bool on = false;
        for (const auto& change : ways) {
            TSearchFrm f(Main);
            f.show();
            QVERIFY(QTest::qWaitForWindowActive(&f));
            QCOMPARE(f.InTextCB->isChecked(), on);
            QCOMPARE(f.LV->isColumnHidden(TSearchFrm::FragmentColumn), !on);
            change(f.InTextCB);
            on = !on;
            QCOMPARE(f.InTextCB->isChecked(), on);
            QCOMPARE(f.LV->isColumnHidden(TSearchFrm::FragmentColumn), !on);
            QCOMPARE(f.LV->headerItem()->text(TSearchFrm::FragmentColumn), q("Фрагмент"));
            QCOMPARE(stored(), on ? QStringLiteral("1") : QStringLiteral("0"));
        }
        TSearchFrm f(Main);
        QCOMPARE(f.InTextCB->isChecked(), on);
    }

    void withTheBoxOffTheTitleSearchAnswersAsBeforeAndLeavesTheIndexAlone() {
        Recorded r;
        TSearchFrm fresh(Main);
        const QStringList before = ids(fresh, fresh.RB2, "сортировка массивов статья");
        QCOMPARE(before, list({kArrays, kBubble, kLong}));

        TSearchFrm f(Main);
        f.show();
        setInText(f, true);
        QVERIFY(!ids(f, f.RB1, "блок").isEmpty());
        setInText(f, false);
        QVERIFY(f.LV->topLevelItemCount() == 0); // the other search's hits are gone
        QCOMPARE(ids(f, f.RB2, "сортировка массивов статья"), before);
        // A body word is no title word.
        QCOMPARE(ids(f, f.RB1, "blockread"), QStringList());
        QVERIFY(f.LV->isColumnHidden(TSearchFrm::FragmentColumn));
        for (int c = 0; c < 3; ++c)
            QCOMPARE(f.LV->columnWidth(c), fresh.LV->columnWidth(c));
        QTRY_VERIFY(!f.LV->horizontalScrollBar()->isVisible());
        QVERIFY(r.boxes.isEmpty());

        // A run that never searches the texts never makes an index.
        delete DataFrm;
        fs::remove_all(indexFolder(*file));
        open(*file);
        TSearchFrm g(Main);
        QCOMPARE(ids(g, g.RB1, "сортировка"), list({kBubble}));
        QVERIFY(!fs::exists(indexFolder(*file)));
    }

    void eachModeSearchesTheTextsAndListsByRelevanceWithAFragment() {
        Recorded r;
        TSearchFrm f(Main);
        setInText(f, true);
        // Every word, in any form; articles outside the catalogue never.
        QStringList both = ids(f, f.RB1, "элемент");
        both.sort();
        QCOMPARE(both, list({kBubble, kArrays}));
        QCOMPARE(ids(f, f.RB1, "элементы хранит"), list({kArrays}));
        QCOMPARE(ids(f, f.RB1, "уникальноеслово"), QStringList());
        // Any word, the article with both first although its name sorts later.
        QCOMPARE(ids(f, f.RB2, "пузырьком массив"), list({kBubble, kArrays}));
        const QTreeWidgetItem* top = f.LV->topLevelItem(0);
        QCOMPARE(top->text(0), q("Сортировка пузырьком"));
        QCOMPARE(top->text(1), q("Алгоритмы"));
        QCOMPARE(top->text(2), q("Сортировка"));
        QVERIFY(
            f.LV->topLevelItem(1)->text(TSearchFrm::FragmentColumn).contains(q("Массив хранит")));
        // The exact phrase: adjacent, in order.
        QCOMPARE(ids(f, f.RB3, "меняются местами"), list({kBubble}));
        QCOMPARE(ids(f, f.RB3, "местами меняются"), QStringList());
        // The chosen hit opens as before; its words are those of that article.
        ids(f, f.RB1, "blockread");
        f.LV->setCurrentItem(f.LV->topLevelItem(0));
        QCOMPARE(f.ChosenArticle(), std::optional<int>(kRead));
        QCOMPARE(f.ChosenWords(), std::vector<std::string>({"blockread"}));
        QVERIFY(r.boxes.isEmpty());
    }

    void textsWithoutWordsOrWithOddSyntaxGetNoErrorBox() {
        Recorded r;
        TSearchFrm f(Main);
        setInText(f, true);
        ids(f, f.RB1, "пузырьком");
        // Blanks: the title search's answer, an empty list.
        for (QRadioButton* mode : {f.RB1, f.RB2})
            QCOMPARE(ids(f, mode, "   "), QStringList());
        // The exact text with a blank: the titles holding one, as the title
        // search lists them.
        TSearchFrm title(Main);
        QCOMPARE(ids(f, f.RB3, " "), ids(title, title.RB3, " "));
        for (const char* odd : {"AND OR (", "\"блок", "NEAR/3 *", "пузырьком -", "((("})
            for (QRadioButton* mode : {f.RB1, f.RB2, f.RB3})
                ids(f, mode, odd);
        QCOMPARE(ids(f, f.RB2, "OR пузырьком AND ("), list({kBubble}));
        QVERIFY2(r.boxes.isEmpty(), r.boxes.isEmpty() ? "" : qPrintable(r.boxes[0].text));
    }

    void atMostFiveHundredHits() {
        fb::Query& w = DataFrm->UpdQ;
        for (int i = 0; i < 520; ++i) {
            w.Close();
            w.setSQL("INSERT into HINTS (NAME,CAT,SUBCAT,INFORMATION) values (:N, 1, 1, :I)");
            w.Params(0).setAsString("n" + std::to_string(i));
            w.Params(1).setAsString("<p>common</p>");
            w.ExecQuery();
        }
        w.Close();
        DataFrm->FBTransUpd.Commit();
        DataFrm->FBTransUpd.StartTransaction();
        TSearchFrm f(Main);
        setInText(f, true);
        QCOMPARE(ids(f, f.RB1, "common").size(), 500);
    }

    void anArticleAddedInTheAddWindowIsFoundByItsTextWithoutARestart() {
        Recorded r;
        const auto add = [](const char* name, const char* body) {
            TAddFrm* a = AddFrm;
            a->show();
            choose(a->CB1, 1); // Файлы
            choose(a->CB2, 0); // Чтение
            a->Name->setText(q(name));
            QTRY_VERIFY(a->Memo->isEnabled());
            a->Memo->setPlainText(q(body));
            a->OkBtn->click();
            a->close();
        };
        // Before the first full-text search: the index's opening catches up.
        add("Первая своя", "<p>Слово зябликов в тексте.</p>");
        TSearchFrm f(Main);
        setInText(f, true);
        QCOMPARE(ids(f, f.RB1, "зяблик"), list({6}));
        // With the index open: indexed at the add's commit.
        add("Вторая своя", "<p>Тут живут снегири.</p>");
        QCOMPARE(ids(f, f.RB1, "снегирь"), list({7}));
        QCOMPARE(f.LV->topLevelItem(0)->text(1), q("Файлы"));
        QVERIFY(r.boxes.isEmpty());
    }

    void onlyCommittedArticlesAreSearchable() {
        TSearchFrm f(Main);
        setInText(f, true);
        QCOMPARE(ids(f, f.RB1, "кукушка"), QStringList());
        fb::Query& w = DataFrm->UpdQ;
        w.Close();
        w.setSQL("INSERT into HINTS (NAME,CAT,SUBCAT,INFORMATION) values ('x', 1, 1, :I)");
        w.Params(0).setAsString(cp("<p>кукушка</p>"));
        w.ExecQuery();
        w.Close();
        data::ArticlesChanged::notify( // a commit elsewhere, say
            {&DataFrm->FBDB, data::ArticlesChange::Kind::Added, {}});
        QCOMPARE(ids(f, f.RB1, "кукушка"), QStringList());
        DataFrm->FBTransUpd.Commit();
        DataFrm->FBTransUpd.StartTransaction();
        data::ArticlesChanged::notify({&DataFrm->FBDB, data::ArticlesChange::Kind::Added, {}});
        QCOMPARE(ids(f, f.RB1, "кукушка"), list({6}));
    }

    void aReplacedDatabaseOrASpoiltIndexIsBuiltAnew() {
        Recorded r;
        {
            TSearchFrm f(Main);
            setInText(f, true);
            QCOMPARE(ids(f, f.RB1, "пузырьком"), list({kBubble}));
        }
        QVERIFY(fs::is_directory(indexFolder(*file)));

        // Another database in the same place: its articles, not the old ones.
        delete DataFrm;
        DataFrm = nullptr;
        dbbuild::Catalogue other;
        other.categories = {{1, cp("Другое")}};
        other.subcategories = {{1, 1, cp("Разное")}};
        other.articles = {{"", 1, 1, std::nullopt, cp("Иная"), cp("<p>Воробьи на крыше.</p>")}};
        {
            TempDatabase replacement(&other);
            fs::copy_file(replacement.path(), file->path(), fs::copy_options::overwrite_existing);
        }
        open(*file);
        {
            TSearchFrm f(Main);
            QVERIFY(f.InTextCB->isChecked());
            QCOMPARE(ids(f, f.RB1, "пузырьком"), QStringList());
            QCOMPARE(ids(f, f.RB1, "воробей"), list({1}));
        }

        // Garbage in the index folder: built again, quietly.
        delete DataFrm;
        DataFrm = nullptr;
        spoil(indexFolder(*file));
        open(*file);
        TSearchFrm f(Main);
        QCOMPARE(ids(f, f.RB1, "воробей"), list({1}));
        QVERIFY2(r.boxes.isEmpty(), r.boxes.isEmpty() ? "" : qPrintable(r.boxes[0].text));
    }

    void aBuildShowsItsProgressAndCanBeCancelled() {
        Recorded r;
        TSearchFrm f(Main);
        f.show();
        setInText(f, true);
        int shown = 0;
        QString count;
        QTimer press;
        press.setInterval(0);
        connect(&press, &QTimer::timeout, [&] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* p = qobject_cast<TIndexProgress*>(w);
                    p && p->isVisible() && p->CancelBtn->isEnabled()) {
                    ++shown;
                    count = p->Count->text();
                    p->CancelBtn->click();
                }
        });
        press.start();
        QCOMPARE(ids(f, f.RB1, "пузырьком"), QStringList());
        press.stop();
        QCOMPARE(shown, 1);
        QCOMPARE(count, q("0 из 5"));
        QVERIFY(!search::TextIndexFor(DataFrm->FBDB).isOpen());
        QVERIFY(!fs::exists(indexFolder(*file)));
        // The next search builds it to the end.
        QCOMPARE(ids(f, f.RB1, "пузырьком"), list({kBubble}));
        QVERIFY(r.boxes.isEmpty());
        for (QWidget* w : QApplication::topLevelWidgets())
            QVERIFY(!qobject_cast<TIndexProgress*>(w));
    }

    void theChosenArticleOpensWithItsMatchedWordsHighlighted() {
        settings::SaveSearchInText(true);
        const auto open = [](const char* text) {
            whenShown([text] {
                ids(*SearchFrm, SearchFrm->RB1, text);
                SearchFrm->LV->setCurrentItem(SearchFrm->LV->topLevelItem(0));
                // As a user would: once the window's timer has seen the row.
                QVERIFY(QTest::qWaitFor([] { return SearchFrm->ShowBtn->isEnabled(); }));
                SearchFrm->ShowBtn->click();
            });
            Main->ASearch->trigger();
            QTRY_COMPARE(ShowTopicID, 0);
        };
        open("сокровища");
        QVERIFY(ViewFrm && NodeArticleID(ViewFrm->Selected()) == kLong);
        const QList<QTextEdit::ExtraSelection> marks = ViewFrm->Info->Highlights();
        QCOMPARE(marks.size(), 2);
        for (const auto& m : marks)
            QCOMPARE(m.cursor.selectedText().toLower(), q("сокровище"));
        // The first one, far down the page, is in view.
        QTextBrowser* b = ViewFrm->Info->browser();
        QVERIFY(b->verticalScrollBar()->value() > 0);
        QVERIFY(b->viewport()->rect().contains(b->cursorRect(marks[0].cursor).center()));
        QVERIFY(ShowTopicWords.empty());

        // Another page takes the marks away.
        ViewFrm->TV->setCurrentItem(ViewFrm->TV->topLevelItem(0));
        ViewFrm->TVClick();
        QVERIFY(ViewFrm->Info->Highlights().isEmpty());
        ViewFrm->CloseBtnClick();
        QTRY_VERIFY(!ViewFrm);

        // A title search's hit opens without marks.
        settings::SaveSearchInText(false);
        open("чтение");
        QVERIFY(ViewFrm && NodeArticleID(ViewFrm->Selected()) == kRead);
        // NOLINTNEXTLINE(clang-analyzer-core.NullDereference): QVERIFY has returned if it is null
        QVERIFY(ViewFrm->Info->Highlights().isEmpty());
        ViewFrm->CloseBtnClick();
        QTRY_VERIFY(!ViewFrm);
    }

    void fragmentsShowTheMatchedWordsInBoldAndTheArticlesMarkupAsText() {
        Recorded r;
        TSearchFrm f(Main);
        f.show();
        setInText(f, true);
        QCOMPARE(ids(f, f.RB2, "жирные теги"), list({kArrays}));
        QCOMPARE(f.Found->text(), q("Найдено: 1"));
        const QTreeWidgetItem* row = f.LV->topLevelItem(0);
        const QString shown = q("…элементы подряд. Тег <b>жирный</b> и <script>alert(1)</script>.");
        QCOMPARE(row->text(TSearchFrm::FragmentColumn), shown);
        // The tool-tip, which Qt reads as markup when it looks like some,
        // shows the text as it is.
        QTextDocument tip;
        tip.setHtml(row->data(TSearchFrm::FragmentColumn, Qt::ToolTipRole).toString());
        QCOMPARE(tip.toPlainText(), shown);
        const QList<int> marks =
            row->data(TSearchFrm::FragmentColumn, FragmentDelegate::MarksRole).value<QList<int>>();
        QStringList bold;
        for (const QTextLayout::FormatRange& range :
             FragmentDelegate::boldRanges(shown.size(), marks))
            bold << shown.mid(range.start, range.length);
        QCOMPARE(bold, (QStringList{q("Тег"), q("жирный")}));
        // Marks that do not fit the text are left out, not drawn astray.
        QCOMPARE(FragmentDelegate::boldRanges(10, {0, 3, 2, 5, 6, 6, 8, 11, 4}).size(), 1);
        QVERIFY(!f.LV->viewport()->grab().isNull());
        // A title search lists no fragment; the count follows every search.
        setInText(f, false);
        QCOMPARE(f.Found->text(), QString());
        QCOMPARE(ids(f, f.RB2, "сортировка чтение"), list({kBubble, kRead}));
        QCOMPARE(f.Found->text(), q("Найдено: 2"));
        QVERIFY(r.boxes.isEmpty());
    }

    void theResizedWindowIsKeptAcrossARestartAndTheListTakesTheRoom() {
        QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Marvek Systems"),
                  QStringLiteral("Tipsara"))
            .remove(QStringLiteral("View/SearchWidth"));
        {
            TSearchFrm f(Main);
            QCOMPARE(f.size(), TSearchFrm::DefaultSize);
            f.show();
            QVERIFY(QTest::qWaitForWindowExposed(&f));
            f.resize(900, 700);
            QTRY_COMPARE(f.LV->height(), 700 - 153 - 38);
            QCOMPARE(f.LV->width(), 900);
            QCOMPARE(f.ShowBtn->geometry().right(), 900 - 8 - 1);
            QCOMPARE(f.OkBtn->geometry().right(), 900 - 10 - 1);
            QVERIFY(f.LV->columnWidth(0) > 350);
            f.reject();
        }
        TSearchFrm again(Main);
        QCOMPARE(again.size(), QSize(900, 700));
        again.show();
        QVERIFY(QTest::qWaitForWindowExposed(&again));
        QCOMPARE(again.LV->height(), 700 - 153 - 38);
        again.accept();
        settings::SaveSearchSize(100, 100);
        QCOMPARE(TSearchFrm(Main).size(), TSearchFrm::LeastSize);
    }

    void enterOnARowOpensItAsADoubleClickDoes() {
        TSearchFrm f(Main);
        f.show();
        QVERIFY(QTest::qWaitForWindowActive(&f));
        QCOMPARE(ids(f, f.RB1, "чтение"), list({kRead}));
        f.LV->setFocus();
        f.LV->setCurrentItem(f.LV->topLevelItem(0));
        QTest::keyClick(f.LV, Qt::Key_Return);
        QCOMPARE(f.result(), int(QDialog::Accepted));
        QCOMPARE(f.ChosenArticle(), std::optional<int>(kRead));
    }

    void aLookUpFromOutsideSearchesAtOnceOrOpensTheArticle() {
        settings::SaveSearchInText(true);
        whenShown([] {
            // Searched at once, in the texts as the user has it.
            QTRY_COMPARE(SearchFrm->LV->topLevelItemCount(), 1);
            QCOMPARE(SearchFrm->Search->text(), q("blockread"));
            QVERIFY(SearchFrm->InTextCB->isChecked());
            // A second look-up while the window is open takes it over.
            Main->LookUp(lookup::Search{cp("пузырьком")});
            QCOMPARE(SearchFrm->Search->text(), q("пузырьком"));
            QCOMPARE(SearchFrm->LV->topLevelItem(0)->text(TSearchFrm::IdColumn),
                     QString::number(kBubble));
            // Brought forward: active before the user picks a row.
            QTRY_VERIFY(QApplication::activeWindow() == SearchFrm);
            SearchFrm->LV->setCurrentItem(SearchFrm->LV->topLevelItem(0));
            QVERIFY(QTest::qWaitFor([] { return SearchFrm->ShowBtn->isEnabled(); }));
            SearchFrm->ShowBtn->click();
        });
        Main->LookUp(lookup::Search{"blockread"});
        QTRY_VERIFY(ViewFrm && NodeArticleID(ViewFrm->Selected()) == kBubble);

        Main->LookUp(lookup::Article{kRead});
        QTRY_VERIFY(NodeArticleID(ViewFrm->Selected()) == kRead);
        QVERIFY(Main->SB->currentMessage().isEmpty());
        Main->LookUp(lookup::Article{999});
        QTRY_COMPARE(Main->SB->currentMessage(), q("Статьи № 999 в базе нет."));
        QCOMPARE(NodeArticleID(ViewFrm->Selected()), kRead);
        ViewFrm->CloseBtnClick();
        QTRY_VERIFY(!ViewFrm);
    }

    void thePageViewMarksWholeWordsInAnyCase() {
        ui::PageView view;
        view.resize(300, 200);
        view.show();
        view.Navigate(q("about:<p>Ёлка, ЁЛКА и ёлки; подъёлка.</p><p>tStringList TSTRINGLIST</p>"));
        view.Highlight({q("ёлка"), q("tstringlist"), QString()});
        QStringList marked;
        for (const auto& m : view.Highlights())
            marked << m.cursor.selectedText();
        QCOMPARE(marked, QStringList({q("Ёлка"), q("ЁЛКА"), q("tStringList"), q("TSTRINGLIST")}));
        view.Highlight({q("нет")});
        QVERIFY(view.Highlights().isEmpty());
    }
};

int main(int argc, char** argv) {
    return testing_support::runWithOwnConfig<TextSearchWindowTest>(argc, argv);
}

#include "text_window_test.moc"
