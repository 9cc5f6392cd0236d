// SPDX-License-Identifier: GPL-3.0-or-later

#include "Views.h"

#include "BareFb.h"
#include "Catalogue.h"
#include "Figures.h"
#include "Process.h"
#include "app/UMain.h"
#include "browser/UView.h"
#include "components/fb/Fb.h"
#include "components/text/QtText.h"
#include "components/widgets/PageView.h"
#include "components/widgets/PaintNow.h"
#include "components/widgets/TreePictures.h"
#include "data/UData.h"
#include "search/USearch.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QLineEdit>
#include <QRadioButton>
#include <QTextBrowser>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace fs = std::filesystem;

namespace bench {

namespace {

// Catches the first completed document of each page view that is shown, so
// that a command can be timed to its page.
class DocumentWatch : public QObject {
public:
    DocumentWatch() { qApp->installEventFilter(this); }
    void arm() { at_ = -1; }
    double at() const { return at_; }

protected:
    bool eventFilter(QObject* o, QEvent* e) override {
        if (e->type() == QEvent::Show)
            if (auto* view = qobject_cast<ui::PageView*>(o);
                view && !view->property("watched").toBool()) {
                view->setProperty("watched", true);
                connect(view, &ui::PageView::DocumentComplete, this, [this] {
                    if (at_ < 0)
                        at_ = nowMs();
                });
            }
        return false;
    }

private:
    double at_ = -1;
};
DocumentWatch* docs = nullptr;

// The browser command to its first catalogue page.
double treeLoadOnce() {
    closeBrowser();
    docs->arm();
    const double t0 = nowMs();
    Main->AView->trigger();
    if (docs->at() < 0 || !ViewFrm)
        throw std::runtime_error("the browser showed no page");
    return docs->at() - t0;
}

double bareTreeLoadOnce(BareFb& fb) {
    return timed([&] { bareTreeLoad(fb); });
}

QTreeWidgetItem* findArticle(const std::string& title) {
    for (QTreeWidgetItemIterator it(ViewFrm->TV); *it; ++it)
        if (NodeLevel(*it) == 2 && NodeName(*it) == title)
            return *it;
    return nullptr;
}

struct SearchCase {
    search::Mode mode;
    const char* label;
    const char* text; // UTF-8
};

const SearchCase kSearches[] = {
    {search::Mode::AllWords, "all words, 1 word", "файл"},
    {search::Mode::AllWords, "all words, 3 words", "вывести файл DBGrid"},
    {search::Mode::AnyWord, "any word, 1 word", "файл"},
    {search::Mode::AnyWord, "any word, 3 words", "вывести файл DBGrid"},
    {search::Mode::ExactText, "exact text, 1 word", "файл"},
    {search::Mode::ExactText, "exact text, 3 words", "Как сохранить файл"},
};

// The search button to the hits on screen.
double searchOnce(TSearchFrm& f, const SearchCase& c) {
    (c.mode == search::Mode::AllWords  ? f.RB1
     : c.mode == search::Mode::AnyWord ? f.RB2
                                       : f.RB3)
        ->setChecked(true);
    f.Search->setText(QString::fromUtf8(c.text));
    pump(5);
    const double search = timed([&] { f.OkBtnClick(); });
    // What the event loop does next: the list's delayed layout, then the
    // painting of what the search changed.
    const double paint = timed([&] {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        ui::paintNow(&f);
    });
    if (getenv("TIPSARA_BENCH_VERBOSE"))
        std::printf("    (search %.1f, painting %.1f)\n", search, paint);
    return search + paint;
}

double bareSearchOnce(BareFb& fb, const SearchCase& c, size_t* hits = nullptr) {
    const std::string textCp = cp(c.text);
    const auto words = search::SplitWords(textCp);
    // The client API takes parameters as question marks, as our layer
    // hands them to it.
    const std::string sql = fb::rewriteMarkers(search::BuildStatement(c.mode, words.size())).text;
    const auto params = search::StatementParams(c.mode, textCp, words);
    return timed([&] {
        const auto rows = fb.select(sql, params);
        if (hits)
            *hits = rows.size();
    });
}

} // namespace

void watchDocuments() {
    docs = new DocumentWatch;
}

void stopWatchingDocuments() {
    delete docs;
    docs = nullptr;
}

void closeBrowser() {
    if (ViewFrm) {
        ViewFrm->CloseBtnClick();
        pump(20);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

void openDatabase(const fs::path& path) {
    closeBrowser();
    delete DataFrm;
    DataFrm = new TDataFrm(path.string());
}

void measureTreeLoad() {
    std::printf("tree load (%d articles)\n", opt.mainSize);
    BareFb fb(localDb(opt.mainSize).string());
    treeLoadOnce();
    bareTreeLoadOnce(fb);
    const auto [ours, base] = interleaved(treeLoadOnce, [&] { return bareTreeLoadOnce(fb); });
    report({"tree load", ours, base, 1.5});

    // The same load into a tree that is not on screen, without the
    // progress window: the statements through our layer and the nodes.
    closeBrowser();
    const std::vector<QPixmap> pictures = treepictures::imageList();
    auto bareLoad = [&] {
        QTreeWidget tree;
        return timed([&] { LoadTree(tree, pictures, nullptr); });
    };
    bareLoad();
    const auto [nodes, base2] = interleaved(bareLoad, [&] { return bareTreeLoadOnce(fb); });
    Figure part{"  of which: statements and nodes, no window", nodes, base2, 0};
    part.note = "the rest is the window, its progress window and 800 paintings";
    report(part);
}

void measureDisplay() {
    std::printf("article display (%zu KiB)\n", kLargeArticleBytes / 1024);
    if (!ViewFrm)
        treeLoadOnce();
    QTreeWidgetItem* node = findArticle(largeArticleTitle());
    if (!node)
        throw std::runtime_error("the large article is not in the tree");
    ViewFrm->TV->setCurrentItem(node);
    pump(50);
    auto once = [] {
        if (!ViewFrm)
            throw std::runtime_error("the browser has closed");
        docs->arm();
        const double t0 = nowMs();
        ViewFrm->TVClick();
        if (docs->at() < 0)
            throw std::runtime_error("the article was not shown");
        const double t = docs->at() - t0;
        pump(20);
        return t;
    };

    // The baseline: the same text handed straight to a browser of the same size.
    DataFrm->IBSQL4.Close();
    DataFrm->IBSQL4.setSQL("select INFORMATION from HINTS where ID=" +
                           std::to_string(NodeArticleID(node)));
    DataFrm->IBSQL4.ExecQuery();
    const QString html = text::toQ(DataFrm->IBSQL4.Fields(0).AsString());
    DataFrm->IBSQL4.Close();
    // Inside the main window: a window of its own would take the activation,
    // which ends the browser as it does for a user.
    QTextBrowser bare(Main);
    bare.setGeometry(QRect(QPoint(0, 0), ViewFrm->Info->size()));
    bare.show();
    pump(50);
    // Like the program's, each setting replaces the page shown before.
    auto bareOnce = [&] {
        const double t = timed([&] { bare.setHtml(html); });
        pump(20);
        return t;
    };
    once();
    bareOnce();
    const auto [ours, base] = interleaved(once, bareOnce);
    report({"article display", ours, base, 1.3});
}

void measureSearch() {
    std::printf("search (%d articles)\n", opt.mainSize);
    closeBrowser();
    BareFb fb(localDb(opt.mainSize).string());
    TSearchFrm f(Main);
    f.show();
    pump(50);
    for (const SearchCase& c : kSearches) {
        size_t hits = 0;
        searchOnce(f, c);
        bareSearchOnce(fb, c, &hits);
        const auto [ours, base] =
            interleaved([&] { return searchOnce(f, c); }, [&] { return bareSearchOnce(fb, c); });
        if (static_cast<size_t>(f.LV->topLevelItemCount()) != hits)
            throw std::runtime_error(std::string("the search listed another number of hits: ") +
                                     c.label);
        Figure fig{std::string("search, ") + c.label, ours, base, 1.2};
        fig.note = std::to_string(hits) + " hits";
        report(fig);
    }
}

void measureGrowth() {
    std::printf("growth with the number of articles\n");
    const SearchCase& c = kSearches[0];
    std::printf("  %9s %12s %12s %14s %12s %12s\n", "articles", "tree ms", "bare ms",
                "tree us/art.", "search ms", "bare ms");
    for (int n : opt.sizes) {
        openDatabase(localDb(n));
        BareFb fb(localDb(n).string());
        treeLoadOnce();
        const auto [tree, treeBase] =
            interleaved(treeLoadOnce, [&] { return bareTreeLoadOnce(fb); });
        closeBrowser();
        TSearchFrm f(Main);
        f.show();
        pump(20);
        searchOnce(f, c);
        const auto [found, foundBase] =
            interleaved([&] { return searchOnce(f, c); }, [&] { return bareSearchOnce(fb, c); });
        std::printf("  %9d %12.1f %12.1f %14.2f %12.1f %12.1f\n", n, tree, treeBase,
                    tree * 1000 / n, found, foundBase);
        std::fflush(stdout);
    }
}

} // namespace bench
