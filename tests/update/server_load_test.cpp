// SPDX-License-Identifier: GPL-3.0-or-later
// tipsara-server as many clients at once and a changing master see it: over
// raw kept-alive sockets on 127.0.0.1, so that the timing is the server's.

#include "data/DbBuild.h"
#include "support/HostileClients.h"
#include "support/ServerProcess.h"
#include "support/TempDatabase.h"
#include "update/UpdateProtocol.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zip.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <thread>

using testing_support::ServerProcess;
using testing_support::TempDir;
using namespace update;
using Clock = std::chrono::steady_clock;

namespace {

const std::string kServer = std::string(TIPSARA_BIN_DIR) + "/tipsara-server";
const std::string kSource = TIPSARA_SOURCE_DIR;

double secondsSince(Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
}

// One kept-alive connection, a request at a time.
class Connection {
public:
    // from: the loopback address to connect from, when not 127.0.0.1.
    explicit Connection(int port, const char* from = nullptr)
        : fd_(testing_support::connectLoopback(port, from)) {
        if (fd_ < 0)
            throw std::runtime_error("cannot connect");
    }
    ~Connection() { close(fd_); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    void send(const std::string& target) {
        sendRaw("GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    }
    void sendRaw(const std::string& bytes) {
        if (::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) !=
            static_cast<ssize_t>(bytes.size()))
            throw std::runtime_error("cannot send");
    }
    // Status code and body of the next reply; code 0 when none came within
    // the time or the server closed the connection.
    std::pair<int, std::string> receive(double seconds = 10) {
        const auto start = Clock::now();
        while (true) {
            const size_t head = in_.find("\r\n\r\n");
            if (head != std::string::npos) {
                size_t length = 0;
                const size_t at = in_.find("Content-Length: ");
                if (at != std::string::npos && at < head)
                    length = std::stoul(in_.substr(at + 16));
                if (in_.size() >= head + 4 + length) {
                    std::pair<int, std::string> reply{std::stoi(in_.substr(9, 3)),
                                                      in_.substr(head + 4, length)};
                    in_.erase(0, head + 4 + length);
                    return reply;
                }
            }
            if (!readable(seconds - secondsSince(start)))
                return {0, ""};
            char buf[16384];
            const ssize_t n = read(fd_, buf, sizeof buf);
            if (n <= 0)
                return {0, ""};
            in_.append(buf, static_cast<size_t>(n));
        }
    }
    std::pair<int, std::string> get(const std::string& target, double seconds = 10) {
        send(target);
        return receive(seconds);
    }
    // Whether the server closed the connection within the time.
    bool closedWithin(double seconds) {
        char c;
        return readable(seconds) && read(fd_, &c, 1) == 0;
    }

private:
    bool readable(double seconds) {
        if (seconds <= 0)
            return false;
        pollfd p{fd_, POLLIN, 0};
        return poll(&p, 1, static_cast<int>(seconds * 1000)) == 1;
    }
    int fd_ = -1;
    std::string in_;
};

std::string zipMember(const std::string& archive, const std::string& name) {
    zip_error_t error;
    zip_source_t* src = zip_source_buffer_create(archive.data(), archive.size(), 0, &error);
    zip_t* za = src ? zip_open_from_source(src, ZIP_RDONLY, &error) : nullptr;
    if (!za)
        throw std::runtime_error("not a ZIP archive");
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

// A small catalogue folder: categories and subcategories named by the
// tag, and one article (ID 7) whose body carries it.
void writeCatalogue(const std::filesystem::path& dir, const std::string& tag, int categories) {
    std::filesystem::create_directories(dir / "articles");
    std::ofstream cats(dir / "categories.txt"), subs(dir / "subcategories.txt");
    for (int c = 1; c <= categories; ++c) {
        cats << c << "\t" << tag << " " << c << "\n";
        for (int s = 1; s <= c; ++s)
            subs << c << "\t" << s << "\t" << tag << " " << c << "." << s << "\n";
    }
    std::ofstream(dir / "articles.txt") << "a.html\t1\t1\t7\t" << tag << " seven\n";
    std::ofstream(dir / "articles" / "a.html") << "<p>" << tag << "</p>";
}

void makeMaster(const std::string& path, const std::filesystem::path& catalogue) {
    ASSERT_EQ(std::system((kServer + " --make-master " + path + " " + kSource + "/db/schema.sql " +
                           catalogue.string() + " > /dev/null")
                              .c_str()),
              0);
}

class ServerLoad : public ::testing::Test {
protected:
    void SetUp() override {
        writeCatalogue(dir_.path() / "first", "First", 3);
        master_ = dir_.file("Master.gdb");
        makeMaster(master_, dir_.path() / "first");
        status_ = dir_.file("status.txt");
        std::ofstream(status_, std::ios::binary) << "\r\nfirst\r\n\r\n";
    }
    std::unique_ptr<ServerProcess> start(const std::vector<std::string>& more = {}) {
        std::vector<std::string> argv = {kServer,    "--listen", "127.0.0.1:0",
                                         "--no-log", "--status", status_};
        argv.insert(argv.end(), more.begin(), more.end());
        argv.push_back(master_);
        return std::make_unique<ServerProcess>(argv, "listening on http://127\\.0\\.0\\.1:(\\d+)/");
    }

    TempDir dir_;
    std::string master_, status_;
};

TEST_F(ServerLoad, MasterAndStatusChangedOnDiskAreServedWithinSeconds) {
    auto server = start();
    Connection c(server->port());
    EXPECT_EQ(c.get(CatPath(1)).second, "First 1");
    EXPECT_EQ(c.get(kMaxCatPath).second, "3");
    EXPECT_EQ(c.get(NewHintsPath("")).second, "7\r\nFirst seven\r\n1\r\n1\r\n");
    EXPECT_EQ(zipMember(c.get(PackagePath("7")).second, "7.html"), "<p>First</p>");

    // The status file is looked at before the master, so the change of both
    // shows at once. The master is made aside and renamed over the served
    // one, as --make-master does.
    std::ofstream(status_, std::ios::binary) << "\r\nsecond\r\n\r\n";
    writeCatalogue(dir_.path() / "second", "Second", 4);
    makeMaster(master_, dir_.path() / "second");
    const auto changed = Clock::now();
    // Making a master may take longer than the server keeps an idle
    // connection open: ask on a new one.
    Connection c2(server->port());
    while (c2.get(CatPath(1)).second != "Second 1" && secondsSince(changed) < 5)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_LT(secondsSince(changed), 3) << "the changed master was not served in time";
    EXPECT_EQ(c2.get(kMaxCatPath).second, "4");
    EXPECT_EQ(c2.get(CatPath(4)).second, "Second 4");
    EXPECT_EQ(c2.get(MaxSubCatPath(4)).second, "4");
    EXPECT_EQ(c2.get(SubCatPath(4, 3)).second, "Second 4.3");
    EXPECT_EQ(c2.get(NewHintsPath("")).second, "7\r\nSecond seven\r\n1\r\n1\r\n");
    EXPECT_EQ(zipMember(c2.get(PackagePath("7")).second, "7.html"), "<p>Second</p>");
    EXPECT_EQ(c2.get(kStatusFilePath).second, "\r\nsecond\r\n\r\n");

    // A file that is no database keeps the last good master served.
    std::ofstream(dir_.file("broken.gdb")) << "not a database";
    std::filesystem::rename(dir_.file("broken.gdb"), master_);
    std::filesystem::remove(status_);
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    Connection later(server->port()); // the first one has been idle too long
    EXPECT_EQ(later.get(CatPath(1)).second, "Second 1");
    EXPECT_EQ(later.get(kStatusFilePath).first, 404) << "a status file gone is not served";

    // A good master after the broken one is served again.
    makeMaster(master_, dir_.path() / "first");
    const auto mended = Clock::now();
    Connection last(server->port());
    while (last.get(CatPath(1)).second != "First 1" && secondsSince(mended) < 5)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_LT(secondsSince(mended), 3) << "the master after a broken one was not served in time";
    EXPECT_EQ(last.get(kMaxCatPath).second, "3");
    EXPECT_EQ(server->stop(), 0);
}

TEST_F(ServerLoad, ManyClientsAtOnceEachGetTheirOwnReplies) {
    auto server = start();
    constexpr int kClients = 64;
    std::vector<std::thread> threads;
    threads.reserve(kClients);
    std::vector<int> wrong(kClients, 0);
    for (int t = 0; t < kClients; ++t)
        threads.emplace_back([&, t] {
            try {
                Connection c(server->port());
                for (int round = 0; round < 20; ++round) {
                    // Each client asks in its own order, so that the replies
                    // of others would show if they crossed.
                    const int cat = 1 + (t + round) % 3;
                    const int sub = 1 + round % cat;
                    wrong[t] += c.get(CatPath(cat)).second != "First " + std::to_string(cat);
                    wrong[t] += c.get(SubCatPath(cat, sub)).second !=
                                "First " + std::to_string(cat) + "." + std::to_string(sub);
                    wrong[t] += c.get(MaxSubCatPath(cat)).second != std::to_string(cat);
                    const std::string ids = round % 2 ? "7" : std::to_string(t);
                    wrong[t] += c.get(NewHintsPath(ids)).second !=
                                (ids == "7" ? "" : "7\r\nFirst seven\r\n1\r\n1\r\n");
                }
            } catch (const std::exception&) {
                wrong[t] = -1;
            }
        });
    for (auto& t : threads)
        t.join();
    for (int t = 0; t < kClients; ++t)
        EXPECT_EQ(wrong[t], 0) << "client " << t;
}

TEST_F(ServerLoad, IdleKeptAliveConnectionsNeitherStarveANewClientNorStay) {
    // All from one address: its cap lifted.
    auto server = start({"--per-address", "0"});
    // More connections than a fixed pool would serve, opened at once, each
    // kept alive after its first reply.
    constexpr int kIdle = 300;
    std::vector<std::unique_ptr<Connection>> idle;
    const auto opened = Clock::now();
    for (int i = 0; i < kIdle; ++i) {
        idle.push_back(std::make_unique<Connection>(server->port()));
        idle.back()->send(kMaxCatPath);
    }
    int answered = 0;
    for (auto& c : idle)
        answered += c->receive(std::max(0.01, 1.5 - secondsSince(opened))).second == "3";
    EXPECT_EQ(answered, kIdle) << "connections made at once were not all answered in time";

    const auto asked = Clock::now();
    Connection fresh(server->port());
    EXPECT_EQ(fresh.get(CatPath(2), 1.0).second, "First 2");
    EXPECT_LT(secondsSince(asked), 1.0);

    // The idle ones are closed after the time-out of two seconds, not before
    // one: a client between requests keeps its connection.
    EXPECT_FALSE(idle.front()->closedWithin(std::max(0.0, 1.0 - secondsSince(opened))));
    EXPECT_EQ(idle.front()->get(CatPath(3)).second, "First 3");
    const auto quiet = Clock::now();
    EXPECT_TRUE(idle.front()->closedWithin(4));
    EXPECT_GT(secondsSince(quiet), 1.5);
    int closed = 0;
    for (auto& c : idle)
        closed += c->closedWithin(std::max(0.01, 5 - secondsSince(opened)));
    EXPECT_EQ(closed, kIdle) << "idle connections left open";
    EXPECT_EQ(server->stop(), 0);
}

} // namespace

// A distant server, for measuring: every reply comes the delay late, the
// same reply; clients waiting at once wait side by side, not in turn.
TEST_F(ServerLoad, DelayHoldsEveryReplyBackButNotOneBehindAnother) {
    auto server = start({"--delay", "300"});
    Connection one(server->port());
    for (int round = 0; round < 2; ++round) {
        const auto t0 = Clock::now();
        EXPECT_EQ(one.get(CatPath(2)), std::make_pair(200, std::string("First 2")));
        EXPECT_GE(secondsSince(t0), 0.3);
    }
    constexpr int kClients = 8;
    std::vector<std::unique_ptr<Connection>> crowd;
    crowd.reserve(kClients);
    for (int i = 0; i < kClients; ++i)
        crowd.push_back(std::make_unique<Connection>(server->port()));
    const auto t0 = Clock::now();
    for (auto& c : crowd)
        c->send(kMaxCatPath);
    for (auto& c : crowd)
        EXPECT_EQ(c->receive(), std::make_pair(200, std::string("3")));
    const double took = secondsSince(t0);
    EXPECT_GE(took, 0.3);
    EXPECT_LT(took, 0.3 * kClients / 2);
}

// Several requests in one write are answered in order, each one logged.
TEST_F(ServerLoad, PipelinedRequestsAreAnsweredInOrderAndEachLogged) {
    const std::string log = dir_.file("server.log");
    ServerProcess server({kServer, "--listen", "127.0.0.1:0", "--status", status_, master_},
                         "listening on http://127\\.0\\.0\\.1:(\\d+)/", log);
    Connection c(server.port());
    std::string three;
    for (int cat : {3, 1, 2})
        three += "GET " + CatPath(cat) + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    c.sendRaw(three);
    for (int cat : {3, 1, 2})
        EXPECT_EQ(c.receive(2), std::make_pair(200, "First " + std::to_string(cat)));
    EXPECT_EQ(c.get(kMaxCatPath).second, "3") << "the connection did not stay open";
    EXPECT_EQ(server.stop(), 0);
    std::ifstream in(log);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    EXPECT_EQ(lines,
              (std::vector<std::string>{"GET " + CatPath(3) + " -> 200, 7 bytes",
                                        "GET " + CatPath(1) + " -> 200, 7 bytes",
                                        "GET " + CatPath(2) + " -> 200, 7 bytes",
                                        "GET " + std::string(kMaxCatPath) + " -> 200, 1 bytes"}));
}

// Up to the limits a request is served; beyond, refused with 414 (the line)
// or 431 (the headers) and its connection closed.
TEST_F(ServerLoad, RequestLineAndHeadersBeyondTheirLimitsAreRefused) {
    auto server = start();
    auto ask = [&](size_t lineBytes, int headerLines, size_t headerBytes) {
        // "GET " target " HTTP/1.1": the target pads the line to its size.
        std::string target = std::string(kMaxCatPath) + "?pad=";
        target.append(lineBytes - 13 - target.size(), 'a');
        std::string request = "GET " + target + " HTTP/1.1\r\n";
        const size_t each = headerBytes / static_cast<size_t>(headerLines);
        for (int i = 0; i < headerLines; ++i) {
            std::string name = "X-" + std::to_string(i) + ": ";
            request += name + std::string(each - name.size() - 2, 'h') + "\r\n";
        }
        Connection c(server->port());
        c.sendRaw(request + "\r\n");
        const int code = c.receive(2).first;
        return std::make_pair(code, code != 200 && c.closedWithin(1));
    };
    EXPECT_EQ(ask(8192, 1, 40), std::make_pair(200, false));
    EXPECT_EQ(ask(8193, 1, 40), std::make_pair(414, true));
    EXPECT_EQ(ask(1 << 20, 1, 40), std::make_pair(414, true));
    EXPECT_EQ(ask(100, 100, 4000), std::make_pair(200, false));
    EXPECT_EQ(ask(100, 101, 4040), std::make_pair(431, true));
    EXPECT_EQ(ask(100, 50, size_t{16} * 1024), std::make_pair(200, false));
    EXPECT_EQ(ask(100, 50, size_t{16} * 1024 + 50), std::make_pair(431, true));
    EXPECT_EQ(ask(100, 50, 1 << 20), std::make_pair(431, true));
    EXPECT_EQ(server->stop(), 0);
}

// One address may hold so many connections, the others theirs; a full
// server closes the connection that has waited longest for its request.
TEST_F(ServerLoad, ConnectionsAreCappedPerAddressAndInTotal) {
    {
        auto server = start({"--per-address", "3"});
        std::vector<std::unique_ptr<Connection>> three;
        three.reserve(3);
        for (int i = 0; i < 3; ++i)
            three.push_back(std::make_unique<Connection>(server->port()));
        Connection fourth(server->port());
        EXPECT_EQ(fourth.get(kMaxCatPath, 1).first, 0) << "a fourth from one address was served";
        Connection other(server->port(), "127.0.0.2");
        EXPECT_EQ(other.get(kMaxCatPath, 1).second, "3");
        for (auto& c : three)
            EXPECT_EQ(c->get(kMaxCatPath, 1).second, "3");
        EXPECT_EQ(server->stop(), 0);
    }
    auto server = start({"--connections", "4", "--per-address", "0"});
    Connection oldest(server->port());
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::vector<std::unique_ptr<Connection>> later;
    later.reserve(3);
    for (int i = 0; i < 3; ++i)
        later.push_back(std::make_unique<Connection>(server->port()));
    EXPECT_EQ(later.back()->get(kMaxCatPath, 1).second, "3");
    Connection fifth(server->port());
    EXPECT_TRUE(oldest.closedWithin(1)) << "the longest waiting was not closed for a new one";
    EXPECT_EQ(fifth.get(kMaxCatPath, 1).second, "3");
    for (size_t i = 0; i + 1 < later.size(); ++i)
        EXPECT_EQ(later[i]->get(kMaxCatPath, 1).second, "3") << i;
    EXPECT_EQ(server->stop(), 0);
}
