// tipsara-bench: the whole program on a large catalogue, each figure beside
// a baseline measured in the same run on the same data. See README.md.

#include "BareFb.h"
#include "Catalogue.h"
#include "FullText.h"
#include "Process.h"

#include "app/Dialogs.h"
#include "app/UMain.h"
#include "settings/UPrefs.h"
#include "components/widgets/TreePictures.h"
#include "browser/UView.h"
#include "components/fb/Fb.h"
#include "components/text/Cp1251.h"
#include "components/text/QtText.h"
#include "components/widgets/ErrorReport.h"
#include "components/widgets/PageView.h"
#include "components/widgets/PaintNow.h"
#include "data/DbBuild.h"
#include "data/UData.h"
#include "search/USearch.h"
#include "update/UPro.h"
#include "update/UUpd.h"

#include <QLineEdit>
#include <QRadioButton>
#include <QTextBrowser>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <stdexcept>

#include <csignal>
#include <cstring>

#include <unistd.h>

namespace fs = std::filesystem;
using namespace bench;

namespace {

// ---------------------------------------------------------------- settings

struct Options {
    fs::path work = TIPSARA_BENCH_WORK;
    fs::path bin = TIPSARA_BIN_DIR;
    int reps = 5;
    std::vector<int> sizes = {1000, 8000, 32000, 128000};
    int mainSize = 32000;
};
Options opt;

// Files of the generated data carry this, so that a change of the generator
// makes them anew instead of reusing old ones.
const char* const kDataVersion = "v1";

fs::path localDb(int articles) {
    return opt.work / ("local-" + std::to_string(articles) + "-" + kDataVersion + ".gdb");
}
fs::path masterDb() {
    return opt.work / (std::string("master-") + kDataVersion + ".gdb");
}

std::string cp(const char* utf8) {
    return text::utf8ToCp1251(utf8, true);
}

// ---------------------------------------------------------------- figures

double median(std::vector<double> v) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

struct Figure {
    Figure(std::string name, double ours, double base, double target, std::string unit = "ms")
        : name(std::move(name)), ours(ours), base(base), target(target), unit(std::move(unit)) {}
    std::string name;
    double ours;
    double base; // 0: no baseline
    double target;
    std::string unit;
    std::string note;
};
std::vector<Figure> figures;

// A figure with target 0 is a part of another, shown to explain it.
std::string targetText(const Figure& f) {
    if (f.target <= 0)
        return "";
    char text[64];
    if (f.base > 0)
        std::snprintf(text, sizeof text, "<= %.1f", f.target);
    else
        std::snprintf(text, sizeof text, "<= %.0f %s", f.target, f.unit.c_str());
    return text;
}

std::string verdict(const Figure& f) {
    if (f.target <= 0)
        return "";
    const bool ok = f.base > 0 ? f.ours / f.base <= f.target : f.ours <= f.target;
    return ok ? "ok" : "MISSED";
}

void report(const Figure& f) {
    figures.push_back(f);
    std::printf("  %-44s %9.1f %s", f.name.c_str(), f.ours, f.unit.c_str());
    if (f.base > 0)
        std::printf("   baseline %9.1f %s   ratio %5.2f", f.base, f.unit.c_str(), f.ours / f.base);
    if (f.target > 0)
        std::printf("   (target %s: %s)", targetText(f).c_str(), verdict(f).c_str());
    if (!f.note.empty())
        std::printf("   %s", f.note.c_str());
    std::printf("\n");
    std::fflush(stdout);
}

// Runs ours and the baseline in turn, reps times each, so that a machine
// that slows down or speeds up in the meantime affects both alike. Returns
// the two medians.
std::pair<double, double> interleaved(const std::function<double()>& ours,
                                      const std::function<double()>& base) {
    std::vector<double> a, b;
    for (int i = 0; i < opt.reps; ++i) {
        a.push_back(ours());
        b.push_back(base());
    }
    if (getenv("TIPSARA_BENCH_VERBOSE")) {
        std::sort(a.begin(), a.end());
        std::sort(b.begin(), b.end());
        std::printf("    ours:");
        for (double x : a)
            std::printf(" %.1f", x);
        std::printf("\n    base:");
        for (double x : b)
            std::printf(" %.1f", x);
        std::printf("\n");
    }
    return {median(a), median(b)};
}

double timed(const std::function<void()>& fn) {
    const double t0 = nowMs();
    fn();
    return nowMs() - t0;
}

void pump(int ms) {
    const double end = nowMs() + ms;
    do
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    while (nowMs() < end);
}

// ---------------------------------------------------------------- start-up

fs::path prepareAppDir() {
    const fs::path app = opt.work / "app";
    fs::create_directories(app / "DB");
    fs::copy_file(opt.bin / "tipsara", app / "tipsara", fs::copy_options::overwrite_existing);
    fs::copy_file(localDb(opt.mainSize), app / "DB" / "Tipsara.gdb",
                  fs::copy_options::overwrite_existing);
    return app;
}

// Start of the process to its window on screen, as the window reports it.
double startOnce(const fs::path& program) {
    const long long t0 = monotonicNs();
    int code = 0;
    const std::string line = firstLine({program.string()}, {"TIPSARA_REPORT_SHOWN=1"}, &code);
    long long shown = 0;
    if (std::sscanf(line.c_str(), "shown %lld", &shown) != 1 || code != 0)
        throw std::runtime_error(program.string() + " did not report its window (exit " +
                                 std::to_string(code) + ", '" + line + "')");
    return static_cast<double>(shown - t0) / 1e6;
}

void measureStartup() {
    std::printf("start-up\n");
    const fs::path app = prepareAppDir() / "tipsara";
    const fs::path bare = opt.bin / "tipsara-bench-bare-window";
    startOnce(app); // the first start warms the file cache for both
    startOnce(bare);
    const auto [ours, base] =
        interleaved([&] { return startOnce(app); }, [&] { return startOnce(bare); });
    report({"start-up to main window", ours, base, 2.0});

    // What the engine alone takes to open the database, in a fresh process
    // as at start-up: a part the bare window does not have.
    std::vector<double> attach;
    for (int i = 0; i < opt.reps; ++i) {
        int code = 0;
        const std::string line = firstLine({(opt.bin / "tipsara-bench").string(), "--attach-child",
                                            (app.parent_path() / "DB" / "Tipsara.gdb").string()},
                                           {}, &code);
        double t = 0;
        if (std::sscanf(line.c_str(), "attach %lf", &t) == 1)
            attach.push_back(t);
    }
    Figure part{"  of which: database attach (bare client)", median(attach), 0, 0};
    part.note = "part of the start-up, for comparison";
    report(part);
}

// ---------------------------------------------------------------- memory

long statusKb(const char* key) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(key, 0) == 0)
            return std::stol(line.substr(std::strlen(key)));
    return -1;
}

