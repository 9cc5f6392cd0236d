// SPDX-License-Identifier: GPL-3.0-or-later

#include "Update.h"

#include "BareFb.h"
#include "Catalogue.h"
#include "Figures.h"
#include "Paints.h"
#include "Process.h"
#include "Views.h"
#include "app/UMain.h"
#include "components/fb/Fb.h"
#include "components/http/Http.h"
#include "components/widgets/PaintNow.h"
#include "data/UData.h"
#include "settings/UPrefs.h"
#include "update/UPro.h"
#include "update/UUpd.h"

#include <QAction>
#include <QEvent>
#include <QLineEdit>
#include <QProgressBar>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <unistd.h>

#include <charconv>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <functional>
#include <set>
#include <stdexcept>

namespace fs = std::filesystem;

namespace bench {

namespace {

class UpdateServer {
public:
    // delayMs: every reply held back that long, as by a distant server.
    explicit UpdateServer(int delayMs = 0)
        : log_(freshLog()), child_(arguments(delayMs), log_.string()) {}
    std::string root() const { return "127.0.0.1:" + std::to_string(child_.port()); }
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
    static fs::path freshLog() {
        fs::path log = opt.work / "server.log";
        fs::remove(log);
        return log;
    }
    static std::vector<std::string> arguments(int delayMs) {
        std::vector<std::string> argv = {(opt.bin / "tipsara-server").string(), "--listen",
                                         "127.0.0.1:0"};
        if (delayMs > 0)
            argv.insert(argv.end(), {"--delay", std::to_string(delayMs)});
        argv.push_back(masterDb().string());
        return argv;
    }
    fs::path log_; // before child_: the server writes it
    ServerChild child_;
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

// The paintings of the fair baseline of the update run: a bare status bar
// with a bar beside it in a window the size of the main window, and a bare
// wait window with its bar, each shown without taking the activation.
class BareRunWindows {
public:
    BareRunWindows(QWidget* owner, QSize mainSize, QSize waitSize)
        : main_(owner, Qt::Tool | Qt::FramelessWindowHint),
          wait_(owner, Qt::Tool | Qt::FramelessWindowHint) {
        for (QWidget* w : {&main_, &wait_})
            w->setAttribute(Qt::WA_ShowWithoutActivating);
        main_.setObjectName(QStringLiteral("BareMain"));
        main_.setFixedSize(mainSize);
        auto* layout = new QVBoxLayout(&main_);
        layout->setContentsMargins(0, 0, 0, 0);
        mainBar_ = new QProgressBar(&main_);
        mainBar_->setFixedSize(100, 22);
        mainBar_->setTextVisible(false);
        layout->addWidget(mainBar_);
        layout->addStretch(1);
        status_ = new QStatusBar(&main_);
        layout->addWidget(status_);
        wait_.setObjectName(QStringLiteral("BareWait"));
        wait_.setFixedSize(waitSize);
        waitBar_ = new QProgressBar(&wait_);
        waitBar_->setGeometry(0, waitSize.height() - 17, waitSize.width(), 17);
    }

