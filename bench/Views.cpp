// SPDX-License-Identifier: GPL-3.0-or-later

#include "Views.h"

#include "BareFb.h"
#include "Catalogue.h"
#include "Figures.h"
#include "Paints.h"
#include "Process.h"
#include "app/UMain.h"
#include "browser/UView.h"
#include "components/fb/Fb.h"
#include "components/text/Collation.h"
#include "components/text/QtText.h"
#include "components/widgets/PageView.h"
#include "components/widgets/PaintNow.h"
#include "components/widgets/TreePictures.h"
#include "data/UData.h"
#include "search/USearch.h"

#include <QAction>
#include <QApplication>
#include <QCollatorSortKey>
#include <QEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QTextBrowser>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QVBoxLayout>

#include <array>
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

// The fair baseline's progress window: the program's size, a heading, a bar
// and a counter, shown without taking the activation.
class BareProgress : public QWidget {
public:
    BareProgress(QWidget* owner, QSize size)
        : QWidget(owner, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus) {
        setObjectName(QStringLiteral("BareProgress"));
        setAttribute(Qt::WA_ShowWithoutActivating);
        setFixedSize(size);
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(new QLabel(QString::fromUtf8("Загрузка списка советов"), this));
        bar_ = new QProgressBar(this);
        bar_->setTextVisible(false);
        layout->addWidget(bar_);
        counter_ = new QLabel(this);
        layout->addWidget(counter_);
    }
    // The counter and the bar moved and painted at once, as the program
    // paints its own: a bar that shows a change repaints itself (and the
    // counter with it) at once; otherwise the counter is painted by
    // handling the window's pending update request now.
    void step(int n, int of) {
        counter_->setText(QStringLiteral("(%1)").arg(n));
        bar_->setValue(of > 0 ? 100 * n / of : 0);
        QCoreApplication::sendPostedEvents(this, QEvent::UpdateRequest);
    }
    // The counter painted once more, unchanged.
    void paintAgain() {
        counter_->update();
        QCoreApplication::sendPostedEvents(this, QEvent::UpdateRequest);
    }

private:
    QProgressBar* bar_;
    QLabel* counter_;
};

