// SPDX-License-Identifier: GPL-3.0-or-later

#include "UpdateServer.h"

#include "components/text/Numbers.h"

#include <microhttpd.h>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <list>
#include <mutex>
#include <stdexcept>
#include <string_view>
#include <thread>
#include <utility>

namespace server {
namespace {

using Clock = std::chrono::steady_clock;

const char* const kText = "text/plain; charset=windows-1251";

// A reply that points into something shared, kept alive by the pointer.
template <class Owner>
std::shared_ptr<const std::string> within(const std::shared_ptr<Owner>& owner,
                                          const std::string& part) {
    return {owner, &part};
}

Reply textReply(std::shared_ptr<const std::string> body) {
    return {200, std::move(body), kText};
}

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

// What the server knows of one connection from its opening to its closing.
// The list it is in (waiting for its request, or busy: answered or closing)
// and its times are guarded by the watch's mutex; the request's own fields
// belong to the event thread serving the connection.
struct UpdateServer::Peer {
    int fd = -1;
    Clock::time_point since; // when it began waiting for its request
    bool busy = false;
    bool shut = false; // shut down by the server, closing
    std::list<Peer>::iterator self;
    std::string target; // the request's target as sent, for the log
    bool headersSeen = false;
    bool delayed = false;
    bool answered = false;
};

// The limits the HTTP layer does not keep by itself: the time of a whole
// request (its own time-out restarts with every byte), and a full server
// making room by closing the connection that has waited longest for its
// request. The connections waiting for a request are kept in the order they
// began to, so the oldest is always the first: one thread sleeps until its
// deadline and no longer than that, and not at all while no connection is
// open. Also the delay of --delay: a request is set aside (suspended) and
// resumed when due, holding no thread.
struct UpdateServer::Watch {
    Watch(UpdateServer& server, const Options& options) : server(server), options(options) {
        deadlines = std::thread([this] { watchDeadlines(); });
        if (options.delayMs > 0)
            delayer = std::thread([this] { resumeDelayed(); });
    }
    ~Watch() {
        stopDelays();
        {
            std::lock_guard lock(mutex);
            stopping = true;
        }
        wake.notify_all();
        deadlines.join();
    }
    Watch(const Watch&) = delete;
    Watch& operator=(const Watch&) = delete;

    // Resumes every request set aside, at once; none is set aside after.
    void stopDelays() {
        {
            std::lock_guard lock(delayMutex);
            delayStopping = true;
        }
        delayWake.notify_all();
        if (delayer.joinable())
            delayer.join();
    }

    void watchDeadlines() {
        const auto limit = std::chrono::seconds(options.limits.requestSeconds);
        std::unique_lock lock(mutex);
        while (!stopping) {
            if (waiting.empty()) {
                wake.wait(lock);
                continue;
            }
            const auto due = waiting.front().since + limit;
            if (Clock::now() < due) {
                wake.wait_until(lock, due);
                continue;
            }
            shut(waiting.front());
        }
    }

    // Closes a connection from outside its event thread: shut down, the
    // socket wakes that thread, which closes it. The socket stays open
    // until the closing notice, which takes this mutex, so the number is
    // never another connection's.
    void shut(Peer& p) {
        p.shut = true;
        ++closing;
        if (!p.busy)
            busy.splice(busy.end(), waiting, p.self);
        p.busy = true;
        ::shutdown(p.fd, SHUT_RDWR);
    }

    void waitAgain(Peer& p) {
        if (p.shut)
            return;
        p.since = Clock::now();
        const bool first = waiting.empty();
        waiting.splice(waiting.end(), p.busy ? busy : waiting, p.self);
        p.busy = false;
        if (first)
            wake.notify_one();
    }

    static void onConnection(void* cls, MHD_Connection* connection, void** context,
                             MHD_ConnectionNotificationCode code) {
        auto& w = *static_cast<Watch*>(cls);
        std::lock_guard lock(w.mutex);
        if (code == MHD_CONNECTION_NOTIFY_STARTED) {
            const MHD_ConnectionInfo* info =
                MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
            Peer& p = w.waiting.emplace_back();
            p.self = std::prev(w.waiting.end());
            p.fd = info ? info->connect_fd : -1;
            p.since = Clock::now();
            *context = &p;
            if (w.waiting.size() == 1)
                w.wake.notify_one();
            // Full: the longest waiting makes room; it may be this one.
            while (w.waiting.size() + w.busy.size() - w.closing >
                       static_cast<size_t>(w.options.limits.connections) &&
                   !w.waiting.empty())
                w.shut(w.waiting.front());
            return;
        }
        auto* p = static_cast<Peer*>(*context);
        if (!p)
            return;
        if (p->shut)
            --w.closing;
        (p->busy ? w.busy : w.waiting).erase(p->self);
        *context = nullptr;
    }