    // mainPaintings of the status text and the bar, then waitPaintings of
    // the wait window's bar, each repainted at once; the time they take.
    double paint(int mainPaintings, int waitPaintings) {
        main_.show();
        wait_.show();
        ui::waitExposed(&main_, 1000);
        ui::waitExposed(&wait_, 1000);
        pump(10);
        const double t = timed([&] {
            for (int i = 0; i < mainPaintings; ++i) {
                // A transfer's events: the text and the bar, then both gone.
                if (i % 2 == 0) {
                    status_->showMessage(QString::fromUtf8("Прочтено %1 из %2").arg(i).arg(2048));
                    mainBar_->setValue(i % 100);
                } else {
                    status_->clearMessage();
                }
                main_.repaint(QRegion(status_->geometry()) + mainBar_->geometry());
            }
            for (int i = 0; i < waitPaintings; ++i) {
                waitBar_->setValue(i % 100);
                wait_.repaint();
            }
        });
        main_.hide();
        wait_.hide();
        return t;
    }

private:
    QWidget main_;
    QWidget wait_;
    QProgressBar* mainBar_;
    QStatusBar* status_;
    QProgressBar* waitBar_;
};

// curl -K fetching the URLs one after another on one connection, each
// reply thrown away; the time of each request, as curl saw it.
std::vector<double> curlEach(const std::vector<std::string>& urls) {
    const fs::path config = opt.work / "curl-each.cfg";
    {
        std::ofstream out(config);
        for (const std::string& u : urls)
            out << "url = \"" << u << "\"\noutput = \"/dev/null\"\n";
    }
    const Spawned c =
        spawn({"/usr/bin/curl", "-s", "-w", "%{time_total}\\n", "-K", config.string()}, {}, true);
    std::vector<double> times;
    for (std::string line = readLine(c.out); !line.empty(); line = readLine(c.out)) {
        // curl writes a point, whatever the locale.
        double seconds = 0;
        std::from_chars(line.data(), line.data() + line.size(), seconds);
        times.push_back(seconds * 1000);
    }
    close(c.out);
    if (wait(c.pid) != 0 || times.size() != urls.size())
        throw std::runtime_error("curl did not fetch every URL");
    return times;
}

} // namespace

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