// The bare statements of the tree load with a bare progress window painted
// after each subcategory, and extra times more at the end.
double fairTreeLoadOnce(BareFb& fb, int subcategories, int extra) {
    closeBrowser();
    return timed([&] {
        BareProgress progress(Main, QSize(273, 60));
        progress.show();
        ui::waitExposed(&progress, 1000);
        int n = 0;
        bareTreeLoad(fb, [&] { progress.step(++n, subcategories); });
        for (int i = 0; i < extra; ++i)
            progress.paintAgain();
    });
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

// A row of the bare list: the hit's texts, ordered by category, title and
// subcategory with a collation key made once for each.
class BareHit : public QTreeWidgetItem {
public:
    BareHit(const QStringList& texts, const QCollator& collator)
        : QTreeWidgetItem(texts), keys_{collator.sortKey(texts[1]), collator.sortKey(texts[0]),
                                        collator.sortKey(texts[2])} {}
    bool operator<(const QTreeWidgetItem& other) const override {
        const auto& o = static_cast<const BareHit&>(other);
        for (size_t k = 0; k < keys_.size(); ++k)
            if (const int c = keys_[k].compare(o.keys_[k]); c != 0)
                return c < 0;
        return false;
    }

private:
    std::array<QCollatorSortKey, 3> keys_;
};

// The fair baseline of the search: the bare statement, its rows put into a
// bare sorted list of the program's size with the list's collation, and the
// window painted. The list is that of a window the size of the search window.
class BareSearch {
public:
    explicit BareSearch(const TSearchFrm& f) : collator_(text::listCollator()) {
        window_.setObjectName(QStringLiteral("BareSearch"));
        window_.setFixedSize(f.size());
        list_ = new QTreeWidget(&window_);
        list_->setGeometry(f.LV->geometry());
        list_->setHeaderLabels({QString::fromUtf8("Название статьи"),
                                QString::fromUtf8("Категория"), QString::fromUtf8("Подкатегория"),
                                QStringLiteral("ID")});
        for (int c = 0; c < 3; ++c)
            list_->setColumnWidth(c, f.LV->columnWidth(c));
        list_->setColumnHidden(3, true);
        list_->setRootIsDecorated(false);
        list_->setUniformRowHeights(true);
        list_->setSortingEnabled(true);
        list_->sortByColumn(0, Qt::AscendingOrder);
        window_.move(f.pos() + QPoint(40, 40));
        window_.show();
        ui::waitExposed(&window_, 1000);
        pump(20);
    }
    QTreeWidget& list() { return *list_; }

    double once(BareFb& fb, const SearchCase& c) {
        const std::string textCp = cp(c.text);
        const auto words = search::SplitWords(textCp);
        const std::string sql =
            fb::rewriteMarkers(search::BuildStatement(c.mode, words.size())).text;
        const auto params = search::StatementParams(c.mode, textCp, words);
        return timed([&] {
            const auto rows = fb.select(sql, params);
            QList<QTreeWidgetItem*> items;
            items.reserve(static_cast<qsizetype>(rows.size()));
            for (const auto& r : rows)
                items.append(new BareHit(
                    {text::toQ(r[1]), text::toQ(r[2]), text::toQ(r[3]), text::toQ(r[0])},
                    collator_));
            list_->clear();
            list_->addTopLevelItems(items);
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
            ui::paintNow(&window_);
        });
    }

private:
    QCollator collator_;
    QWidget window_;
    QTreeWidget* list_ = nullptr;
};

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

    // The fair baseline: the bare statements and as many paintings of a bare
    // progress window as ours makes, counted here.
    int paintings = 0, barePaintings = 0, extra = 0;
    {
        PaintLog log;
        treeLoadOnce();
        paintings = log.passesOf(QStringLiteral("Progress"));
        log.clear();
        fairTreeLoadOnce(fb, kCategories * kSubcategoriesPerCategory, 0);
        extra = std::max(0, paintings - log.passesOf(QStringLiteral("BareProgress")));
        log.clear();
        fairTreeLoadOnce(fb, kCategories * kSubcategoriesPerCategory, extra);
        barePaintings = log.passesOf(QStringLiteral("BareProgress"));
    }
    PaintLog log;
    const auto [ours2, fair] = interleaved(
        [&] {
            log.clear();
            const double t = treeLoadOnce();
            if (getenv("TIPSARA_BENCH_VERBOSE"))
                std::printf("    (ours %.1f ms, %d paintings of the progress window)\n", t,
                            log.passesOf(QStringLiteral("Progress")));
            return t;
        },
        [&] { return fairTreeLoadOnce(fb, kCategories * kSubcategoriesPerCategory, extra); });
    Figure fairFig{"tree load, fair baseline", ours2, fair, 1.2};
    fairFig.note = "bare statements + a bare progress window painted " +
                   std::to_string(barePaintings) + " times (ours " + std::to_string(paintings) +
                   ")";
    report(fairFig);

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

    // The fair baselines: the same rows in a bare sorted list, painted.
    BareSearch bare(f);
    f.raise();
    f.activateWindow();
    pump(20);
    for (const SearchCase& c : kSearches) {
        searchOnce(f, c);
        bare.once(fb, c);
        const auto [ours, base] =
            interleaved([&] { return searchOnce(f, c); }, [&] { return bare.once(fb, c); });
        const int rows = f.LV->topLevelItemCount();
        if (bare.list().topLevelItemCount() != rows)
            throw std::runtime_error(std::string("the bare list has another number of rows: ") +
                                     c.label);
        // The same order: the first and the last row show the same article.
        if (rows > 0 &&
            (bare.list().topLevelItem(0)->text(3) != f.LV->topLevelItem(0)->text(3) ||
             bare.list().topLevelItem(rows - 1)->text(3) != f.LV->topLevelItem(rows - 1)->text(3)))
            throw std::runtime_error(std::string("the bare list has another order: ") + c.label);
        Figure fig{std::string("search, fair baseline, ") + c.label, ours, base, 1.2};
        fig.note = std::to_string(rows) + " rows";
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
