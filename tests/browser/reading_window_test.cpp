// SPDX-License-Identifier: GPL-3.0-or-later
// The browser's reading aids on the shipped catalogue: back and forward with
// the tree following, the zoom kept from one run to the next, finding in a
// page and the colouring and copying of code.

#include "app/UMain.h"
#include "browser/CatalogueTree.h"
#include "browser/CodeColours.h"
#include "browser/FindBar.h"
#include "browser/ReadingAids.h"
#include "browser/UView.h"
#include "components/text/QtText.h"
#include "components/widgets/PageView.h"
#include "data/UData.h"
#include "settings/Store.h"
#include "support/TempDatabase.h"

#include <QAction>
#include <QClipboard>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QRawFont>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest>

#include <fstream>
#include <memory>
#include <sstream>

using testing_support::TempDatabase;

namespace {

QString q(const char* utf8) {
    return QString::fromUtf8(utf8);
}

const char* const kSplit = "Разделение строки на части по разделителю";
const char* const kCsv = "Разбор CSV-строки с учетом кавычек";
const char* const kReplace = "Замена всех вхождений подстроки без учета регистра";

QTreeWidgetItem* findNode(const QTreeWidget* tv, const QString& text) {
    const QList<QTreeWidgetItem*> found =
        tv->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
    return found.isEmpty() ? nullptr : found.first();
}

void click(QTreeWidget* tv, QTreeWidgetItem* node) {
    for (QTreeWidgetItem* p = node->parent(); p; p = p->parent())
        p->setExpanded(true);
    tv->scrollToItem(node);
    // The tree lays its rows out late: the row is where it is drawn only
    // after that.
    QTest::qWait(0);
    tv->scrollToItem(node);
    // Long titles run past the tree's edge: the press goes near their start.
    const QRect row = tv->visualItemRect(node);
    const QPoint at(row.left() + 10, row.center().y());
    QVERIFY(tv->viewport()->rect().contains(at));
    QTest::mouseClick(tv->viewport(), Qt::LeftButton, {}, at);
    QCOMPARE(tv->currentItem(), node);
}

QString shownText(TViewFrm* v) {
    return v->Info->browser()->toPlainText();
}

std::string readAll(const QString& path) {
    std::ifstream in(path.toStdString(), std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

QTextBlock blockWithText(const QTextDocument* doc, const QString& text) {
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next())
        if (b.text() == text)
            return b;
    return {};
}

// What a colour looks like drawn over the page's background.
QColor onBase(const QColor& c, const QColor& base) {
    const double a = c.alphaF();
    return QColor::fromRgbF(float(c.redF() * a + base.redF() * (1 - a)),
                            float(c.greenF() * a + base.greenF() * (1 - a)),
                            float(c.blueF() * a + base.blueF() * (1 - a)));
}

} // namespace

class ReadingTest : public QObject {
    Q_OBJECT
    dbbuild::Catalogue catalogue;
    std::unique_ptr<TempDatabase> file;

    const dbbuild::Article& article(const char* title) const {
        for (const dbbuild::Article& a : catalogue.articles)
            if (text::toQ(a.title) == q(title))
                return a;
        throw std::runtime_error("no such article");
    }
    void startMain() {
        Main = new TMain();
        Main->show();
        QVERIFY(QTest::qWaitForWindowExposed(Main));
        QApplication::setActiveWindow(Main);
        QVERIFY(QTest::qWaitForWindowActive(Main));
    }
    TViewFrm* openBrowser() {
        Main->AViewExecute();
        (void)QTest::qWaitFor([] { return QApplication::activeWindow() == Main; }, 1000);
        QTest::qWait(1);
        return ViewFrm;
    }
    // Runs the page's menu for a press at pos and hands it to inMenu while
    // it is shown.
    void pageMenu(TViewFrm* v, const QPoint& pos, const std::function<void(QMenu*)>& inMenu) {
        QWidget* port = v->Info->browser()->viewport();
        QTimer t;
        t.setSingleShot(true);
        bool shown = false;
        connect(&t, &QTimer::timeout, this, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            shown = menu == v->PMenu;
            if (menu) {
                inMenu(menu);
                menu->close();
            }
        });
        t.start(0);
        QContextMenuEvent e(QContextMenuEvent::Mouse, pos, port->mapToGlobal(pos));
        QApplication::sendEvent(port, &e);
        QVERIFY(shown);
    }

private slots:
    void initTestCase() {
        catalogue = dbbuild::readCatalogue(testing_support::sourceDir() + "/db/catalogue");
    }
    void init() {
        QFile::remove(qEnvironmentVariable("XDG_CONFIG_HOME") + q("/Marvek Systems/Tipsara.conf"));
        ShowTopicID = 0;
        file = std::make_unique<TempDatabase>(&catalogue);
        DataFrm = new TDataFrm(file->path());
        startMain();
    }
    void cleanup() {
        delete Main;
        QVERIFY(!ViewFrm);
        delete DataFrm;
        DataFrm = nullptr;
    }

