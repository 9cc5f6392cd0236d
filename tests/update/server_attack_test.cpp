// SPDX-License-Identifier: GPL-3.0-or-later
// tipsara-server under the attacks of the open internet, from 127.0.0.1:
// slow clients, idle floods, header floods. Throughout each, a normal client
// does whole update runs and must get every reply right within a second,
// the server's memory must stay bounded, and the attack's connections must
// be closed. Heavy (about a minute in all): ctest label "heavy".

#include "support/HostileClients.h"
#include "support/ServerProcess.h"
#include "support/TempDatabase.h"
#include "update/UpdateProtocol.h"

#include <gtest/gtest.h>
#include <zip.h>

#include <cstdlib>
#include <map>

using testing_support::Exchange;
using testing_support::RunResult;
using testing_support::ServerProcess;
using testing_support::statusKiB;
using testing_support::TempDir;
using namespace update;
using Clock = std::chrono::steady_clock;

namespace {

const std::string kServer = std::string(TIPSARA_BIN_DIR) + "/tipsara-server";
const std::string kSource = TIPSARA_SOURCE_DIR;
constexpr long kMemoryCapKiB = 200L * 1024;

std::string zipMember(const std::string& archive, const std::string& name) {
    zip_error_t error;
    zip_source_t* src = zip_source_buffer_create(archive.data(), archive.size(), 0, &error);
    zip_t* za = src ? zip_open_from_source(src, ZIP_RDONLY, &error) : nullptr;
    if (!za) {
        zip_source_free(src);
        return {};
    }
    zip_stat_t st;
    zip_file_t* f =
        zip_stat(za, name.c_str(), 0, &st) == 0 ? zip_fopen(za, name.c_str(), 0) : nullptr;
    std::string out;
    if (f) {
        out.resize(st.size);
        zip_fread(f, out.data(), st.size);
        zip_fclose(f);
    }
    zip_close(za);
    return out;
}

double secondsSince(Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
}

class ServerAttack : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new TempDir;
        master_ = dir_->file("Master.gdb");
        ASSERT_EQ(
            std::system((kServer + " --make-master " + master_ + " " + kSource + "/db/schema.sql " +
                         kSource + "/db/catalogue " + kSource + "/db/demo-server > /dev/null")
                            .c_str()),
            0);
        testing_support::raiseOpenFiles();
    }
    static void TearDownTestSuite() { delete dir_; }

    void start(const std::vector<std::string>& more = {}) {
        std::vector<std::string> argv = {kServer, "--listen", "127.0.0.1:0", "--no-log"};
        argv.insert(argv.end(), more.begin(), more.end());
        argv.push_back(master_);
        server_ =
            std::make_unique<ServerProcess>(argv, "listening on http://127\\.0\\.0\\.1:(\\d+)/");
        run_ = quietRun();
        ASSERT_GT(run_.size(), 50u);
        startKiB_ = statusKiB(server_->pid(), "VmRSS");
    }

    // A whole update run as the quiet server answers it: every request
    // with the bytes of its reply.
    std::vector<Exchange> quietRun() {
        std::vector<std::string> targets = {kStatusFilePath, kMaxCatPath};
        auto body = [&](const std::string& target) {
            const RunResult r = testing_support::runExchanges(
                server_->port(), {{target, [&](int, const std::string& b) {
                                       last_ = b;
                                       return true;
                                   }}});
            return last_;
        };
        const int cats = std::stoi(body(kMaxCatPath));
        for (int c = 1; c <= cats; ++c)
            targets.push_back(CatPath(c));
        for (int c = 1; c <= cats; ++c) {
            targets.push_back(MaxSubCatPath(c));
            const int subs = std::stoi(body(MaxSubCatPath(c)));
            for (int s = 1; s <= subs; ++s)
                targets.push_back(SubCatPath(c, s));
        }
        targets.push_back(NewHintsPath("1001,1002"));
        std::vector<Exchange> run;
        for (const std::string& t : targets) {
            const std::string expected = body(t);
            run.push_back({t, [expected](int status, const std::string& b) {
                               return status == 200 && b == expected;
                           }});
        }
        // A package is made anew at times, stamped with the time: its
        // article is what must not change.
        for (const std::string id : {"1055", "1056"}) {
            const std::string member = zipMember(body(PackagePath(id)), id + ".html");
            EXPECT_FALSE(member.empty());
            run.push_back({PackagePath(id), [member, id](int status, const std::string& b) {
                               return status == 200 && zipMember(b, id + ".html") == member;
                           }});
        }
        return run;
    }

    // Normal runs, one after another, until the time is up: none may have
    // a wrong reply or one that took a second or more. Tracks the server's
    // resident size.
    void normalRunsFor(double seconds) {
        const auto t0 = Clock::now();
        int runs = 0;
        while (secondsSince(t0) < seconds) {
            const RunResult r = testing_support::runExchanges(server_->port(), run_);
            ++runs;
            EXPECT_EQ(r.wrong, 0) << "run " << runs << ", first " << r.firstWrong;
            EXPECT_LT(r.longest, 1.0) << "run " << runs;
            peakKiB_ = std::max(peakKiB_, statusKiB(server_->pid(), "VmRSS"));
            if (r.wrong > 0 || r.longest >= 1.0)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        EXPECT_GT(runs, 1);
    }

    // Memory bounded during the attack, and back near its start after.
    void expectMemoryBounded() {
        EXPECT_LE(statusKiB(server_->pid(), "VmHWM"), kMemoryCapKiB);
        EXPECT_LE(peakKiB_, kMemoryCapKiB);
        std::this_thread::sleep_for(std::chrono::seconds(3));
#ifndef __SANITIZE_ADDRESS__
        // Under AddressSanitizer freed memory waits in its quarantine: the
        // resident size then tells of the sanitizer, not of the server.
        EXPECT_LE(statusKiB(server_->pid(), "VmRSS"), startKiB_ + 32L * 1024)
            << "started at " << startKiB_ << " KiB";
#endif
        const RunResult after = testing_support::runExchanges(server_->port(), run_);
        EXPECT_EQ(after.wrong, 0) << after.firstWrong;
        EXPECT_EQ(server_->stop(), 0);
    }

    static TempDir* dir_;
    static std::string master_;
    std::unique_ptr<ServerProcess> server_;
    std::vector<Exchange> run_;
    std::string last_;
    long startKiB_ = 0, peakKiB_ = 0;
};

