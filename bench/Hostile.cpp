// SPDX-License-Identifier: GPL-3.0-or-later

#include "Hostile.h"

#include "Crowd.h"
#include "Figures.h"
#include "Process.h"
#include "support/HostileClients.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>

namespace fs = std::filesystem;

namespace bench {

namespace {

constexpr int kNormal = 20;  // normal clients at once, each a whole update run
constexpr int kSlow = 2000;  // slow clients, a byte a second each
constexpr int kIdle = 10000; // idle connections, opened again when closed
constexpr int kFloods = 4;   // header floods of 64 MiB each
constexpr size_t kFloodBytes = 64 << 20;

double mib(long kib) {
    return static_cast<double>(kib) / 1024.0;
}

} // namespace

void measureHostile() {
    // TIPSARA_BENCH_SERVER measures another build of the server the same way
    // (one without the options of its limits is started without them).
    const char* other = std::getenv("TIPSARA_BENCH_SERVER");
    const std::string binary = other ? other : (opt.bin / "tipsara-server").string();
    const long files = testing_support::raiseOpenFiles();
    const int idle = static_cast<int>(std::min<long>(kIdle, files - 300));
    std::printf("hostile: %d normal clients doing update runs against %s on 127.0.0.1; "
                "%d slow clients, %d idle, %d header floods of %zu MiB\n",
                kNormal, binary.c_str(), kSlow, idle, kFloods, kFloodBytes >> 20);
    enum class Kind { Quiet, Slow, Idle, Flood };
    const std::pair<Kind, std::string> modes[] = {
        {Kind::Quiet, "quiet"},
        {Kind::Slow, std::to_string(kSlow) + " slow clients"},
        {Kind::Idle, std::to_string(idle) + " idle connections"},
        {Kind::Flood, std::to_string(kFloods) + " header floods of 64 MiB"}};
    for (const auto& [kind, label] : modes) {
        // A server of its own for each, so that its peak is this attack's.
        // All connections come from 127.0.0.1: the cap per address is lifted,
        // so that the attack is met by the other limits.
        std::unique_ptr<ServerChild> server;
        const fs::path log = opt.work / "hostile-server.log";
        try {
            server = std::make_unique<ServerChild>(
                std::vector<std::string>{binary, "--listen", "127.0.0.1:0", "--no-log",
                                         "--per-address", "0", masterDb().string()},
                log.string());
        } catch (const std::exception&) {
            server = std::make_unique<ServerChild>(
                std::vector<std::string>{binary, "--listen", "127.0.0.1:0", "--no-log",
                                         masterDb().string()},
                log.string());
        }
        const int port = server->port();
        runCrowd(port, 4, 0); // the caches filled, as a running server has them
        const long startKiB = testing_support::statusKiB(server->pid(), "VmRSS");

        std::unique_ptr<testing_support::Attack> attack;
        if (kind == Kind::Slow) {
            attack = std::make_unique<testing_support::SlowClients>(port, kSlow);
            attack->waitOpened(kSlow, 20);
        } else if (kind == Kind::Idle) {
            attack = std::make_unique<testing_support::IdleClients>(port, idle, true);
            attack->waitOpened(idle, 30);
        } else if (kind == Kind::Flood) {
            attack = std::make_unique<testing_support::HeaderFlood>(port, kFloods, kFloodBytes);
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
        // Three crowds of normal clients while the attack lasts; the one
        // with the worst p99 is reported.
        CrowdResult worst;
        std::string failure;
        bool any = false;
        for (int i = 0; i < 3; ++i) {
            try {
                const CrowdResult r = runCrowd(port, kNormal, server->pid());
                if (!any || r.p99Ms > worst.p99Ms)
                    worst = r;
                any = true;
            } catch (const std::exception& e) {
                failure = e.what();
                break;
            }
        }
        const long peakKiB = testing_support::statusKiB(server->pid(), "VmHWM");
        const long closed = attack ? attack->closedByServer() : 0;
        const long opened = attack ? attack->opened() : 0;
        attack.reset();
        std::this_thread::sleep_for(std::chrono::seconds(3));
        const long afterKiB = testing_support::statusKiB(server->pid(), "VmRSS");

        // Judged by the longest reply: every one must come within a second;
        // none at all counts as the crowd's 60 s of silence.
        Figure f{"hostile, " + label + ": longest reply", any ? worst.maxMs : 60000, 0, 1000, "ms"};
        char note[400];
        if (any)
            std::snprintf(note, sizeof note,
                          "p50 %.2f ms, p99 %.2f ms, %ld errors, %ld >= 1 s of %ld; server peak "
                          "%.0f MiB (%.0f at start, %.0f 3 s after); attack: %ld opened, %ld "
                          "closed by the server%s%s",
                          worst.p50Ms, worst.p99Ms, worst.errors, worst.slow, worst.requests,
                          mib(peakKiB), mib(startKiB), mib(afterKiB), opened, closed,
                          failure.empty() ? "" : "; then ", failure.c_str());
        else
            std::snprintf(note, sizeof note,
                          "normal clients not served: %s; server peak %.0f MiB (%.0f at start, "
                          "%.0f 3 s after)",
                          failure.c_str(), mib(peakKiB), mib(startKiB), mib(afterKiB));
        f.note = note;
        report(f);
    }
}

} // namespace bench