    static MHD_Result onRequest(void* cls, MHD_Connection* connection, const char* url,
                                const char* method, const char* version, const char* /*uploadData*/,
                                size_t* uploadSize, void** context) {
        auto& server = *static_cast<UpdateServer*>(cls);
        return server.handle(connection, url, method, version, uploadSize, context) ? MHD_YES
                                                                                    : MHD_NO;
    }

    static void* onRequestLine(void* /*cls*/, const char* uri, MHD_Connection* connection) {
        const MHD_ConnectionInfo* info =
            MHD_get_connection_info(connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
        auto* p = info ? static_cast<Peer*>(info->socket_context) : nullptr;
        if (p)
            p->target = uri;
        return p;
    }

    static void onCompleted(void* cls, MHD_Connection* /*connection*/, void** context,
                            MHD_RequestTerminationCode /*code*/) {
        auto& w = *static_cast<Watch*>(cls);
        auto* p = static_cast<Peer*>(*context);
        if (!p)
            return;
        if (!p->answered && w.options.log && !p->target.empty())
            std::fprintf(stderr, "%s -> not answered, connection closed\n",
                         shortened(p->target).c_str());
        p->target.clear();
        p->headersSeen = false;
        p->delayed = false;
        p->answered = false;
        std::lock_guard lock(w.mutex);
        w.waitAgain(*p);
    }

    static std::string shortened(const std::string& target) {
        // Long id lists are cut short: the log is for reading.
        return target.size() > 160 ? target.substr(0, 160) + "..." : target;
    }

    // Sets the request aside for the delay; false once stopping.
    bool delay(MHD_Connection* connection) {
        std::lock_guard lock(delayMutex);
        if (delayStopping)
            return false;
        MHD_suspend_connection(connection);
        delayed.emplace_back(Clock::now() + std::chrono::milliseconds(options.delayMs), connection);
        if (delayed.size() == 1)
            delayWake.notify_one();
        return true;
    }

    void resumeDelayed() {
        std::unique_lock lock(delayMutex);
        while (true) {
            if (delayed.empty()) {
                if (delayStopping)
                    return;
                delayWake.wait(lock);
                continue;
            }
            // All wait the same time, so the first queued is the first due.
            const auto [due, connection] = delayed.front();
            if (!delayStopping && Clock::now() < due) {
                delayWake.wait_until(lock, due);
                continue;
            }
            delayed.pop_front();
            lock.unlock();
            MHD_resume_connection(connection);
            lock.lock();
        }
    }

    UpdateServer& server;
    const Options& options;

    std::mutex mutex;
    std::condition_variable wake;
    std::list<Peer> waiting, busy;
    size_t closing = 0;
    bool stopping = false;
    std::thread deadlines;

    std::mutex delayMutex;
    std::condition_variable delayWake;
    std::deque<std::pair<Clock::time_point, MHD_Connection*>> delayed;
    bool delayStopping = false;
    std::thread delayer;
};

namespace {

struct HeaderCount {
    size_t lines = 0, bytes = 0;
};

MHD_Result countHeader(void* cls, MHD_ValueKind /*kind*/, const char* key, const char* value) {
    auto& count = *static_cast<HeaderCount*>(cls);
    ++count.lines;
    count.bytes += std::strlen(key) + 2 + (value ? std::strlen(value) : 0) + 2; // "K: V\r\n"
    return MHD_YES;
}

void freeBody(void* cls) {
    delete static_cast<std::shared_ptr<const std::string>*>(cls);
}

MHD_Result queue(MHD_Connection* connection, const Reply& reply, bool closeAfter) {
    MHD_Response* response =
        reply.body && !reply.body->empty()
            ? MHD_create_response_from_buffer_with_free_callback_cls(
                  reply.body->size(), const_cast<char*>(reply.body->data()), freeBody,
                  new std::shared_ptr<const std::string>(reply.body))
            : MHD_create_response_from_buffer(0, nullptr, MHD_RESPMEM_PERSISTENT);
    if (!response)
        return MHD_NO;
    if (reply.type)
        MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, reply.type);
    if (closeAfter)
        MHD_add_response_header(response, MHD_HTTP_HEADER_CONNECTION, "close");
    const MHD_Result queued =
        MHD_queue_response(connection, static_cast<unsigned>(reply.status), response);
    MHD_destroy_response(response);
    return queued;
}

} // namespace

UpdateServer::UpdateServer(ServedMaster& master, Options options)
    : master_(master), options_(std::move(options)) {}

UpdateServer::~UpdateServer() {
    stop();
}

Reply UpdateServer::answer(
    const std::string& path,
    const std::function<std::optional<std::string>(const char*)>& param) const {
    const std::string dir = options_.base + "/get/tipsara/";
    if (path.compare(0, dir.size(), dir) != 0)
        return {};
    const std::string name = path.substr(dir.size());
    auto id = [&](const char* key) -> std::optional<int32_t> {
        const auto value = param(key);
        return value ? parseId(*value) : std::nullopt;
    };
    if (name == "tipsara_update.txt") {
        const auto status = master_.status();
        if (!*status)
            return {};
        return textReply(within(status, **status));
    }
    if (name == "get_max_cat.php") {
        const auto replies = master_.replies();
        return textReply(within(replies, replies->maxCategory()));
    }
    if (name == "get_cat.php") {
        const auto replies = master_.replies();
        const auto cat = id("id");
        const std::string* found = cat ? replies->categoryName(*cat) : nullptr;
        return found ? textReply(within(replies, *found)) : Reply{};
    }
    if (name == "get_max_sub_cat.php") {
        const auto cat = id("id");
        if (!cat)
            return {};
        const auto replies = master_.replies();
        return textReply(within(replies, replies->maxSubCategory(*cat)));
    }
    if (name == "get_sub_cat.php") {
        const auto replies = master_.replies();
        const auto cat = id("id");
        const auto sub = id("sid");
        const std::string* found = cat && sub ? replies->subCategoryName(*cat, *sub) : nullptr;
        return found ? textReply(within(replies, *found)) : Reply{};
    }
    if (name == "get_new_hints.php") {
        const auto idsText = param("ids");
        const auto known = idsText ? parseIdList(*idsText) : std::nullopt;
        if (!known)
            return {};
        return textReply(master_.replies()->newHints(
            *idsText, [&](const std::vector<MasterDatabase::Article>& articles) {
                return newHintsReply(articles, *known);
            }));
    }
    const std::string files = "files/", zip = ".zip";
    if (name.size() > files.size() + zip.size() - 1 && name.compare(0, files.size(), files) == 0 &&
        name.compare(name.size() - zip.size(), zip.size(), zip) == 0) {
        // The member is named as the client asked, since that is the name it
        // looks for after unpacking.
        const std::string idText =
            name.substr(files.size(), name.size() - files.size() - zip.size());
        if (idText.find('/') != std::string::npos)
            return {};
        const auto article = parseId(idText);
        auto package =
            article ? master_.replies()->package(idText, *article,
                                                 [&](const std::string& body) {
                                                     return zipPackage(idText + ".html", body);
                                                 })
                    : nullptr;
        if (!package)
            return {};
        return {200, std::move(package), "application/zip"};
    }
    return {};
}

int UpdateServer::bind() {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string port = std::to_string(options_.port);
    if (getaddrinfo(options_.host.empty() ? nullptr : options_.host.c_str(), port.c_str(), &hints,
                    &found) != 0)
        return -1;
    int listening = -1;
    for (addrinfo* a = found; a && listening < 0; a = a->ai_next) {
        listening = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
        if (listening < 0)
            continue;
        const int one = 1;
        setsockopt(listening, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        if (::bind(listening, a->ai_addr, a->ai_addrlen) != 0 ||
            ::listen(listening, SOMAXCONN) != 0) {
            ::close(listening);
            listening = -1;
        }
    }
    freeaddrinfo(found);
    if (listening < 0)
        return -1;
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    getsockname(listening, reinterpret_cast<sockaddr*>(&bound), &length);
    const int boundPort =
        ntohs(bound.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port
                                          : reinterpret_cast<sockaddr_in*>(&bound)->sin_port);

    watch_ = std::make_unique<Watch>(*this, options_);
    const Limits& l = options_.limits;
    const unsigned threads = options_.threads > 0
                                 ? static_cast<unsigned>(options_.threads)
                                 : std::max(1U, std::thread::hardware_concurrency());
    // Room for the line, the headers and their parsing: a request beyond it
    // is refused by the library itself, one within it is measured exactly.
    const size_t memory = l.requestLine + l.headerBytes + size_t{16} * 1024;
    // The library refuses connections only beyond its own cap; ours, below
    // it, closes the longest waiting instead, which takes a moment.
    const unsigned libraryCap = static_cast<unsigned>(l.connections) + 64 * threads;
    daemon_ = MHD_start_daemon(
        MHD_USE_EPOLL_INTERNAL_THREAD | MHD_ALLOW_SUSPEND_RESUME, 0, nullptr, nullptr,
        &Watch::onRequest, this, MHD_OPTION_LISTEN_SOCKET, listening, MHD_OPTION_THREAD_POOL_SIZE,
        threads, MHD_OPTION_CONNECTION_LIMIT, libraryCap, MHD_OPTION_PER_IP_CONNECTION_LIMIT,
        static_cast<unsigned>(std::max(0, l.perAddress)), MHD_OPTION_CONNECTION_TIMEOUT,
        static_cast<unsigned>(l.idleSeconds), MHD_OPTION_CONNECTION_MEMORY_LIMIT, memory,
        MHD_OPTION_NOTIFY_CONNECTION, &Watch::onConnection, watch_.get(),
        MHD_OPTION_NOTIFY_COMPLETED, &Watch::onCompleted, watch_.get(), MHD_OPTION_URI_LOG_CALLBACK,
        &Watch::onRequestLine, watch_.get(), MHD_OPTION_END);
    if (!daemon_) {
        ::close(listening);
        watch_.reset();
        return -1;
    }
    return boundPort;
}

bool UpdateServer::serve() {
    std::unique_lock lock(stopMutex_);
    stopCv_.wait(lock, [this] { return stopped_; });
    return true;
}

void UpdateServer::stop() {
    {
        std::lock_guard lock(stopMutex_);
        if (stopped_)
            return;
        stopped_ = true;
    }
    stopCv_.notify_all();
    if (watch_)
        watch_->stopDelays();
    if (daemon_)
        MHD_stop_daemon(daemon_);
    daemon_ = nullptr;
    watch_.reset();
}

void UpdateServer::log(const char* method, const Peer& p, const Reply& reply) const {
    if (options_.log)
        std::fprintf(stderr, "%s %s -> %d, %zu bytes\n", method, Watch::shortened(p.target).c_str(),
                     reply.status, reply.body ? reply.body->size() : 0);
}

bool UpdateServer::handle(MHD_Connection* connection, const char* url, const char* method,
                          const char* version, size_t* uploadSize, void** context) {
    auto* p = static_cast<Peer*>(*context);
    if (!p)
        return false;
    if (p->answered) {
        *uploadSize = 0;
        return true;
    }
    if (!p->busy) {
        std::lock_guard lock(watch_->mutex);
        if (p->shut)
            return false;
        p->busy = true;
        watch_->busy.splice(watch_->busy.end(), watch_->waiting, p->self);
    }
    if (!p->headersSeen) {
        p->headersSeen = true;
        const Limits& l = options_.limits;
        HeaderCount headers;
        MHD_get_connection_values(connection, MHD_HEADER_KIND, countHeader, &headers);
        const size_t line = std::strlen(method) + 1 + p->target.size() + 1 + std::strlen(version);
        Reply refused;
        if (line > l.requestLine)
            refused.status = MHD_HTTP_URI_TOO_LONG;
        else if (headers.lines > l.headerLines || headers.bytes > l.headerBytes)
            refused.status = MHD_HTTP_REQUEST_HEADER_FIELDS_TOO_LARGE;
        else
            // A reply queued now, at the headers, would make the library close
            // the connection after it: the call at the request's end answers.
            return true;
        p->answered = true;
        log(method, *p, refused);
        return queue(connection, refused, true) == MHD_YES;
    }
    if (*uploadSize != 0) { // a body nobody asked for
        *uploadSize = 0;
        return true;
    }
    if (options_.delayMs > 0 && !p->delayed) {
        p->delayed = true;
        if (watch_->delay(connection))
            return true;
    }
    Reply reply;
    if (std::strcmp(method, MHD_HTTP_METHOD_GET) == 0 ||
        std::strcmp(method, MHD_HTTP_METHOD_HEAD) == 0) {
        try {
            reply = answer(url, [connection](const char* key) -> std::optional<std::string> {
                const char* value = nullptr;
                if (MHD_lookup_connection_value_n(connection, MHD_GET_ARGUMENT_KIND, key,
                                                  std::strlen(key), &value, nullptr) != MHD_YES)
                    return std::nullopt;
                return std::string(value ? value : "");
            });
        } catch (const std::exception& e) {
            std::fprintf(stderr, "error: %s\n", e.what());
            reply = {500, nullptr, nullptr};
        }
    }
    p->answered = true;
    log(method, *p, reply);
    return queue(connection, reply, false) == MHD_YES;
}

} // namespace server
