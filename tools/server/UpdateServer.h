// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// The update server: every request of the update protocol, answered from the
// master as read into memory. Text replies are Windows-1251; a request it cannot answer
// (an unknown path, a number that is not one, a missing row) gets 404 with
// an empty body.
//
// Connections are served by a few event threads, so that a connection costs
// a few kilobytes and no thread, and the server holds up against clients
// that are slow, idle, or send without end: see Limits.

#include "Master.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>

struct MHD_Daemon;
struct MHD_Connection;

namespace server {

// What one request and one client may take. A request that breaks a size
// limit is answered 414 (the line) or 431 (the headers) and its connection
// closed; a connection that breaks a time limit is closed.
struct Limits {
    size_t requestLine = 8192;  // method, target and version
    size_t headerBytes = 16384; // all header lines together
    size_t headerLines = 100;
    int requestSeconds = 10; // a whole request's line and headers, from when it may begin
    int idleSeconds = 2;     // no byte in or out for this long closes a connection
    int perAddress = 64;     // connections from one address at once; 0: no cap
    int connections = 10000; // connections at once; the longest waiting for its request
                             // is closed for a new one beyond it
};

struct Options {
    std::string host = "127.0.0.1";
    int port = 8080;        // 0: any free port
    std::string base;       // a folder before /get/tipsara/, e.g. "/mirror"
    std::string statusFile; // empty: a status file of three empty lines
    int delayMs = 0;        // every reply held back this long: a distant server
    bool log = true;        // a line on standard error for every request
    int threads = 0;        // event threads; 0: one a core
    Limits limits;
};

// A decimal identifier as the protocol writes it: digits only, at most
// 2147483647.
std::optional<int32_t> parseId(const std::string& text);
// A comma-separated list of such identifiers; the empty text is the empty list.
std::optional<std::set<int32_t>> parseIdList(const std::string& text);

// The new-article reply: four lines for every article whose ID is not in
// known, in ID order. Line breaks in a title become spaces.
std::string newHintsReply(const std::vector<MasterDatabase::Article>& articles,
                          const std::set<int32_t>& known);

// A ZIP archive holding body as the member name.
std::string zipPackage(const std::string& memberName, const std::string& body);

// A reply: status, body (shared with the master's caches, never copied) and
// its type.
struct Reply {
    int status = 404;
    std::shared_ptr<const std::string> body;
    const char* type = nullptr;
};

class UpdateServer {
public:
    UpdateServer(ServedMaster& master, Options options);
    ~UpdateServer();
    UpdateServer(const UpdateServer&) = delete;
    UpdateServer& operator=(const UpdateServer&) = delete;

    // Binds the listening socket and starts serving; returns the port, or -1
    // when it cannot.
    int bind();
    // Waits until stop() is called from another thread.
    bool serve();
    void stop();

    // The reply to a GET of path (as decoded) with the query's value lookup.
    Reply answer(const std::string& path,
                 const std::function<std::optional<std::string>(const char*)>& param) const;

private:
    struct Peer;
    struct Watch;
    // One request whose headers have all come; false closes the connection.
    bool handle(MHD_Connection* connection, const char* url, const char* method,
                const char* version, size_t* uploadSize, void** context);
    void log(const char* method, const Peer& peer, const Reply& reply) const;

    ServedMaster& master_;
    Options options_;
    std::unique_ptr<Watch> watch_;
    MHD_Daemon* daemon_ = nullptr;
    std::mutex stopMutex_;
    std::condition_variable stopCv_;
    bool stopped_ = false;
};

} // namespace server
