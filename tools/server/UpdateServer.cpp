// SPDX-License-Identifier: GPL-3.0-or-later

#include "UpdateServer.h"

#include "components/text/Numbers.h"

#include <httplib.h>
#include <sys/socket.h>
#include <zip.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <stdexcept>
#include <string_view>
#include <thread>
#include <utility>

namespace server {
namespace {

const char* const kText = "text/plain; charset=windows-1251";

void notFound(httplib::Response& res) {
    res.status = 404;
    res.body.clear();
}

std::optional<int32_t> param(const httplib::Request& req, const char* name) {
    if (!req.has_param(name))
        return std::nullopt;
    return parseId(req.get_param_value(name));
}

// Route patterns are regular expressions; paths are matched literally.
std::string literal(const std::string& path) {
    std::string out;
    for (char c : path) {
        if (std::string_view(".[]{}()\\*+?^$|").find(c) != std::string_view::npos)
            out += '\\';
        out += c;
    }
    return out;
}

// The library serves a connection on one pool thread for as long as it is
// kept alive, so a fixed pool smaller than the crowd lets the connections
// beyond it wait for others to end. This pool grows up to the cap whenever no
// thread is free: a thread waiting on its socket costs only its stack, which
// hundreds of connections can afford, and it keeps the library's simple
// blocking model (an event-driven front would mean another HTTP layer).
// Threads stay once made, ready for the next crowd.
class GrowingPool : public httplib::TaskQueue {
public:
    explicit GrowingPool(size_t max) : max_(max) {}
    ~GrowingPool() override { stopAll(); }

    void enqueue(std::function<void()> fn) override {
        std::lock_guard lock(mutex_);
        jobs_.push_back(std::move(fn));
        if (idle_ < jobs_.size() && threads_.size() < max_)
            threads_.emplace_back([this] { work(); });
        else
            cv_.notify_one();
    }

    void shutdown() override { stopAll(); }

private:
    // Not virtual: the destructor calls it too.
    void stopAll() {
        {
            std::lock_guard lock(mutex_);
            if (stopping_)
                return;
            stopping_ = true;
        }
        cv_.notify_all();
        for (std::thread& t : threads_)
            t.join();
    }

    void work() {
        std::unique_lock lock(mutex_);
        while (true) {
            ++idle_;
            cv_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
            --idle_;
            if (jobs_.empty())
                return; // stopping, and nothing left to do
            std::function<void()> fn = std::move(jobs_.front());
            jobs_.pop_front();
            lock.unlock();
            fn();
            lock.lock();
        }
    }