    void backAndForwardFollowThePagesShownAndSelectTheirNodes() {
        TViewFrm* v = openBrowser();
        QTreeWidget* tv = v->TV;
        ReadingAids* aids = v->Aids;
        QTreeWidgetItem* first = tv->topLevelItem(0);
        QTreeWidgetItem* split = findNode(tv, q(kSplit));
        QTreeWidgetItem* csv = findNode(tv, q(kCsv));
        QTreeWidgetItem* replace = findNode(tv, q(kReplace));
        QVERIFY(split && csv && replace);
        QVERIFY(!aids->BackBtn->isEnabled() && !aids->ForwardBtn->isEnabled());

        click(tv, split);
        click(tv, csv);
        click(tv, csv); // the same page again is no new step
        QVERIFY(shownText(v).contains(q(kCsv)));
        QVERIFY(aids->BackBtn->isEnabled() && !aids->ForwardBtn->isEnabled());

        // Keys, buttons and the mouse's own buttons, each page with its node.
        QTest::keyClick(tv, Qt::Key_Left, Qt::AltModifier);
        QCOMPARE(tv->currentItem(), split);
        QVERIFY(shownText(v).contains(q(kSplit)));
        QVERIFY(aids->ForwardBtn->isEnabled());
        aids->BackBtn->click();
        QCOMPARE(tv->currentItem(), first);
        QCOMPARE(shownText(v).trimmed(), first->text(0));
        QVERIFY(!aids->BackBtn->isEnabled());
        QTest::keyClick(v->Info->browser()->viewport(), Qt::Key_Right, Qt::AltModifier);
        QCOMPARE(tv->currentItem(), split);
        QTest::mousePress(v->Info->browser()->viewport(), Qt::ForwardButton, {}, QPoint(20, 20));
        QTest::mouseRelease(v->Info->browser()->viewport(), Qt::ForwardButton, {}, QPoint(20, 20));
        QCOMPARE(tv->currentItem(), csv);
        QVERIFY(shownText(v).contains(q(kCsv)));
        QVERIFY(!aids->ForwardBtn->isEnabled());

        // A new page from the middle drops the way forward.
        QTest::keyClick(tv, Qt::Key_Left, Qt::AltModifier);
        QCOMPARE(tv->currentItem(), split);
        click(tv, replace);
        QVERIFY(!aids->ForwardBtn->isEnabled());
        QTest::keyClick(tv, Qt::Key_Right, Qt::AltModifier);
        QCOMPARE(tv->currentItem(), replace);
        // The mouse's back button over the tree goes back and selects
        // nothing under the mouse.
        const QPoint overCsv = tv->visualItemRect(csv).center();
        QTest::mousePress(tv->viewport(), Qt::BackButton, {}, overCsv);
        QTest::mouseRelease(tv->viewport(), Qt::BackButton, {}, overCsv);
        QCOMPARE(tv->currentItem(), split);
        QVERIFY(shownText(v).contains(q(kSplit)));

        // An article asked for by the search is a step too.
        AskForTopic(NodeArticleID(csv));
        QCOMPARE(ShowTopicID, 0);
        QCOMPARE(tv->currentItem(), csv);
        QTest::keyClick(tv, Qt::Key_Left, Qt::AltModifier);
        QCOMPARE(tv->currentItem(), split);
        // What lay ahead of it (the third article) has gone.
        QCOMPARE(aids->History().Size(), size_t(3));
        QTest::keyClick(tv, Qt::Key_Right, Qt::AltModifier);
        QCOMPARE(tv->currentItem(), csv);
    }