// The program's windows and data module as it makes them, the browser
// opened on db; prints the peak resident memory with the tree and before it.
int memoryChild(int argc, char** argv, const std::string& db) {
    ui::Application app(argc, argv);
    Main = new TMain();
    DataFrm = new TDataFrm(db);
    MakeLongLivedDialogs();
    Main->show();
    pump(100);
    const long before = statusKb("VmHWM:");
    Main->AView->trigger();
    pump(300);
    std::printf("memory %ld %ld\n", statusKb("VmHWM:"), before);
    std::fflush(stdout);
    delete Main;
    Main = nullptr;
    delete DataFrm;
    DataFrm = nullptr;
    return 0;
}

void measureMemory(int articles) {
    int code = 0;
    const std::string line = firstLine(
        {(opt.bin / "tipsara-bench").string(), "--memory-child", localDb(articles).string()}, {},
        &code);
    long hwm = 0, before = 0;
    if (std::sscanf(line.c_str(), "memory %ld %ld", &hwm, &before) != 2)
        throw std::runtime_error("the memory child said '" + line + "'");
    Figure f{"peak memory, tree of " + std::to_string(articles), hwm / 1024.0, 0, 150, "MiB"};
    f.note = "before the browser " + std::to_string(before / 1024) + " MiB";
    report(f);
}

// ---------------------------------------------------------------- the program in this process

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

