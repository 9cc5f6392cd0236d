// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// Clients that a server on the internet meets every day, aimed at one on
// 127.0.0.1: slow ones that never finish a request, idle ones that only hold
// a connection, and floods of header lines. Each attack runs on threads of
// its own until stopped; beside it, a normal client times every reply.
// Shared by the server's tests and the benchmark.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

namespace testing_support {

// A field of /proc/PID/status in KiB (VmRSS, VmHWM), -1 when unknown.
inline long statusKiB(int pid, const std::string& field) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);)
        if (line.compare(0, field.size() + 1, field + ":") == 0)
            return std::stol(line.substr(field.size() + 1));
    return -1;
}

// Raises this process's open-files limit as far as allowed; returns it.
inline long raiseOpenFiles() {
    rlimit files{};
    getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);
    getrlimit(RLIMIT_NOFILE, &files);
    return files.rlim_cur == RLIM_INFINITY ? 1 << 20 : static_cast<long>(files.rlim_cur);
}

// A connection to 127.0.0.1:port, from the loopback address `from` when
// given (any of 127.0.0.0/8); -1 when it cannot be made.
inline int connectLoopback(int port, const char* from = nullptr) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    if (from) {
        sockaddr_in local{};
        local.sin_family = AF_INET;
        inet_pton(AF_INET, from, &local.sin_addr);
        if (bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
            close(fd);
            return -1;
        }
    }
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// Whether the other side closed fd (or reset it); reads nothing that waits.
inline bool closedByPeer(int fd) {
    char buf[4096];
    while (true) {
        const ssize_t n = recv(fd, buf, sizeof buf, MSG_DONTWAIT);
        if (n == 0)
            return true;
        if (n < 0)
            return errno != EAGAIN && errno != EINTR;
    }
}

class Attack {
public:
    virtual ~Attack() { stop(); }
    Attack(const Attack&) = delete;
    Attack& operator=(const Attack&) = delete;

