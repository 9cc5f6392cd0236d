// SPDX-License-Identifier: GPL-3.0-or-later

#include "Idle.h"

#include "Figures.h"
#include "Process.h"
#include "Startup.h"
#include "app/Dialogs.h"
#include "app/UMain.h"
#include "components/desktop/QuitSignals.h"
#include "components/widgets/CaretRest.h"
#include "components/widgets/ErrorReport.h"
#include "data/UData.h"

#include <QAction>
#include <QTimer>

#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace fs = std::filesystem;

namespace bench {

namespace {

// How long the program rests before and while it is measured: the settling
// begins once the caret has stopped blinking for want of input.
constexpr int kSettleMs = 1500;
constexpr int kRestSeconds = 5;

long long field(const fs::path& file, const std::string& key) {
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(key, 0) == 0)
            return std::stoll(line.substr(key.size()));
    return 0;
}

// Counters of the whole process, every thread summed: the times a thread
// went to sleep and was woken (voluntary context switches), those of the
// GUI thread alone, and the CPU time in nanoseconds (schedstat, which counts
// in nanoseconds where /proc/PID/stat counts in ticks of 10 ms).
struct Counters {
    long long wakeups = 0;
    long long mainWakeups = 0;
    long long cpuNs = 0;
    int threads = 0;
};

Counters read(pid_t pid) {
    Counters c;
    const fs::path proc = fs::path("/proc") / std::to_string(pid);
    for (const auto& task : fs::directory_iterator(proc / "task")) {
        const long long w = field(task.path() / "status", "voluntary_ctxt_switches:");
        c.wakeups += w;
        if (task.path().filename() == std::to_string(pid))
            c.mainWakeups = w;
        std::ifstream sched(task.path() / "schedstat");
        long long ns = 0;
        sched >> ns;
        c.cpuNs += ns;
        ++c.threads;
    }
    return c;
}

void measure(const std::string& name, pid_t pid) {
    std::this_thread::sleep_for(ui::caretRestTimeout() + std::chrono::milliseconds(kSettleMs));
    const Counters a = read(pid);
    const long long t0 = monotonicNs();
    std::this_thread::sleep_for(std::chrono::seconds(kRestSeconds));
    const Counters b = read(pid);
    const double seconds = static_cast<double>(monotonicNs() - t0) / 1e9;
    Figure wake{"at rest, " + name + ": wake-ups",
                static_cast<double>(b.wakeups - a.wakeups) / seconds, 0, 5, "/s"};
    char note[96];
    std::snprintf(note, sizeof note, "GUI thread %.1f/s; %d threads",
                  static_cast<double>(b.mainWakeups - a.mainWakeups) / seconds, b.threads);
    wake.note = note;
    report(wake);
    Figure cpu{"at rest, " + name + ": CPU", static_cast<double>(b.cpuNs - a.cpuNs) / 1e7 / seconds,
               0, 0.1, "%"};
    cpu.note = "of one core, over " + std::to_string(kRestSeconds) + " s";
    report(cpu);
}

// Ends the child as a user's signal would, and waits for it.
void end(const Spawned& child) {
    kill(child.pid, SIGTERM);
    wait(child.pid);
    if (child.out >= 0)
        close(child.out);
}

} // namespace

int idleChild(int argc, char** argv, const std::string& db, const std::string& window) {
    quitsignals::block();
    ui::Application app(argc, argv);
    Main = new TMain();
    DataFrm = new TDataFrm(db);
    MakeLongLivedDialogs();
    Main->show();
    QuitSignals quit([] { QCoreApplication::exit(0); });
    QTimer::singleShot(0, [] {
        std::printf("ready\n");
        std::fflush(stdout);
    });
    // The search and the add window are modal: their commands return once
    // the signal has ended the run.
    if (window == "search")
        Main->ASearch->trigger();
    else if (window == "add")
        Main->AAdd->trigger();
    else {
        if (window == "browser")
            Main->AView->trigger();
        QApplication::exec();
    }
    delete Main;
    Main = nullptr;
    delete DataFrm;
    DataFrm = nullptr;
    return 0;
}

void measureIdle() {
    std::printf("at rest\n");
    // The program itself, as a user starts it.
    {
        const Spawned program = spawn({(prepareAppDir() / "tipsara").string()});
        measure("the program", program.pid);
        end(program);
    }
    const std::pair<const char*, const char*> cases[] = {{"main window", "none"},
                                                         {"browser open", "browser"},
                                                         {"search window open", "search"},
                                                         {"add window open", "add"}};
    for (const auto& [name, window] : cases) {
        const Spawned child = spawn({(opt.bin / "tipsara-bench").string(), "--idle-child",
                                     localDb(opt.mainSize).string(), window},
                                    {}, true);
        if (readLine(child.out) != "ready") {
            end(child);
            throw std::runtime_error(std::string("the idle child for ") + name + " did not start");
        }
        measure(name, child.pid);
        end(child);
    }
}

} // namespace bench
