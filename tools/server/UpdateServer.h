// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// The update server: every request of the update protocol, answered from the
// master as read into memory. Text replies are Windows-1251; a request it cannot answer
// (an unknown path, a number that is not one, a missing row) gets 404 with
// an empty body.

#include "Master.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>

namespace httplib {
class Server;
}

namespace server {

struct Options {
    std::string host = "127.0.0.1";
    int port = 8080;          // 0: any free port
    std::string base;         // a folder before /get/tipsara/, e.g. "/mirror"
    std::string statusFile;   // empty: a status file of three empty lines
    int delayMs = 0;          // every reply held back this long: a distant server
    bool log = true;          // a line on standard error for every request
    int maxThreads = 1024;    // the most connections served at once
    int keepAliveSeconds = 2; // a kept-alive connection idle this long is closed
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

class UpdateServer {
public:
    UpdateServer(ServedMaster& master, Options options);
    ~UpdateServer();

    // Binds the listening socket; returns the port, or -1 when it cannot.
    int bind();
    // Serves until stop() is called from another thread.
    bool serve();
    void stop();

private:
    void routes();
    ServedMaster& master_;
    Options options_;
    std::unique_ptr<httplib::Server> http_;
    int listening_ = -1; // the listening socket, once made
};

} // namespace server