    void stop() {
        stopping_ = true;
        for (std::thread& t : threads_)
            if (t.joinable())
                t.join();
    }
    long opened() const { return opened_; }
    long closedByServer() const { return closed_; }
    // Waits until at least n connections were opened, at most the time.
    bool waitOpened(long n, double seconds) const {
        const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (opened_ < n && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return opened_ >= n;
    }

protected:
    Attack() = default;
    std::atomic<bool> stopping_{false};
    std::atomic<long> opened_{0}, closed_{0};
    std::vector<std::thread> threads_;
};

// count connections, each sending a request one byte a second and never
// finishing it. Those the server closes stay closed.
class SlowClients : public Attack {
public:
    SlowClients(int port, int count, const char* from = nullptr) {
        threads_.emplace_back([this, port, count, from] {
            const std::string request = "GET /get/tipsara/get_max_cat.php HTTP/1.1\r\nHost: "
                                        "127.0.0.1\r\nX-Slow: ";
            std::vector<int> fds;
            for (int i = 0; i < count && !stopping_; ++i) {
                const int fd = connectLoopback(port, from);
                if (fd >= 0) {
                    fds.push_back(fd);
                    ++opened_;
                }
            }
            std::vector<size_t> sent(fds.size(), 0);
            while (!stopping_) {
                for (size_t i = 0; i < fds.size(); ++i) {
                    if (fds[i] < 0)
                        continue;
                    if (closedByPeer(fds[i]) || send(fds[i], &request[sent[i] % request.size()], 1,
                                                     MSG_NOSIGNAL | MSG_DONTWAIT) < 0) {
                        close(fds[i]);
                        fds[i] = -1;
                        ++closed_;
                        continue;
                    }
                    // Past the prefix, the header's value grows a byte at a time.
                    sent[i] = sent[i] + 1 < request.size() ? sent[i] + 1 : request.size() - 1;
                }
                for (int k = 0; k < 10 && !stopping_; ++k)
                    std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
            for (int fd : fds)
                if (fd >= 0)
                    close(fd);
        });
    }
};

// count connections opened and left idle; with reopen, each one the server
// closes is opened again at once.
class IdleClients : public Attack {
public:
    IdleClients(int port, int count, bool reopen, const char* from = nullptr) {
        threads_.emplace_back([this, port, count, reopen, from] {
            const int ep = epoll_create1(EPOLL_CLOEXEC);
            std::unordered_set<int> fds;
            auto open = [&] {
                const int fd = connectLoopback(port, from);
                if (fd < 0)
                    return;
                epoll_event ev{};
                ev.events = EPOLLIN | EPOLLRDHUP;
                ev.data.fd = fd;
                epoll_ctl(ep, EPOLL_CTL_ADD, fd, &ev);
                fds.insert(fd);
                ++opened_;
            };
            for (int i = 0; i < count && !stopping_; ++i)
                open();
            epoll_event events[256];
            while (!stopping_) {
                const int n = epoll_wait(ep, events, 256, 100);
                for (int k = 0; k < n; ++k) {
                    const int fd = events[k].data.fd;
                    if (!closedByPeer(fd))
                        continue;
                    epoll_ctl(ep, EPOLL_CTL_DEL, fd, nullptr);
                    close(fd);
                    fds.erase(fd);
                    ++closed_;
                    if (reopen && !stopping_)
                        open();
                }
            }
            for (int fd : fds)
                close(fd);
            close(ep);
        });
    }
};

// clients connections at once, each sending endless short header lines
// until the server closes it, then again over a new connection until
// bytesEach are sent. Replies of 2xx are counted: none may come.
class HeaderFlood : public Attack {
public:
    HeaderFlood(int port, int clients, size_t bytesEach) {
        for (int c = 0; c < clients; ++c)
            threads_.emplace_back([this, port, bytesEach] {
                std::string lines;
                while (lines.size() < size_t{64} * 1024)
                    lines += "X-Flood: 0123456789\r\n";
                size_t sent = 0;
                while (sent < bytesEach && !stopping_) {
                    const int fd = connectLoopback(port);
                    if (fd < 0)
                        break;
                    ++opened_;
                    const timeval wait{5, 0};
                    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &wait, sizeof wait);
                    const std::string head = "GET /get/tipsara/get_max_cat.php HTTP/1.1\r\n";
                    send(fd, head.data(), head.size(), MSG_NOSIGNAL);
                    while (sent < bytesEach && !stopping_) {
                        const ssize_t n = send(fd, lines.data(), lines.size(), MSG_NOSIGNAL);
                        if (n <= 0)
                            break;
                        sent += static_cast<size_t>(n);
                    }
                    char reply[16] = {};
                    if (recv(fd, reply, sizeof reply - 1, MSG_DONTWAIT) > 9 && reply[9] == '2')
                        ++answered_;
                    close(fd);
                    ++closed_;
                }
                sent_ += static_cast<long>(sent);
                ++finished_;
            });
    }
    long answered() const { return answered_; }
    long bytesSent() const { return sent_; }
    bool finished() const { return finished_ == static_cast<long>(threads_.size()); }

private:
    std::atomic<long> answered_{0}, sent_{0}, finished_{0};
};

// A normal client: requests over one kept-alive connection, each reply
// timed from its request sent (the first from the connection's opening).
struct Exchange {
    std::string target;
    std::function<bool(int status, const std::string& body)> right;
};
struct RunResult {
    int wrong = 0;          // replies missing or not right
    std::string firstWrong; // the target of the first
    double longest = 0;     // seconds
    std::vector<double> seconds;
};

inline RunResult runExchanges(int port, const std::vector<Exchange>& exchanges,
                              double patience = 5) {
    using Clock = std::chrono::steady_clock;
    RunResult result;
    auto t0 = Clock::now();
    int fd = connectLoopback(port);
    if (fd >= 0) {
        const int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    }
    std::string in;
    for (const Exchange& e : exchanges) {
        bool ok = false;
        int status = 0;
        std::string body;
        const std::string request = "GET " + e.target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
        if (fd >= 0 && send(fd, request.data(), request.size(), MSG_NOSIGNAL) ==
                           static_cast<ssize_t>(request.size())) {
            while (true) {
                const size_t head = in.find("\r\n\r\n");
                if (head != std::string::npos && in.size() > 12) {
                    size_t length = 0;
                    const size_t at = in.find("Content-Length: ");
                    if (at != std::string::npos && at < head)
                        length = std::stoul(in.substr(at + 16));
                    if (in.size() >= head + 4 + length) {
                        status = std::stoi(in.substr(9, 3));
                        body = in.substr(head + 4, length);
                        in.erase(0, head + 4 + length);
                        ok = true;
                        break;
                    }
                }
                const double left =
                    patience - std::chrono::duration<double>(Clock::now() - t0).count();
                pollfd p{fd, POLLIN, 0};
                if (left <= 0 || poll(&p, 1, static_cast<int>(left * 1000)) != 1)
                    break;
                char buf[16384];
                const ssize_t n = read(fd, buf, sizeof buf);
                if (n <= 0)
                    break;
                in.append(buf, static_cast<size_t>(n));
            }
        }
        const double took = std::chrono::duration<double>(Clock::now() - t0).count();
        result.seconds.push_back(took);
        result.longest = std::max(result.longest, took);
        if ((!ok || !e.right(status, body)) && result.wrong++ == 0)
            result.firstWrong = e.target;
        if (!ok) { // the rest over a new connection
            if (fd >= 0)
                close(fd);
            fd = connectLoopback(port);
            in.clear();
        }
        t0 = Clock::now();
    }
    if (fd >= 0)
        close(fd);
    return result;
}

} // namespace testing_support