    void aPageComesBackScrolledWhereItWasLeft() {
        TViewFrm* v = openBrowser();
        QTreeWidget* tv = v->TV;
        click(tv, findNode(tv, q(kSplit)));
        QScrollBar* bar = v->Info->browser()->verticalScrollBar();
        QTRY_VERIFY(bar->maximum() > 100);
        bar->setValue(bar->maximum() / 2);
        const int left = bar->value();
        click(tv, findNode(tv, q(kCsv)));
        QCOMPARE(bar->value(), 0);
        QTest::keyClick(tv, Qt::Key_Left, Qt::AltModifier);
        QTRY_COMPARE(bar->value(), left);
        QTest::keyClick(tv, Qt::Key_Right, Qt::AltModifier);
        QTRY_COMPARE(bar->value(), 0);
    }

    void theZoomScalesEveryPageAndIsKeptForTheNextRun() {
        TViewFrm* v = openBrowser();
        QTextBrowser* b = v->Info->browser();
        QCOMPARE(v->Info->Zoom(), 100);
        const qreal normal = b->font().pointSizeF();
        QVERIFY(normal > 0);

        QTest::keyClick(v->TV, Qt::Key_Equal, Qt::ControlModifier);
        QCOMPARE(v->Info->Zoom(), 110);
        // A wheel's notch with Ctrl is one step, whatever the editor would
        // do by itself; half a notch waits for the other half.
        auto wheel = [b](int delta) {
            QWheelEvent e(QPointF(30, 30), b->viewport()->mapToGlobal(QPointF(30, 30)), QPoint(),
                          QPoint(0, delta), Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase,
                          false);
            QApplication::sendEvent(b->viewport(), &e);
        };
        wheel(120);
        QCOMPARE(v->Info->Zoom(), 125);
        wheel(60);
        QCOMPARE(v->Info->Zoom(), 125);
        wheel(60);
        QCOMPARE(v->Info->Zoom(), 150);
        wheel(-240);
        QCOMPARE(v->Info->Zoom(), 110);
        QCOMPARE(b->font().pointSizeF(), normal * 1.1);
        click(v->TV, findNode(v->TV, q(kSplit)));
        QCOMPARE(b->font().pointSizeF(), normal * 1.1);

        // The next run, with no closing of the browser in between.
        delete Main;
        QVERIFY(!ViewFrm);
        startMain();
        v = openBrowser();
        b = v->Info->browser();
        QCOMPARE(v->Info->Zoom(), 110);
        QCOMPARE(b->font().pointSizeF(), normal * 1.1);
        QTest::keyClick(v->TV, Qt::Key_Minus, Qt::ControlModifier);
        QTest::keyClick(v->TV, Qt::Key_Minus, Qt::ControlModifier);
        QCOMPARE(v->Info->Zoom(), 90);
        QTest::keyClick(v->TV, Qt::Key_0, Qt::ControlModifier);
        QCOMPARE(v->Info->Zoom(), 100);
        QCOMPARE(b->font().pointSizeF(), normal);
        {
            settings::Store s;
            QCOMPARE(s.ReadString(settings::Section::View, q("Zoom"), QString()), q("100"));
            // A level that is no step of ours is taken as the normal size.
            s.WriteString(settings::Section::View, q("Zoom"), q("133"));
        }
        v->CloseBtnClick();
        QTRY_VERIFY(!ViewFrm);
        v = openBrowser();
        QCOMPARE(v->Info->Zoom(), 100);
    }