    // The fair baseline: curl, the same statements through the bare client,
    // and as many paintings of a bare status bar, bar and wait window as
    // ours makes, counted here.
    int mainPaintings = 0, waitPaintings = 0;
    {
        PaintLog log;
        syncOnce();
        mainPaintings = log.passesOf(QStringLiteral("Main"));
        waitPaintings = log.passesOf(QStringLiteral("Wait"));
    }
    server.newTargets();
    BareRunWindows bareWindows(Main, Main->size(), QSize(367, 209));
    auto fairOnce = [&] {
        return curlAll(urls, nulls) + statements() +
               bareWindows.paint(mainPaintings, waitPaintings);
    };
    fairOnce();
    const auto [ours2, fair] = interleaved(syncOnce, fairOnce);
    server.newTargets();
    Figure fairFig{"update run, fair baseline", ours2, fair, 1.3};
    fairFig.note = "curl + bare statements + " + std::to_string(mainPaintings) +
                   " paintings of a status bar and bar, " + std::to_string(waitPaintings) +
                   " of a wait window";
    report(fairFig);
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

void measureSlowUpdate(int delayMs) {
    std::printf("update run against a server %d ms away\n", delayMs);
    const fs::path db = opt.work / "update.gdb";
    fs::copy_file(localDb(opt.mainSize), db, fs::copy_options::overwrite_existing);
    openDatabase(db);
    UpdateServer server(delayMs);
    PrefsFrm->root->setText(QString::fromStdString(server.root()));

    ListWatch watch;
    UpdFrm->installEventFilter(&watch);
    watch.onShown = [] { UpdFrm->close(); };

    // Each run: its time, its requests, the longest time without a painting
    // of any window and without a new status text, and the distinct texts.
    PaintLog log;
    std::set<QString> texts;
    QString lastText;
    double lastTextAt = 0, textGap = 0;
    log.onPaint = [&](QWidget* w) {
        if (w != Main->SB)
            return;
        const QString text = Main->SB->currentMessage();
        if (text == lastText)
            return;
        const double now = nowMs();
        textGap = std::max(textGap, now - lastTextAt);
        lastTextAt = now;
        lastText = text;
        texts.insert(text);
    };
    // Each transfer event's start and end: the time the transfer progress
    // takes, and where a pause of the painting went.
    struct Event {
        double at, done;
        uint32_t position, total;
    };
    std::vector<Event> events;
    const auto progress = Main->InternetHTTPRequest->OnProgress;
    Main->InternetHTTPRequest->OnProgress = [&](uint32_t position, uint32_t total) {
        const double at = nowMs();
        progress(position, total);
        events.push_back({at, nowMs(), position, total});
    };
    // However the runs end, the program is left as it was.
    struct Restore {
        http::ProgressEvent progress;
        ListWatch* watch;
        ~Restore() {
            Main->InternetHTTPRequest->OnProgress = progress;
            UpdFrm->removeEventFilter(watch);
        }
    } restore{progress, &watch};
    std::vector<double> times, paintGaps, textGaps, curlTimes, curlLongest, progressTimes;
    size_t requests = 0;
    const int runs = std::min(opt.reps, 3);
    for (int i = 0; i < runs; ++i) {
        log.clear();
        events.clear();
        texts.clear();
        lastText.clear();
        textGap = 0;
        watch.shownAt = -1;
        const double t0 = nowMs();
        lastTextAt = t0;
        Main->AUpdate->trigger();
        if (watch.shownAt < 0)
            throw std::runtime_error("the update run showed no list");
        times.push_back(watch.shownAt - t0);
        paintGaps.push_back(log.longestGap(t0, watch.shownAt));
        double inProgress = 0;
        for (const Event& e : events)
            inProgress += e.done - e.at;
        progressTimes.push_back(inProgress);
        textGaps.push_back(std::max(textGap, watch.shownAt - lastTextAt));
        const std::vector<std::string> targets = server.newTargets();
        requests = targets.size();
        // The same requests from curl: what a client that does nothing else
        // takes against this server on this machine.
        std::vector<std::string> urls;
        urls.reserve(targets.size());
        for (const std::string& t : targets)
            urls.push_back("http://" + server.root() + t);
        const double curlT0 = nowMs();
        const std::vector<double> each = curlEach(urls);
        curlTimes.push_back(nowMs() - curlT0);
        curlLongest.push_back(*std::max_element(each.begin(), each.end()));
        server.newTargets();
        if (getenv("TIPSARA_BENCH_VERBOSE")) {
            std::printf("    %.1f ms, %zu requests, %zu paintings, %zu status texts, longest "
                        "without a painting %.1f ms, without a new text %.1f ms\n",
                        times.back(), requests, log.passes().size(), texts.size(), paintGaps.back(),
                        textGaps.back());
            std::printf("    curl: %.1f ms, longest request %.1f ms\n", curlTimes.back(),
                        curlLongest.back());
            // Where the pauses of the painting longer than two requests are.
            double last = t0;
            QString lastWindow = QStringLiteral("(start)");
            for (const PaintLog::Pass& p : log.passes()) {
                if (p.at - last > 2 * delayMs) {
                    std::printf("    no painting from %.1f ms (%s) to %.1f ms (%s)\n", last - t0,
                                qPrintable(lastWindow), p.at - t0, qPrintable(p.window));
                    for (const Event& e : events)
                        if (e.done >= last - 1 && e.at <= p.at + 1)
                            std::printf("      event %u of %u from %.1f to %.1f ms\n", e.position,
                                        e.total, e.at - t0, e.done - t0);
                }
                last = p.at;
                lastWindow = p.window;
            }
        }
    }
    const double floor = static_cast<double>(requests) * delayMs;
    Figure fig{"update run, " + std::to_string(delayMs) + " ms a request", median(times), floor,
               1.05};
    char note[200];
    std::snprintf(note, sizeof note,
                  "floor: %zu requests x %d ms; longest without a painting %.0f ms, without a "
                  "new status text %.0f ms; %zu status texts",
                  requests, delayMs, *std::max_element(paintGaps.begin(), paintGaps.end()),
                  *std::max_element(textGaps.begin(), textGaps.end()), texts.size());
    fig.note = note;
    report(fig);
    Figure shown{"  of which: the transfer progress", median(progressTimes), 0, 0};
    shown.note = "the status text and the bar of each transfer, painted at once";
    report(shown);
    Figure bare{"  of which: curl -K, same requests and server", median(curlTimes), floor, 0};
    std::snprintf(note, sizeof note, "its longest request %.0f ms",
                  *std::max_element(curlLongest.begin(), curlLongest.end()));
    bare.note = note;
    report(bare);
}

} // namespace bench
