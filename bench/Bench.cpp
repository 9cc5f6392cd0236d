// SPDX-License-Identifier: GPL-3.0-or-later
// tipsara-bench: the whole program on a large catalogue, each figure beside
// a baseline measured in the same run on the same data. See README.md.

#include "BareFb.h"
#include "Catalogue.h"
#include "Crowd.h"
#include "Figures.h"
#include "FullText.h"
#include "Hostile.h"
#include "Idle.h"
#include "Process.h"
#include "Startup.h"
#include "Update.h"
#include "Views.h"
#include "app/Dialogs.h"
#include "app/UMain.h"
#include "components/fb/Fb.h"
#include "components/widgets/ErrorReport.h"
#include "data/DbBuild.h"
#include "data/UData.h"
#include "search/DbArticleSource.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;
using namespace bench;

namespace {

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
        search::DbArticleSource source(db);

        const double build = timed([&] { fulltext::Index::build(folder, source); });
        Figure rate{"full-text build", n * 1000.0 / build, 0, 0, "art./s"};
        rate.note =
            std::string("target >= 3000 art./s: ") + (n * 1000.0 / build >= 3000 ? "ok" : "MISSED");
        report(rate);
        fulltext::Index index(folder);
        if (!index.open(source))
            throw std::runtime_error("the full-text index just built does not open");
        q.setSQL("select sum(octet_length(INFORMATION) + octet_length(NAME)) from HINTS");
        q.ExecQuery();
        const double textMb = q.Fields(0).AsInteger() / 1048576.0;
        q.Close();
        Figure size{"full-text index size", static_cast<double>(folderBytes(folder)) / 1048576.0,
                    textMb, 0, "MiB"};
        size.note = "baseline: the titles and HTML texts";
        report(size);

        BareXapian bare(folder);
        const double bound = n > 32000 ? 60 : 30;
        for (const Case& c : kCases) {
            size_t rows = 0, hits = 0;
            fullTextSearchMs(index, q, c.text, c.mode, &rows);
            bare.searchMs(c.text, c.mode, &hits);
            const auto [ours, base] =
                interleaved([&] { return fullTextSearchMs(index, q, c.text, c.mode); },
                            [&] { return bare.searchMs(c.text, c.mode); });
            Figure fig{std::string("full text, ") + c.label, ours, base, 1.3};
            fig.note = std::to_string(rows) + " rows of " + std::to_string(hits) +
                       " hits; <= " + std::to_string(static_cast<int>(bound)) +
                       " ms: " + (ours <= bound ? "ok" : "MISSED");
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
            w.setSQL("INSERT INTO hints (cat, subcat, name, information) values (1, 1, :name, "
                     ":content)");
            w.Params(0).setAsString(articleTitle(i));
            w.Params(1).setAsString(articleBody(i, 4096));
            w.ExecQuery();
            wt.Commit();
            adds.push_back(timed([&] {
                if (index.addNew(source) != 1)
                    throw std::runtime_error("the added article was not indexed");
            }));
        }
        wt.StartTransaction();
        w.setSQL("delete from hints where id > (select max(id) from hints) - " +
                 std::to_string(opt.reps));
        w.ExecQuery();
        wt.Commit();
        index.catchUp(source);
        report(Figure{"full-text addition of one article", median(adds), 0, 10});
        index.close();
        q.Close();
        tr.Commit();
        db.Close();
    }
}

// Only the full-text and growth parts go through every size; the others
// read the main one, so a run of them alone does not wait for the rest.
void generate(bool everySize) {
    const std::string schema = dbbuild::readFile(TIPSARA_SOURCE_DIR "/db/schema.sql");
    std::vector<int> sizes = everySize ? opt.sizes : std::vector<int>{};
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

std::vector<int> parseSizes(const std::string& text) {
    std::vector<int> out;
    std::stringstream in(text);
    for (std::string item; std::getline(in, item, ',');)
        out.push_back(std::stoi(item));
    return out;
}

int usage() {
    std::fprintf(
        stderr, "usage: tipsara-bench [--work DIR] [--reps N] [--sizes 1000,8000,...]\n"
                "                     [--articles N] [--only "
                "startup|memory|idle|tree|display|search|fulltext|sync|update|\n"
                "                     slownet|growth|crowd|hostile|data]... [--crowd-port PORT]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    std::vector<std::string> only;
    int crowdPort = 0;
    for (size_t i = 0; i < args.size(); ++i) {
        const bool value = i + 1 < args.size();
        if (args[i] == "--attach-child" && value) {
            const double t = timed([&] { BareFb fb(args[i + 1]); });
            std::printf("attach %.3f\n", t);
            return 0;
        }
        if (args[i] == "--memory-child" && value)
            return memoryChild(argc, argv, args[i + 1]);
        if (args[i] == "--idle-child" && i + 2 < args.size())
            return idleChild(argc, argv, args[i + 1], args[i + 2]);
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
        else if (args[i] == "--crowd-port" && value)
            crowdPort = std::stoi(args[++i]);
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
        generate(wanted("fulltext") || wanted("growth"));
        // The data alone, for scripts that run the server on the bench master.
        if (only == std::vector<std::string>{"data"})
            return 0;
        if (wanted("startup"))
            measureStartup();
        if (wanted("memory"))
            measureMemory(opt.mainSize);
        if (wanted("idle"))
            measureIdle();
        if (wanted("crowd"))
            measureCrowd(crowdPort);
        if (wanted("hostile"))
            measureHostile();

        ui::Application app(argc, argv);
        Main = new TMain();
        DataFrm = new TDataFrm(localDb(opt.mainSize).string());
        MakeLongLivedDialogs();
        Main->show();
        pump(200);
        watchDocuments();

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
        if (wanted("slownet"))
            measureSlowUpdate(50);
        if (wanted("growth"))
            measureGrowth();
        printTable();

        closeBrowser();
        stopWatchingDocuments();
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