    void findCountsEveryOccurrenceInAnyCaseAndGoesRound() {
        TViewFrm* v = openBrowser();
        QTreeWidget* tv = v->TV;
        FindBar* find = v->Aids->Find;
        click(tv, findNode(tv, q(kSplit)));
        QVERIFY(!find->isVisible());

        QTest::keyClick(tv, Qt::Key_F3);
        QVERIFY(find->isVisible());
        QVERIFY(find->Text->hasFocus());
        // As typed: "ив" first, then the rest of the name.
        const QString page = shownText(v).toLower();
        find->Text->insert(q("ИВ"));
        QCOMPARE(int(find->Hits().size()), int(page.count(q("ив"))));
        find->Text->insert(q("АНОВ"));
        QCOMPARE(find->Hits().size(), size_t(2));
        QCOMPARE(find->Count->text(), q("1 из 2"));
        auto current = [v, find] {
            const reading::Hit h = find->Hits()[size_t(find->Current())];
            QTextCursor c(v->Info->browser()->document());
            c.setPosition(h.start);
            c.setPosition(h.start + h.length, QTextCursor::KeepAnchor);
            return c.selectedText();
        };
        QCOMPARE(current(), q("Иванов"));

        QTest::keyClick(find->Text, Qt::Key_F3);
        QCOMPARE(find->Count->text(), q("2 из 2"));
        QCOMPARE(current(), q("Иванов"));
        QTest::keyClick(find->Text, Qt::Key_F3);
        QCOMPARE(find->Count->text(), q("1 из 2"));
        QTest::keyClick(find->Text, Qt::Key_F3, Qt::ShiftModifier);
        QCOMPARE(find->Count->text(), q("2 из 2"));
        QTest::keyClick(find->Text, Qt::Key_Return);
        QCOMPARE(find->Count->text(), q("1 из 2"));

        // Another text is looked for from where the last one was found.
        const int was = find->Hits()[size_t(find->Current())].start;
        find->Text->setText(q("СТРОК"));
        const int strok = int(page.count(q("строк")));
        QVERIFY(strok >= 3);
        QCOMPARE(int(find->Hits().size()), strok);
        int expected = 0;
        while (find->Hits()[size_t(expected)].start < was)
            ++expected;
        QVERIFY(expected > 0);
        QCOMPARE(find->Current(), expected);
        QCOMPARE(find->Count->text(), QString(q("%1 из %2")).arg(expected + 1).arg(strok));

        // Every occurrence is marked, beside the words a search marked.
        v->Info->Highlight({q("Delimiter")});
        const int words = int(v->Info->Highlights().size());
        QVERIFY(words > 0);
        find->Text->setText(q("строка"));
        const int hits = int(find->Hits().size());
        QCOMPARE(int(v->Info->FindMarks().size()), hits);
        QCOMPARE(int(v->Info->Highlights().size()), words);
        QCOMPARE(int(v->Info->browser()->extraSelections().size()), words + hits);
        for (const QTextEdit::ExtraSelection& m : v->Info->FindMarks())
            QCOMPARE(m.cursor.selectedText().toLower(), q("строка"));

        find->Text->setText(q("нет такого текста"));
        QCOMPARE(find->Count->text(), q("Не найдено"));
        find->Text->setText(q("строк"));

        // Another page is looked through while the bar is open.
        click(tv, findNode(tv, q(kCsv)));
        QVERIFY(find->isVisible());
        const int onCsv = int(shownText(v).toLower().count(q("строк")));
        QVERIFY(onCsv > 0);
        QCOMPARE(int(find->Hits().size()), onCsv);
        QCOMPARE(find->Current(), 0);

        // Esc closes the bar and takes its marks, and only its marks.
        v->Info->Highlight({q("CSV")});
        QTest::keyClick(find->Text, Qt::Key_Escape);
        QVERIFY(!find->isVisible());
        QVERIFY(v->Info->FindMarks().isEmpty());
        QVERIFY(!v->Info->Highlights().isEmpty());
        QTest::keyClick(tv, Qt::Key_Escape);
        QVERIFY(ViewFrm == v && !find->isVisible());
        // F3 again brings the text back, found anew.
        QTest::keyClick(tv, Qt::Key_F3);
        QCOMPARE(find->Text->text(), q("строк"));
        QVERIFY(find->Text->selectedText() == find->Text->text());
        QCOMPARE(int(find->Hits().size()), onCsv);
        QCOMPARE(int(v->Info->FindMarks().size()), onCsv);
    }