TempDir* ServerAttack::dir_ = nullptr;
std::string ServerAttack::master_;

// Each sends a byte a second: every one resets a time-out per read, but not
// the deadline of the whole request.
TEST_F(ServerAttack, SlowClientsNeitherStarveOthersNorStayPastTheRequestDeadline) {
    start({"--per-address", "0"});
    constexpr int kSlow = 2000;
    const auto t0 = Clock::now();
    testing_support::SlowClients slow(server_->port(), kSlow);
    ASSERT_TRUE(slow.waitOpened(kSlow, 10));
    const auto allOpen = Clock::now();
    // Normal runs while the first is still short of its deadline.
    normalRunsFor(std::max(2.0, 8.5 - secondsSince(t0)));
    if (secondsSince(t0) < 9.5) {
        EXPECT_EQ(slow.closedByServer(), 0) << "closed before the deadline of 10 s";
    }
    while (slow.closedByServer() < kSlow && secondsSince(allOpen) < 12)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(slow.closedByServer(), kSlow) << "slow connections left open past the deadline";
    slow.stop();
    expectMemoryBounded();
}

// Held open and opened again as soon as closed, beyond the server's cap on
// connections: the longest waiting makes room for a new one.
TEST_F(ServerAttack, IdleFloodBeyondTheCapLeavesRoomForNewClients) {
    // 10,000 where the open-files limit allows them (this process holds
    // one end of each, the server the other).
    const long files = testing_support::raiseOpenFiles();
    const int idle = static_cast<int>(std::min<long>(10000, files - 200));
    const int cap = idle * 9 / 10;
    start({"--per-address", "0", "--connections", std::to_string(cap)});
    testing_support::IdleClients flood(server_->port(), idle, true);
    ASSERT_TRUE(flood.waitOpened(idle, 20));
    normalRunsFor(5);
    EXPECT_GT(flood.closedByServer(), idle - cap) << "the cap closed none";
    flood.stop();
    expectMemoryBounded();
}

// Endless header lines: each request is cut off at the limit, never served.
TEST_F(ServerAttack, HeaderFloodsAreCutOffAndMemoryStaysBounded) {
    start();
    constexpr size_t kEach = 64 << 20;
    testing_support::HeaderFlood flood(server_->port(), 4, kEach);
    const auto t0 = Clock::now();
    while (!flood.finished() && secondsSince(t0) < 30) {
        normalRunsFor(1);
        if (HasFailure())
            break;
    }
    EXPECT_TRUE(flood.finished()) << "the floods did not finish in 30 s";
    EXPECT_GE(flood.bytesSent(), static_cast<long>(4 * kEach));
    EXPECT_EQ(flood.answered(), 0) << "a flood was answered as a request";
    flood.stop();
    expectMemoryBounded();
}

} // namespace