QTreeWidgetItem* findArticle(const std::string& title) {
    for (QTreeWidgetItemIterator it(ViewFrm->TV); *it; ++it)
        if (NodeLevel(*it) == 2 && NodeName(*it) == title)
            return *it;
    return nullptr;
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

// ---------------------------------------------------------------- search

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

// ---------------------------------------------------------------- full text

// The index built from scratch, queries of one to three words in each mode
// beside bare Xapian on the same index, one added article, and the index's
// size beside the text's.
void measureFullText() {
    struct Case {
        fulltext::Mode mode;
        const char* label;
        const char* text;
    };
    static const Case kCases[] = {
        {fulltext::Mode::AllWords, "all words, 1 word", "файл"},
        {fulltext::Mode::AllWords, "all words, 2 words", "сохранить файл"},
        {fulltext::Mode::AllWords, "all words, 3 words", "сохранить файл DBGrid"},
        {fulltext::Mode::AnyWord, "any word, 1 word", "файл"},
        {fulltext::Mode::AnyWord, "any word, 2 words", "сохранить файл"},
        {fulltext::Mode::AnyWord, "any word, 3 words", "сохранить файл DBGrid"},
        {fulltext::Mode::Phrase, "phrase, 1 word", "файл"},
        {fulltext::Mode::Phrase, "phrase, 2 words", "сохранить файл"},
        {fulltext::Mode::Phrase, "phrase, 3 words", "как сохранить файл"},
    };
    std::vector<int> sizes = {opt.mainSize};
    for (int n : opt.sizes)
        if (n > opt.mainSize)
            sizes.push_back(n);
    for (int n : sizes) {
        std::printf("full text (%d articles)\n", n);
        const std::string folder = (opt.work / ("fulltext-" + std::to_string(n) + ".idx")).string();
        fb::Database db;
        db.DBName = localDb(n).string();
        db.DBParams = {"lc_ctype=WIN1251", "user_name=sysdba", "password=vaultsong"};
        db.SQLDialect = 1;
        db.Open();
        fb::Transaction tr(db);
        tr.TRParams = {"read", "read_committed", "rec_version", "nowait"};
        tr.StartTransaction();
        fb::Query q(db, tr);

        const double build = timed([&] { fulltext::Index::build(folder, db); });
        Figure rate{"full-text build", n * 1000.0 / build, 0, 0, "art./s"};
        rate.note = std::string("target >= 3000 art./s: ") + (n * 1000.0 / build >= 3000 ? "ok" : "MISSED");
        report(rate);
        fulltext::Index index(folder);
        if (!index.open(db))
            throw std::runtime_error("the full-text index just built does not open");
        q.setSQL("select sum(octet_length(INFORMATION) + octet_length(NAME)) from HINTS");
        q.ExecQuery();
        const double textMb = q.Fields(0).AsInteger() / 1048576.0;
        q.Close();
        Figure size{"full-text index size", folderBytes(folder) / 1048576.0, textMb, 0, "MiB"};
        size.note = "baseline: the titles and HTML texts";
        report(size);

        BareXapian bare(folder);
        const double bound = n > 32000 ? 60 : 30;
        for (const Case& c : kCases) {
            size_t rows = 0, hits = 0;
            fullTextSearchMs(index, q, c.text, c.mode, &rows);
            bare.searchMs(c.text, c.mode, &hits);
            const auto [ours, base] = interleaved([&] { return fullTextSearchMs(index, q, c.text, c.mode); },
                                                  [&] { return bare.searchMs(c.text, c.mode); });
            Figure fig{std::string("full text, ") + c.label, ours, base, 1.3};
            fig.note = std::to_string(rows) + " rows of " + std::to_string(hits) + " hits; <= " +
                       std::to_string(static_cast<int>(bound)) + " ms: " + (ours <= bound ? "ok" : "MISSED");
            report(fig);
        }

        // One article added and committed, then indexed; taken out again so
        // that the catalogue stays as generated.
        fb::Transaction wt(db);
        wt.TRParams = {"write", "nowait", "rec_version", "read_committed"};
        fb::Query w(db, wt);
        std::vector<double> adds;
        for (int i = 0; i < opt.reps; ++i) {
            wt.StartTransaction();
            w.setSQL("INSERT INTO hints (cat, subcat, name, information) values (1, 1, :name, :content)");
            w.Params(0).setAsString(articleTitle(i));
            w.Params(1).setAsString(articleBody(i, 4096));
            w.ExecQuery();
            wt.Commit();
            adds.push_back(timed([&] {
                if (index.addNew(db) != 1)
                    throw std::runtime_error("the added article was not indexed");
            }));
        }
        wt.StartTransaction();
        w.setSQL("delete from hints where id > (select max(id) from hints) - " + std::to_string(opt.reps));
        w.ExecQuery();
        wt.Commit();
        index.catchUp(db);
        report(Figure{"full-text addition of one article", median(adds), 0, 10});
        index.close();
        q.Close();
        tr.Commit();
        db.Close();
    }
}

// ---------------------------------------------------------------- update run

class UpdateServer {
public:
    UpdateServer() {
        log_ = opt.work / "server.log";
        fs::remove(log_);
        child_ = spawn(
            {(opt.bin / "tipsara-server").string(), "--listen", "127.0.0.1:0", masterDb().string()},
            {}, true, log_.string());
        const std::string line = readLine(child_.out);
        const size_t at = line.find("127.0.0.1:");
        if (at == std::string::npos)
            throw std::runtime_error("the update server did not start: " + line);
        port_ = std::stoi(line.substr(at + 10));
    }
    ~UpdateServer() {
        kill(child_.pid, SIGTERM);
        wait(child_.pid);
        close(child_.out);
    }
    std::string root() const { return "127.0.0.1:" + std::to_string(port_); }
    // The targets asked for since the last call, from the server's log.
    std::vector<std::string> newTargets() {
        std::ifstream in(log_);
        in.seekg(static_cast<std::streamoff>(read_));
        std::vector<std::string> targets;
        std::string line;
        while (std::getline(in, line)) {
            read_ += line.size() + 1;
            const size_t arrow = line.find(" -> ");
            if (line.rfind("GET ", 0) == 0 && arrow != std::string::npos)
                targets.push_back(line.substr(4, arrow - 4));
        }
        return targets;
    }

private:
    fs::path log_;
    Spawned child_;
    int port_ = 0;
    size_t read_ = 0;
};

// Reacts to the list of new articles being shown.
class ListWatch : public QObject {
public:
    std::function<void()> onShown;
    double shownAt = -1;

protected:
    bool eventFilter(QObject* o, QEvent* e) override {
        if (o == UpdFrm && e->type() == QEvent::Show) {
            shownAt = nowMs();
            QTimer::singleShot(0, UpdFrm, [this] { onShown(); });
        }
        return false;
    }
};

// The statements of one synchronisation against the master, prepared one
// by one as the run prepares them: the name updates, the server-id list,
// and the names of each new article's place.
void bareSyncStatements(BareFb& fb) {
    for (int c = 1; c <= kCategories; ++c)
        fb.execute("UPDATE CATEGORIES SET CATEGORY_NAME=CATEGORY_NAME where NUM=?", {c});
    for (int c = 1; c <= kCategories; ++c)
        for (int s = 1; s <= kSubcategoriesPerCategory; ++s)
            fb.execute("UPDATE SUB_CATEGORIES SET SUB_CAT=SUB_CAT where CATNUM=? and NUM=?",
                       {c, s});
    fb.select("select SERV_ID from HINTS where SERV_ID is NOT NULL");
    for (int k = 0; k < kNewOnServer; ++k) {
        int cat = 0, sub = 0;
        placeOf(kFirstNewArticle + k, cat, sub);
        fb.select("select A.CATEGORY_NAME, B.SUB_CAT from CATEGORIES A, SUB_CATEGORIES B "
                  "where A.NUM=B.CATNUM AND A.NUM=" +
                  std::to_string(cat) + " AND B.NUM=" + std::to_string(sub));
    }
}

double curlAll(const std::vector<std::string>& urls, const std::vector<std::string>& outputs) {
    const fs::path config = opt.work / "curl.cfg";
    {
        std::ofstream out(config);
        for (size_t i = 0; i < urls.size(); ++i)
            out << "url = \"" << urls[i] << "\"\noutput = \"" << outputs[i] << "\"\n";
    }
    return timed([&] { run({"/usr/bin/curl", "-s", "-K", config.string()}); });
}

void measureUpdate(bool withImport) {
    std::printf("update run (%d articles local, master of %d categories)\n", opt.mainSize,
                kCategories);
    const fs::path db = opt.work / "update.gdb";
    fs::copy_file(localDb(opt.mainSize), db, fs::copy_options::overwrite_existing);
    openDatabase(db);
    UpdateServer server;
    PrefsFrm->root->setText(QString::fromStdString(server.root()));
    const fs::path temp = opt.work / "temp";
    fs::create_directories(temp);

    ListWatch watch;
    UpdFrm->installEventFilter(&watch);

    // The synchronisation: the command to the list of new articles.
    watch.onShown = [] { UpdFrm->close(); };
    auto syncOnce = [&] {
        watch.shownAt = -1;
        const double t0 = nowMs();
        Main->AUpdate->trigger();
        if (watch.shownAt < 0)
            throw std::runtime_error("the update run showed no list");
        return watch.shownAt - t0;
    };
    syncOnce();
    const std::vector<std::string> targets = server.newTargets();
    std::vector<std::string> urls, nulls;
    for (const std::string& t : targets) {
        urls.push_back("http://" + server.root() + t);
        nulls.push_back("/dev/null");
    }
    curlAll(urls, nulls);
    const auto [ours, base] = interleaved(syncOnce, [&] { return curlAll(urls, nulls); });
    Figure sync{"update run, synchronisation", ours, base, 1.5};
    sync.note = std::to_string(targets.size()) + " requests";
    report(sync);
    server.newTargets();

    // Its parts: the run without the main window's transfer progress (two
    // paintings a request), and its statements alone through the bare client.
    const auto progress = Main->InternetHTTPRequest->OnProgress;
    Main->InternetHTTPRequest->OnProgress = nullptr;
    const double quiet = median({syncOnce(), syncOnce(), syncOnce()});
    Main->InternetHTTPRequest->OnProgress = progress;
    server.newTargets();
    Figure partQuiet{"  of which: without the transfer progress", quiet, base, 0};
    report(partQuiet);
    BareFb bare(db.string());
    auto statements = [&] {
        const double t = timed([&] { bareSyncStatements(bare); });
        bare.rollback();
        return t;
    };
    statements();
    Figure partDb{"  of which: its statements, bare client",
                  median({statements(), statements(), statements()}), 0, 0};
    partDb.note = "816 updates and 501 selects, each prepared";
    report(partDb);
    if (!withImport) {
        UpdFrm->removeEventFilter(&watch);
        return;
    }

    // The import: "Загрузить" to the end of the run.
    double loadAt = -1;
    watch.onShown = [&] {
        for (int i = 0; i < UpdFrm->Count(); ++i)
            UpdFrm->setChecked(i, true);
        // "Загрузить" is enabled by the window's timer once it sees a mark.
        while (!UpdFrm->LoadBtn->isEnabled())
            pump(1);
        loadAt = nowMs();
        UpdFrm->LoadBtn->click();
    };
    auto removeImported = [] {
        fb::Query& q = DataFrm->UpdQ;
        q.Close();
        q.setSQL("delete from HINTS where SERV_ID >= " + std::to_string(kFirstNewServerId));
        q.ExecQuery();
        const int removed = q.RowsAffected();
        q.Close();
        DataFrm->FBTransUpd.Commit();
        DataFrm->FBTransUpd.StartTransaction();
        return removed;
    };
    auto importOnce = [&] {
        loadAt = -1;
        Main->AUpdate->trigger();
        const double t = nowMs() - loadAt;
        if (loadAt < 0)
            throw std::runtime_error("the import did not start");
        const int imported = removeImported();
        if (imported != kNewOnServer)
            throw std::runtime_error("the import stored " + std::to_string(imported) + " articles");
        return t;
    };
    importOnce();
    std::vector<std::string> zips, files;
    for (const std::string& t : server.newTargets())
        if (t.find("/files/") != std::string::npos) {
            zips.push_back("http://" + server.root() + t);
            const std::string name = t.substr(t.rfind('/') + 1);
            files.push_back((temp / name).string());
        }
    auto bareImport = [&] {
        return curlAll(zips, files) + timed([&] {
                   for (const std::string& f : files) {
                       run({"/usr/bin/unzip", "-o", "-q", f, "-d", temp.string()});
                       fs::remove(f);
                       fs::remove(f.substr(0, f.size() - 4) + ".html");
                   }
               });
    };
    bareImport();
    const auto [importOurs, importBase] = interleaved(importOnce, bareImport);
    Figure imp{"import of new articles", importOurs, importBase, 1.5};
    imp.note = std::to_string(zips.size()) + " packages";
    report(imp);
    UpdFrm->removeEventFilter(&watch);
}

// ---------------------------------------------------------------- growth

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

// ---------------------------------------------------------------- the run

void generate() {
    const std::string schema = dbbuild::readFile(TIPSARA_SOURCE_DIR "/db/schema.sql");
    std::vector<int> sizes = opt.sizes;
    if (std::find(sizes.begin(), sizes.end(), opt.mainSize) == sizes.end())
        sizes.push_back(opt.mainSize);
    for (int n : sizes)
        if (!fs::exists(localDb(n))) {
            const double t = timed([&] { makeLocal(localDb(n).string(), schema, n); });
            std::printf("made %s in %.1f s\n", localDb(n).c_str(), t / 1000);
        }
    if (!fs::exists(masterDb())) {
        makeMaster(masterDb().string(), schema);
        std::printf("made %s\n", masterDb().c_str());
    }
}

void printTable() {
    std::printf("\n| figure | time | baseline | ratio | target | result | notes |\n"
                "|---|---:|---:|---:|---:|---|---|\n");
    for (const Figure& f : figures) {
        std::printf("| %s | %.1f %s | ", f.name.c_str(), f.ours, f.unit.c_str());
        if (f.base > 0)
            std::printf("%.1f %s | %.2f | ", f.base, f.unit.c_str(), f.ours / f.base);
        else
            std::printf("| | ");
        std::printf("%s | %s | %s |\n", targetText(f).c_str(), verdict(f).c_str(), f.note.c_str());
    }
}

std::vector<int> parseSizes(const std::string& text) {
    std::vector<int> out;
    std::stringstream in(text);
    for (std::string item; std::getline(in, item, ',');)
        out.push_back(std::stoi(item));
    return out;
}

int usage() {
    std::fprintf(stderr, "usage: tipsara-bench [--work DIR] [--reps N] [--sizes 1000,8000,...]\n"
                         "                     [--articles N] [--only "
                         "startup|memory|tree|display|search|fulltext|sync|update|growth]...\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    std::vector<std::string> only;
    for (size_t i = 0; i < args.size(); ++i) {
        const bool value = i + 1 < args.size();
        if (args[i] == "--attach-child" && value) {
            const double t = timed([&] { BareFb fb(args[i + 1]); });
            std::printf("attach %.3f\n", t);
            return 0;
        }
        if (args[i] == "--memory-child" && value)
            return memoryChild(argc, argv, args[i + 1]);
        if (args[i] == "--work" && value)
            opt.work = fs::absolute(args[++i]);
        else if (args[i] == "--reps" && value)
            opt.reps = std::max(1, std::stoi(args[++i]));
        else if (args[i] == "--sizes" && value)
            opt.sizes = parseSizes(args[++i]);
        else if (args[i] == "--articles" && value)
            opt.mainSize = std::stoi(args[++i]);
        else if (args[i] == "--only" && value)
            only.push_back(args[++i]);
        else
            return usage();
    }
    auto wanted = [&](const char* part) {
        return only.empty() || std::find(only.begin(), only.end(), part) != only.end();
    };

    fs::create_directories(opt.work / "firebird-lock");
    fs::permissions(opt.work / "firebird-lock", fs::perms::owner_all);
    fs::create_directories(opt.work / "config");
    fs::create_directories(opt.work / "temp");
    // Children inherit these: the engine's locks, settings and temporary
    // files stay in the work folder, and no message box waits for a person.
    setenv("FIREBIRD_LOCK", (opt.work / "firebird-lock").c_str(), 0);
    setenv("XDG_CONFIG_HOME", (opt.work / "config").c_str(), 1);
    setenv("TEMP", (opt.work / "temp").c_str(), 1);
    setenv("TIPSARA_AUTOCLOSE_MESSAGES", "1", 1);

    try {
        std::printf("tipsara-bench: %d repetitions, median; work folder %s; platform %s\n",
                    opt.reps, opt.work.c_str(),
                    qgetenv("QT_QPA_PLATFORM").isEmpty() ? "xcb"
                                                         : qgetenv("QT_QPA_PLATFORM").constData());
        generate();
        if (wanted("startup"))
            measureStartup();
        if (wanted("memory"))
            measureMemory(opt.mainSize);

        ui::Application app(argc, argv);
        Main = new TMain();
        DataFrm = new TDataFrm(localDb(opt.mainSize).string());
        MakeLongLivedDialogs();
        Main->show();
        pump(200);
        docs = new DocumentWatch;

        if (wanted("tree"))
            measureTreeLoad();
        if (wanted("display"))
            measureDisplay();
        if (wanted("search"))
            measureSearch();
        if (wanted("fulltext"))
            measureFullText();
        if (wanted("update") || wanted("sync"))
            measureUpdate(wanted("update"));
        if (wanted("growth"))
            measureGrowth();
        printTable();

        closeBrowser();
        delete docs;
        delete Main;
        Main = nullptr;
        delete DataFrm;
        DataFrm = nullptr;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tipsara-bench: %s\n", e.what());
        return 1;
    }
    return 0;
}