    void codeIsColouredWhileThePagesTextTheCopyAndTheFileStayTheArticles() {
        TViewFrm* v = openBrowser();
        QTreeWidget* tv = v->TV;
        click(tv, findNode(tv, q(kSplit)));
        QTextBrowser* b = v->Info->browser();
        QTextDocument* doc = b->document();
        const std::string& body = article(kSplit).body;

        // The text is the article's, as an uncoloured view gives it.
        QTextDocument plain;
        plain.setHtml(ui::decodeHtmlPage(QByteArray::fromStdString(body)));
        QCOMPARE(doc->toPlainText(), plain.toPlainText());

        // Keywords and strings in the code have their colours, prose none.
        const CodeColours* colours = v->Aids->Colours;
        const QTextBlock begin = blockWithText(doc, q("begin"));
        QVERIFY(begin.isValid() && IsCodeLine(begin));
        QCOMPARE(begin.layout()->formats().size(), 1);
        QCOMPARE(begin.layout()->formats().first().format.foreground(),
                 colours->FormatOf(int(reading::Token::Keyword)).foreground());
        const QTextBlock empty = blockWithText(doc, q("        Rest := '';"));
        QVERIFY(!empty.layout()->formats().isEmpty());
        QCOMPARE(empty.layout()->formats().first().format.foreground(),
                 colours->FormatOf(int(reading::Token::String)).foreground());
        const QTextBlock prose = blockWithText(doc, q("Пример использования:"));
        QVERIFY(prose.isValid() && !IsCodeLine(prose));
        QVERIFY(prose.layout()->formats().isEmpty());
        // Code is set in a font whose characters are all of one width, prose
        // not, whether or not fontconfig calls the font fixed-pitch (it does
        // not call Noto Sans Mono so).
        for (const QTextBlock& b : {begin, prose}) {
            QTextCursor first(b);
            first.movePosition(QTextCursor::NextCharacter);
            const QRawFont font =
                QRawFont::fromFont(first.charFormat().font().resolve(doc->defaultFont()));
            const QList<QPointF> advances =
                font.advancesForGlyphIndexes(font.glyphIndexesForString(q("iW0")));
            QCOMPARE(advances.size(), 3);
            const bool even = advances[0] == advances[1] && advances[1] == advances[2];
            QVERIFY2(even == (b == begin), qPrintable(font.familyName()));
        }

        // "Копировать код" copies the whole block under the mouse, exactly.
        const QString source = QString::fromUtf8(readAll(QString::fromStdString(
            testing_support::sourceDir() + "/db/catalogue/articles/strings_split.html")));
        const qsizetype from = source.indexOf(q("<pre>\n")) + 6;
        QString expected = source.mid(from, source.indexOf(q("</pre>"), from) - from);
        expected.chop(1); // the line break before </pre>
        expected.replace(q("&gt;"), q(">"));
        const QTextBlock inside = blockWithText(doc, q("    Rest := S;"));
        const QPoint at = b->cursorRect(QTextCursor(inside)).center();
        QApplication::clipboard()->clear();
        pageMenu(v, at, [v](QMenu*) {
            QVERIFY(v->Aids->CopyCode->isVisible());
            v->Aids->CopyCode->trigger();
        });
        QCOMPARE(QApplication::clipboard()->text(), expected);
        QVERIFY(!v->Aids->CopyCode->isVisible());
        // Over the prose the menu has no such item.
        const QPoint overProse = b->cursorRect(QTextCursor(prose)).center();
        pageMenu(v, overProse, [v](QMenu*) { QVERIFY(!v->Aids->CopyCode->isVisible()); });

        // The file saved is the article's bytes.
        QTemporaryDir out;
        TViewFrm::execSaveDialog = [&out](QFileDialog& d) {
            d.setDirectory(out.path());
            d.selectFile(q("saved.html"));
            static_cast<QDialog&>(d).accept();
            return d.result();
        };
        v->SaveFile->trigger();
        TViewFrm::execSaveDialog = [](QFileDialog& d) { return d.exec(); };
        QCOMPARE(readAll(out.filePath(q("saved.html"))), body);

        // On a dark page the colours turn light, and every one stands out
        // from the background on either.
        for (const QColor base : {QColor(Qt::white), QColor(0x1E, 0x1E, 0x1E)}) {
            QPalette p = b->palette();
            p.setColor(QPalette::Base, base);
            p.setColor(QPalette::Text,
                       base.lightness() < 128 ? QColor(0xDD, 0xDD, 0xDD) : QColor(Qt::black));
            p.setColor(QPalette::Link, base.lightness() < 128 ? QColor(0x6C, 0xB6, 0xFF)
                                                              : QColor(0x00, 0x00, 0xFF));
            b->setPalette(p);
            for (auto kind :
                 {reading::Token::Keyword, reading::Token::String, reading::Token::Comment,
                  reading::Token::Number, reading::Token::Directive}) {
                const QColor c = onBase(colours->FormatOf(int(kind)).foreground().color(), base);
                QVERIFY2(std::abs(c.lightness() - base.lightness()) >= 80,
                         qPrintable(QString::number(int(kind))));
            }
            QCOMPARE(begin.layout()->formats().first().format.foreground(),
                     colours->FormatOf(int(reading::Token::Keyword)).foreground());
            QCOMPARE(doc->toPlainText(), plain.toPlainText());
        }
    }
};

QTEST_MAIN(ReadingTest)
#include "reading_window_test.moc"