    const size_t max_;
    std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<std::function<void()>> jobs_;
    std::vector<std::thread> threads_;
    size_t idle_ = 0;
    bool stopping_ = false;
};

} // namespace

std::optional<int32_t> parseId(const std::string& text) {
    return text::PlainInteger(text, false);
}

std::optional<std::set<int32_t>> parseIdList(const std::string& text) {
    std::set<int32_t> ids;
    if (text.empty())
        return ids;
    size_t start = 0;
    while (true) {
        const size_t comma = text.find(',', start);
        const auto id = parseId(
            text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (!id)
            return std::nullopt;
        ids.insert(*id);
        if (comma == std::string::npos)
            return ids;
        start = comma + 1;
    }
}

std::string newHintsReply(const std::vector<MasterDatabase::Article>& articles,
                          const std::set<int32_t>& known) {
    std::string reply;
    for (const auto& a : articles) {
        if (known.count(a.id))
            continue;
        std::string title = a.name;
        for (char& c : title)
            if (c == '\r' || c == '\n' || c == '\0')
                c = ' ';
        reply += std::to_string(a.id) + "\r\n" + title + "\r\n" + std::to_string(a.cat) + "\r\n" +
                 std::to_string(a.subcat) + "\r\n";
    }
    return reply;
}

std::string zipPackage(const std::string& memberName, const std::string& body) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* archive = zip_source_buffer_create(nullptr, 0, 0, &error);
    if (!archive)
        throw std::runtime_error("zip: cannot make a buffer");
    zip_t* za = zip_open_from_source(archive, ZIP_TRUNCATE, &error);
    if (!za) {
        zip_source_free(archive);
        throw std::runtime_error(std::string("zip: ") + zip_error_strerror(&error));
    }
    zip_source_keep(archive); // still needed after zip_close, to read the result
    zip_source_t* member = zip_source_buffer(za, body.data(), body.size(), 0);
    if (!member || zip_file_add(za, memberName.c_str(), member, ZIP_FL_ENC_GUESS) < 0) {
        if (member)
            zip_source_free(member);
        zip_discard(za);
        zip_source_free(archive);
        throw std::runtime_error("zip: cannot add the member");
    }
    if (zip_close(za) < 0) {
        zip_discard(za);
        zip_source_free(archive);
        throw std::runtime_error("zip: cannot write the archive");
    }
    std::string out;
    if (zip_source_open(archive) == 0) {
        char buffer[8192];
        for (zip_int64_t n; (n = zip_source_read(archive, buffer, sizeof buffer)) > 0;)
            out.append(buffer, static_cast<size_t>(n));
        zip_source_close(archive);
    }
    zip_source_free(archive);
    if (out.empty())
        throw std::runtime_error("zip: the archive is empty");
    return out;
}

UpdateServer::UpdateServer(ServedMaster& master, Options options)
    : master_(master), options_(std::move(options)), http_(std::make_unique<httplib::Server>()) {
    http_->new_task_queue = [max = static_cast<size_t>(std::max(1, options_.maxThreads))] {
        return new GrowingPool(max);
    };
    // The library listens with a backlog of 5: a crowd connecting at once
    // overflows it, and the connections beyond wait for the kernel's
    // retransmissions, a second and more. The socket is noted here and
    // listens again with the system's backlog once bound.
    http_->set_socket_options([this](socket_t sock) {
        httplib::default_socket_options(sock);
        listening_ = sock;
    });
    // An update run asks one request after another on one connection. An
    // idle one is dropped soon: it holds a thread, and stopping waits for it.
    // A request that stalls half-sent is given up after the read time-out.
    http_->set_keep_alive_max_count(1000);
    http_->set_keep_alive_timeout(options_.keepAliveSeconds);
    http_->set_read_timeout(5, 0);
    http_->set_write_timeout(5, 0);
    // Replies go out in two writes (head, body); without this the second waits
    // for the delayed acknowledgement of the first, some 40 ms a request.
    http_->set_tcp_nodelay(true);
    if (options_.log)
        http_->set_logger([](const httplib::Request& req, const httplib::Response& res) {
            // Long id lists are cut short: the log is for reading.
            const std::string target =
                req.target.size() > 160 ? req.target.substr(0, 160) + "..." : req.target;
            std::fprintf(stderr, "%s %s -> %d, %zu bytes\n", req.method.c_str(), target.c_str(),
                         res.status, res.body.size());
        });
    if (options_.delayMs > 0)
        http_->set_pre_routing_handler(
            [ms = options_.delayMs](const httplib::Request&, httplib::Response&) {
                std::this_thread::sleep_for(std::chrono::milliseconds(ms));
                return httplib::Server::HandlerResponse::Unhandled;
            });
    http_->set_exception_handler(
        [](const httplib::Request&, httplib::Response& res, std::exception_ptr e) {
            try {
                std::rethrow_exception(std::move(e));
            } catch (const std::exception& ex) {
                std::fprintf(stderr, "error: %s\n", ex.what());
            } catch (...) {
            }
            res.status = 500;
            res.body.clear();
        });
    routes();
}

UpdateServer::~UpdateServer() = default;

void UpdateServer::routes() {
    const std::string dir = literal(options_.base + "/get/tipsara/");
    httplib::Server& s = *http_;

    s.Get(dir + R"(tipsara_update\.txt)", [this](const httplib::Request&, httplib::Response& res) {
        const auto status = master_.status();
        if (!*status)
            return notFound(res);
        res.set_content(**status, kText);
    });
    s.Get(dir + R"(get_max_cat\.php)", [this](const httplib::Request&, httplib::Response& res) {
        res.set_content(master_.replies()->maxCategory(), kText);
    });
    s.Get(dir + R"(get_cat\.php)", [this](const httplib::Request& req, httplib::Response& res) {
        const auto replies = master_.replies();
        const auto cat = param(req, "id");
        const std::string* name = cat ? replies->categoryName(*cat) : nullptr;
        if (!name)
            return notFound(res);
        res.set_content(*name, kText);
    });
    s.Get(dir + R"(get_max_sub_cat\.php)",
          [this](const httplib::Request& req, httplib::Response& res) {
              const auto cat = param(req, "id");
              if (!cat)
                  return notFound(res);
              res.set_content(master_.replies()->maxSubCategory(*cat), kText);
          });
    s.Get(dir + R"(get_sub_cat\.php)", [this](const httplib::Request& req, httplib::Response& res) {
        const auto replies = master_.replies();
        const auto cat = param(req, "id");
        const auto sub = param(req, "sid");
        const std::string* name = cat && sub ? replies->subCategoryName(*cat, *sub) : nullptr;
        if (!name)
            return notFound(res);
        res.set_content(*name, kText);
    });
    s.Get(dir + R"(get_new_hints\.php)",
          [this](const httplib::Request& req, httplib::Response& res) {
              if (!req.has_param("ids"))
                  return notFound(res);
              const std::string idsText = req.get_param_value("ids");
              const auto known = parseIdList(idsText);
              if (!known)
                  return notFound(res);
              const auto reply = master_.replies()->newHints(
                  idsText, [&](const std::vector<MasterDatabase::Article>& articles) {
                      return newHintsReply(articles, *known);
                  });
              res.set_content(*reply, kText);
          });
    s.Get(dir + R"(files/([^/]*)\.zip)",
          [this](const httplib::Request& req, httplib::Response& res) {
              // The member is named as the client asked, since that is the name it
              // looks for after unpacking.
              const std::string idText = req.matches[1];
              const auto id = parseId(idText);
              const auto package =
                  id ? master_.replies()->package(idText, *id,
                                                  [&](const std::string& body) {
                                                      return zipPackage(idText + ".html", body);
                                                  })
                     : nullptr;
              if (!package)
                  return notFound(res);
              res.set_content(*package, "application/zip");
          });
}

int UpdateServer::bind() {
    const int port = options_.port == 0 ? http_->bind_to_any_port(options_.host)
                     : http_->bind_to_port(options_.host, options_.port) ? options_.port
                                                                         : -1;
    if (port >= 0 && listening_ >= 0)
        ::listen(listening_, SOMAXCONN);
    return port;
}

bool UpdateServer::serve() {
    return http_->listen_after_bind();
}

void UpdateServer::stop() {
    http_->stop();
}

} // namespace server
