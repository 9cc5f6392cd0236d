// SPDX-License-Identifier: GPL-3.0-or-later

#include "Crowd.h"

#include "Catalogue.h"
#include "Figures.h"
#include "Process.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <stdexcept>

namespace fs = std::filesystem;

namespace bench {

namespace {

constexpr int kClients = 200;
constexpr int kPackages = 3;

// One request of the run and what its reply must be: the whole body, or
// (for the long ones) how it begins.
struct Step {
    std::string request;
    std::string body;
    bool prefixOnly = false;
};

// The requests of an update run against the bench master, in the order the
// program sends them: status, categories, subcategories, the new-article
// list for a user who has the shared articles, and a few packages.
std::vector<Step> updateRun() {
    std::vector<Step> steps;
    auto add = [&](const std::string& target, std::string body, bool prefixOnly = false) {
        steps.push_back({"GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", std::move(body),
                         prefixOnly});
    };
    const std::string dir = "/get/tipsara/";
    add(dir + "tipsara_update.txt", "\r\n\r\n\r\n");
    add(dir + "get_max_cat.php", std::to_string(kCategories));
    for (int c = 1; c <= kCategories; ++c)
        add(dir + "get_cat.php?id=" + std::to_string(c), categoryName(c));
    for (int c = 1; c <= kCategories; ++c) {
        add(dir + "get_max_sub_cat.php?id=" + std::to_string(c),
            std::to_string(kSubcategoriesPerCategory));
        for (int s = 1; s <= kSubcategoriesPerCategory; ++s)
            add(dir + "get_sub_cat.php?id=" + std::to_string(c) + "&sid=" + std::to_string(s),
                subcategoryName(c, s));
    }
    std::string ids;
    for (int id = 1; id <= kShared; ++id)
        ids += (id > 1 ? "," : "") + std::to_string(id);
    add(dir + "get_new_hints.php?ids=" + ids, std::to_string(kFirstNewServerId) + "\r\n", true);
    for (int k = 0; k < kPackages; ++k)
        add(dir + "files/" + std::to_string(kFirstNewServerId + k) + ".zip", "PK", true);
    return steps;
}

struct Connection {
    int fd = -1;
    size_t step = 0;
    size_t sent = 0;
    std::string in;
    long long startNs = 0;
    bool connecting = true;
};

double cpuSeconds(const rusage& u) {
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// User and system time of a process, from /proc.
double processCpuSeconds(int pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(in, line);
    const size_t close = line.rfind(')');
    if (close == std::string::npos)
        return 0;
    std::vector<std::string> fields;
    std::string field;
    for (size_t i = close + 2; i <= line.size(); ++i)
        if (i == line.size() || line[i] == ' ') {
            fields.push_back(field);
            field.clear();
        } else {
            field += line[i];
        }
    // Fields from the state on: utime and stime are the 12th and 13th.
    if (fields.size() < 13)
        return 0;
    return static_cast<double>(std::stoll(fields[11]) + std::stoll(fields[12])) /
           static_cast<double>(sysconf(_SC_CLK_TCK));
}

// The length of a complete reply at the front of in, 0 while it is not all
// there; -1 when it cannot be read. status and body are filled when complete.
long completeReply(const std::string& in, int& status, std::string_view& body) {
    const size_t headEnd = in.find("\r\n\r\n");
    if (headEnd == std::string::npos)
        return 0;
    if (in.compare(0, 9, "HTTP/1.1 ") != 0 || in.size() < 12)
        return -1;
    status = std::atoi(in.c_str() + 9);
    size_t length = 0;
    for (size_t at = in.find("\r\n"); at < headEnd; at = in.find("\r\n", at + 2)) {
        if (strncasecmp(in.c_str() + at + 2, "Content-Length:", 15) == 0)
            length = std::strtoul(in.c_str() + at + 17, nullptr, 10);
    }
    if (in.size() < headEnd + 4 + length)
        return 0;
    body = std::string_view(in).substr(headEnd + 4, length);
    return static_cast<long>(headEnd + 4 + length);
}

class Crowd {
public:
    Crowd(int port, int clients) : steps_(updateRun()), conns_(static_cast<size_t>(clients)) {
        addr_.sin_family = AF_INET;
        addr_.sin_port = htons(static_cast<uint16_t>(port));
        addr_.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ep_ = epoll_create1(0);
        latenciesNs_.reserve(conns_.size() * steps_.size());
    }
    ~Crowd() { close(ep_); }

    CrowdResult run(int serverPid) {
        rusage before{}, after{};
        getrusage(RUSAGE_THREAD, &before);
        const double serverBefore = serverPid > 0 ? processCpuSeconds(serverPid) : 0;
        const long long t0 = monotonicNs();
        for (size_t i = 0; i < conns_.size(); ++i)
            open(i);
        epoll_event events[256];
        while (running_ > 0) {
            const int n = epoll_wait(ep_, events, 256, 60000);
            if (n == 0)
                throw std::runtime_error("the crowd heard nothing for 60 s: " + state());
            for (int k = 0; k < n; ++k)
                onEvent(events[k].data.u32, events[k].events);
        }
        CrowdResult r;
        r.seconds = static_cast<double>(monotonicNs() - t0) / 1e9;
        getrusage(RUSAGE_THREAD, &after);
        r.clientCpuS = cpuSeconds(after) - cpuSeconds(before);
        r.serverCpuS = serverPid > 0 ? processCpuSeconds(serverPid) - serverBefore : 0;
        r.requests = static_cast<long>(latenciesNs_.size());
        r.errors = errors_;
        std::sort(latenciesNs_.begin(), latenciesNs_.end());
        if (!latenciesNs_.empty()) {
            auto at = [&](double q) {
                return static_cast<double>(latenciesNs_[static_cast<size_t>(
                           q * static_cast<double>(latenciesNs_.size() - 1))]) /
                       1e6;
            };
            r.p50Ms = at(0.5);
            r.p99Ms = at(0.99);
            r.maxMs = at(1.0);
            r.slow = latenciesNs_.end() -
                     std::lower_bound(latenciesNs_.begin(), latenciesNs_.end(), 1'000'000'000LL);
        }
        return r;
    }

private:
    // A connection, opened for the first time or again after a failure; the
    // time of the request it sends runs from here.
    void open(size_t i) {
        Connection& c = conns_[i];
        if (c.fd < 0)
            ++running_;
        c.fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        const int one = 1;
        setsockopt(c.fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        c.connecting = true;
        c.sent = 0;
        c.in.clear();
        c.startNs = monotonicNs();
        if (connect(c.fd, reinterpret_cast<sockaddr*>(&addr_), sizeof addr_) != 0 &&
            errno != EINPROGRESS)
            throw std::runtime_error(std::string("connect: ") + std::strerror(errno));
        epoll_event ev{};
        ev.events = EPOLLOUT | EPOLLIN;
        ev.data.u32 = static_cast<uint32_t>(i);
        epoll_ctl(ep_, EPOLL_CTL_ADD, c.fd, &ev);
    }

    void finish(size_t i) {
        Connection& c = conns_[i];
        epoll_ctl(ep_, EPOLL_CTL_DEL, c.fd, nullptr);
        close(c.fd);
        c.fd = -1;
        --running_;
    }

    // A broken connection: the request counts as an error, and the run goes
    // on with the next one over a new connection.
    void fail(size_t i) {
        Connection& c = conns_[i];
        ++errors_;
        latenciesNs_.push_back(monotonicNs() - c.startNs);
        epoll_ctl(ep_, EPOLL_CTL_DEL, c.fd, nullptr);
        close(c.fd);
        if (++c.step == steps_.size()) {
            c.fd = -1;
            --running_;
            return;
        }
        c.fd = -1;
        --running_; // open() counts it again
        open(i);
    }

    std::string state() const {
        int connecting = 0, waiting = 0, done = 0;
        for (const Connection& c : conns_)
            (c.fd < 0 ? done : c.connecting ? connecting : waiting)++;
        return std::to_string(connecting) + " connecting, " + std::to_string(waiting) +
               " waiting for a reply, " + std::to_string(done) + " done, " +
               std::to_string(latenciesNs_.size()) + " replies";
    }

    void want(size_t i, uint32_t events) {
        epoll_event ev{};
        ev.events = events;
        ev.data.u32 = static_cast<uint32_t>(i);
        epoll_ctl(ep_, EPOLL_CTL_MOD, conns_[i].fd, &ev);
    }

    void send(size_t i) {
        Connection& c = conns_[i];
        const std::string& req = steps_[c.step].request;
        while (c.sent < req.size()) {
            const ssize_t n = ::send(c.fd, req.data() + c.sent, req.size() - c.sent, MSG_NOSIGNAL);
            if (n < 0 && errno == EAGAIN) {
                want(i, EPOLLIN | EPOLLOUT);
                return;
            }
            if (n <= 0)
                return fail(i);
            c.sent += static_cast<size_t>(n);
        }
        want(i, EPOLLIN);
    }

    void onEvent(size_t i, uint32_t events) {
        Connection& c = conns_[i];
        if (c.connecting) {
            int error = 0;
            socklen_t len = sizeof error;
            getsockopt(c.fd, SOL_SOCKET, SO_ERROR, &error, &len);
            if (error != 0)
                return fail(i);
            c.connecting = false;
            return send(i);
        }
        if ((events & EPOLLOUT) && c.sent < steps_[c.step].request.size())
            return send(i);
        char buf[65536];
        while (true) {
            const ssize_t n = recv(c.fd, buf, sizeof buf, 0);
            if (n < 0 && errno == EAGAIN)
                break;
            if (n <= 0)
                return fail(i);
            c.in.append(buf, static_cast<size_t>(n));
        }
        int status = 0;
        std::string_view body;
        const long length = completeReply(c.in, status, body);
        if (length == 0)
            return;
        const Step& step = steps_[c.step];
        latenciesNs_.push_back(monotonicNs() - c.startNs);
        const bool right =
            length > 0 && status == 200 &&
            (step.prefixOnly ? body.substr(0, step.body.size()) == step.body : body == step.body);
        if (!right) {
            ++errors_;
            if (errors_ <= 3)
                std::fprintf(stderr, "crowd: wrong reply to %s", step.request.c_str());
        }
        c.in.erase(0, length > 0 ? static_cast<size_t>(length) : c.in.size());
        if (++c.step == steps_.size())
            return finish(i);
        c.sent = 0;
        c.startNs = monotonicNs();
        send(i);
    }

    std::vector<Step> steps_;
    std::vector<Connection> conns_;
    sockaddr_in addr_{};
    int ep_ = -1;
    int running_ = 0;
    long errors_ = 0;
    std::vector<long long> latenciesNs_;
};

void reportCrowd(const std::string& label, const CrowdResult& r) {
    const double rps = static_cast<double>(r.requests) / r.seconds;
    const bool ok = rps >= 5000 && r.p99Ms <= 50 && r.errors == 0 && r.slow == 0;
    Figure f{"crowd of " + std::to_string(kClients) + ", " + label, rps, 0, 0, "req/s"};
    char server[48] = "";
    if (r.serverCpuS > 0) // known only for a server of its own
        std::snprintf(server, sizeof server, ", server %.1f s", r.serverCpuS);
    char note[320];
    std::snprintf(note, sizeof note,
                  "p50 %.2f ms, p99 %.2f ms, max %.0f ms, %ld errors, %ld >= 1 s of %ld; "
                  "CPU client %.1f s%s in %.1f s; target >= 5000 req/s, "
                  "p99 <= 50 ms, 0 errors, none >= 1 s: %s",
                  r.p50Ms, r.p99Ms, r.maxMs, r.errors, r.slow, r.requests, r.clientCpuS, server,
                  r.seconds, ok ? "ok" : "MISSED");
    f.note = note;
    report(f);
}

CrowdResult medianRun(int port, int serverPid);

} // namespace

CrowdResult runCrowd(int port, int clients, int serverPid) {
    Crowd crowd(port, clients);
    return crowd.run(serverPid);
}

namespace {

// A first run fills the server's caches, as a running server has them; then
// the median of up to three runs by throughput.
CrowdResult medianRun(int port, int serverPid) {
    runCrowd(port, 4, 0);
    std::vector<CrowdResult> runs;
    for (int i = 0; i < std::min(opt.reps, 3); ++i)
        runs.push_back(runCrowd(port, kClients, serverPid));
    std::sort(runs.begin(), runs.end(), [](const CrowdResult& a, const CrowdResult& b) {
        return static_cast<double>(a.requests) / a.seconds <
               static_cast<double>(b.requests) / b.seconds;
    });
    return runs[runs.size() / 2];
}

} // namespace

void measureCrowd(int port) {
    std::printf("crowd: %d update runs at once against tipsara-server on 127.0.0.1\n", kClients);
    if (port > 0) {
        reportCrowd("through 127.0.0.1:" + std::to_string(port), medianRun(port, 0));
        return;
    }
    // Logging off is the serving figure; on (to a file, as a maker would
    // keep it) shows what the log costs.
    struct Mode {
        const char* label;
        std::vector<std::string> args;
    };
    const Mode modes[] = {{"log off", {"--no-log"}}, {"log to a file", {}}};
    for (const Mode& m : modes) {
        const fs::path log = opt.work / "crowd-server.log";
        fs::remove(log);
        // TIPSARA_BENCH_SERVER measures another build of the server the same
        // way. The crowd comes from one address: its cap is lifted (a server
        // without that option is started without it).
        const char* other = std::getenv("TIPSARA_BENCH_SERVER");
        std::vector<std::string> argv = {other ? other : (opt.bin / "tipsara-server").string(),
                                         "--listen", "127.0.0.1:0", "--per-address", "0"};
        argv.insert(argv.end(), m.args.begin(), m.args.end());
        argv.push_back(masterDb().string());
        std::unique_ptr<ServerChild> started;
        for (int attempt = 0; attempt < 2 && !started; ++attempt) {
            try {
                started = std::make_unique<ServerChild>(argv, log.string());
            } catch (const std::exception& e) {
                if (attempt == 1)
                    std::printf("  %s: %s\n", m.label, e.what()); // a server without the option
                argv.erase(argv.begin() + 3, argv.begin() + 5);
            }
        }
        if (!started)
            continue;
        reportCrowd(m.label, medianRun(started->port(), started->pid()));
    }
}

} // namespace bench
