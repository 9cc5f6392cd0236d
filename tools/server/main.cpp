// SPDX-License-Identifier: GPL-3.0-or-later
// tipsara-server: the update server of the catalogue, for trying and testing
// updates for real. Serves a master database; also makes one from catalogue
// folders.

#include "Master.h"
#include "UpdateServer.h"
#include "components/text/Numbers.h"

#include <pthread.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <thread>
#include <vector>

namespace {

int usage(const char* self) {
    std::fprintf(stderr,
                 "usage: %s [--listen HOST:PORT] [--base /FOLDER] [--status FILE] [--delay MS]\n"
                 "          [--no-log] [--threads N] MASTER.gdb\n"
                 "       %s --make-master MASTER.gdb SCHEMA.sql CATALOGUE-DIR|BUNDLE.zip...\n"
                 "Serves the update protocol under [FOLDER]/get/tipsara/ (default listening\n"
                 "address 127.0.0.1:8080; port 0 takes any free port). Without --status the\n"
                 "status file is three empty lines. --delay holds every reply back MS\n"
                 "milliseconds, as a distant server would. Every request is logged on\n"
                 "standard error unless --no-log. At most N connections (default 1024) are\n"
                 "served at once; an idle one is closed after 2 s. The master and status\n"
                 "file are read into memory, and again within a second of a change (replace\n"
                 "the master by renaming a new one over it). Stops on SIGINT or SIGTERM.\n",
                 self, self);
    return 2;
}

bool parseListen(const std::string& text, server::Options& options) {
    const size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0)
        return false;
    options.host = text.substr(0, colon);
    if (options.host.size() > 2 && options.host.front() == '[' && options.host.back() == ']')
        options.host = options.host.substr(1, options.host.size() - 2);
    const std::optional<int32_t> port = text::PlainInteger(text.substr(colon + 1), false);
    if (!port || *port > 65535)
        return false;
    options.port = *port;
    return true;
}

int serve(const std::string& master, const server::Options& options) {
    // Taken by sigwait below; blocked before any thread starts, the engine's
    // and the server's included, so that none of them gets the signal.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    server::ServedMaster served(master, options.statusFile);
    served.watch(std::chrono::seconds(1));
    server::UpdateServer http(served, options);
    const int port = http.bind();
    if (port < 0) {
        std::fprintf(stderr, "tipsara-server: cannot listen on %s:%d\n", options.host.c_str(),
                     options.port);
        return 1;
    }
    const bool v6 = options.host.find(':') != std::string::npos;
    std::printf("tipsara-server: listening on http://%s%s%s:%d%s/get/tipsara/\n", v6 ? "[" : "",
                options.host.c_str(), v6 ? "]" : "", port, options.base.c_str());
    std::fflush(stdout);

    std::thread listener([&] { http.serve(); });
    int signal = 0;
    sigwait(&stopSignals, &signal);
    http.stop();
    listener.join();
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    try {
        if (!args.empty() && args[0] == "--make-master") {
            if (args.size() < 4)
                return usage(argv[0]);
            server::makeMaster(args[1], args[2], {args.begin() + 3, args.end()});
            std::printf("made %s\n", args[1].c_str());
            return 0;
        }
        server::Options options;
        std::string master;
        for (size_t i = 0; i < args.size(); ++i) {
            const std::string& a = args[i];
            const bool hasValue = i + 1 < args.size();
            if (a == "--listen" && hasValue) {
                if (!parseListen(args[++i], options))
                    return usage(argv[0]);
            } else if (a == "--base" && hasValue) {
                options.base = args[++i];
                if (!options.base.empty() && options.base.front() != '/')
                    options.base.insert(options.base.begin(), '/');
                while (!options.base.empty() && options.base.back() == '/')
                    options.base.pop_back();
            } else if (a == "--delay" && hasValue) {
                const std::optional<int32_t> ms = text::PlainInteger(args[++i], false);
                if (!ms)
                    return usage(argv[0]);
                options.delayMs = *ms;
            } else if (a == "--no-log") {
                options.log = false;
            } else if (a == "--threads" && hasValue) {
                const std::optional<int32_t> n = text::PlainInteger(args[++i], false);
                if (!n || *n < 1)
                    return usage(argv[0]);
                options.maxThreads = *n;
            } else if (a == "--status" && hasValue) {
                options.statusFile = args[++i];
            } else if (a.rfind("--", 0) == 0 || !master.empty()) {
                return usage(argv[0]);
            } else {
                master = a;
            }
        }
        if (master.empty())
            return usage(argv[0]);
        return serve(master, options);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tipsara-server: %s\n", e.what());
        return 1;
    }
}
