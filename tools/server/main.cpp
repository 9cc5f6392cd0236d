// SPDX-License-Identifier: GPL-3.0-or-later
// tipsara-server: the update server of the catalogue, for trying and testing
// updates for real. Serves a master database; also makes one from catalogue
// folders.

#include "Master.h"
#include "Publish.h"
#include "UpdateServer.h"
#include "components/text/Numbers.h"

#include <pthread.h>
#include <sys/resource.h>

#include <algorithm>
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
                 "          [--no-log] [--threads N] [--connections N] [--per-address N]\n"
                 "          MASTER.gdb\n"
                 "       %s --make-master MASTER.gdb SCHEMA.sql CATALOGUE-DIR|BUNDLE.zip...\n"
                 "       %s --publish MASTER.gdb [--dry-run] SOURCE...\n"
                 "Serves the update protocol under [FOLDER]/get/tipsara/ (default listening\n"
                 "address 127.0.0.1:8080; port 0 takes any free port). Without --status the\n"
                 "status file is three empty lines. --delay holds every reply back MS\n"
                 "milliseconds, as a distant server would. Every request is logged on\n"
                 "standard error unless --no-log. Connections are served by N event threads\n"
                 "(default one a core). At most --connections at once (default 10000: the\n"
                 "one waiting longest for its request is closed for a new one), at most\n"
                 "--per-address from one address (default 64, 0 for no cap: behind a proxy\n"
                 "all come from it). A request's line and headers must come within 10 s,\n"
                 "the line within 8 KiB (else 414), the headers within 100 lines and\n"
                 "16 KiB (else 431); a connection silent for 2 s is closed. The master and status\n"
                 "file are read into memory, and again within a second of a change (replace\n"
                 "the master by renaming a new one over it). Stops on SIGINT or SIGTERM.\n"
                 "--publish adds the articles of bundles (.zip) and mailed tips (.eml) to\n"
                 "the master, all or none; --dry-run lists them and changes nothing.\n",
                 self, self, self);
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

    // Every connection is a descriptor: take all the system allows, and keep
    // the cap below it (the master, log and engine need a few).
    rlimit files{};
    server::Options opts = options;
    if (getrlimit(RLIMIT_NOFILE, &files) == 0) {
        files.rlim_cur = files.rlim_max;
        setrlimit(RLIMIT_NOFILE, &files);
        getrlimit(RLIMIT_NOFILE, &files);
        if (files.rlim_cur != RLIM_INFINITY)
            opts.limits.connections =
                static_cast<int>(std::min<rlim_t>(static_cast<rlim_t>(opts.limits.connections),
                                                  std::max<rlim_t>(files.rlim_cur, 256) - 128));
    }

    server::ServedMaster served(master, options.statusFile);
    served.watch(std::chrono::seconds(1));
    server::UpdateServer http(served, opts);
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
        if (!args.empty() && args[0] == "--publish") {
            const bool dryRun = std::erase(args, std::string("--dry-run")) > 0;
            if (args.size() < 3)
                return usage(argv[0]);
            return server::publishCommand(args[1], {args.begin() + 2, args.end()}, dryRun);
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
                if (!n || *n < 1 || *n > 256)
                    return usage(argv[0]);
                options.threads = *n;
            } else if (a == "--connections" && hasValue) {
                const std::optional<int32_t> n = text::PlainInteger(args[++i], false);
                if (!n || *n < 1 || *n > 1000000)
                    return usage(argv[0]);
                options.limits.connections = *n;
            } else if (a == "--per-address" && hasValue) {
                const std::optional<int32_t> n = text::PlainInteger(args[++i], false);
                if (!n || *n > 1000000)
                    return usage(argv[0]);
                options.limits.perAddress = *n;
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
