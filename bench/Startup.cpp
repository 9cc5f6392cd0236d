// SPDX-License-Identifier: GPL-3.0-or-later

#include "Startup.h"

#include "Figures.h"
#include "Process.h"
#include "app/Dialogs.h"
#include "app/UMain.h"
#include "components/widgets/ErrorReport.h"
#include "data/UData.h"

#include <QAction>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace bench {

namespace {

// Start of the process to its window on screen, as the window reports it.
double startOnce(const fs::path& program, const std::vector<std::string>& args = {}) {
    std::vector<std::string> argv = {program.string()};
    argv.insert(argv.end(), args.begin(), args.end());
    const long long t0 = monotonicNs();
    int code = 0;
    const std::string line = firstLine(argv, {"TIPSARA_REPORT_SHOWN=1"}, &code);
    long long shown = 0;
    if (std::sscanf(line.c_str(), "shown %lld", &shown) != 1 || code != 0)
        throw std::runtime_error(program.string() + " did not report its window (exit " +
                                 std::to_string(code) + ", '" + line + "')");
    return static_cast<double>(shown - t0) / 1e6;
}

long statusKb(const char* key) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(key, 0) == 0)
            return std::stol(line.substr(std::strlen(key)));
    return -1;
}

} // namespace

fs::path prepareAppDir() {
    fs::path app = opt.work / "app";
    fs::create_directories(app / "DB");
    fs::copy_file(opt.bin / "tipsara", app / "tipsara", fs::copy_options::overwrite_existing);
    fs::copy_file(localDb(opt.mainSize), app / "DB" / "Tipsara.gdb",
                  fs::copy_options::overwrite_existing);
    return app;
}

void measureStartup() {
    std::printf("start-up\n");
    const fs::path app = prepareAppDir() / "tipsara";
    const fs::path bare = opt.bin / "tipsara-bench-bare-window";
    startOnce(app); // the first start warms the file cache for both
    startOnce(bare);
    const auto [ours, base] =
        interleaved([&] { return startOnce(app); }, [&] { return startOnce(bare); });
    report({"start-up to main window", ours, base, 1.6});
    // The same window with text on it: what any program pays for its first
    // text, the font configuration read and fonts loaded.
    const auto [ours2, texts] =
        interleaved([&] { return startOnce(app); }, [&] { return startOnce(bare, {"--texts"}); });
    Figure withText{"  against a bare window with text", ours2, texts, 0};
    withText.note = "the bare window with a menu bar and a status line";
    report(withText);

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
    Figure f{"peak memory, tree of " + std::to_string(articles), static_cast<double>(hwm) / 1024.0,
             0, 150, "MiB"};
    f.note = "before the browser " + std::to_string(before / 1024) + " MiB";
    report(f);
}

} // namespace bench
