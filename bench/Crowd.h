// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// tipsara-server under a crowd: many clients at once, each doing a whole
// update run over its own kept-alive connection to 127.0.0.1, driven from
// one thread with non-blocking sockets so that the client stays light.

#include <string>
#include <vector>

namespace bench {

struct CrowdResult {
    long requests = 0;
    long errors = 0;
    long slow = 0; // replies that took a second or more
    double seconds = 0;
    double p50Ms = 0, p99Ms = 0, maxMs = 0;
    double clientCpuS = 0, serverCpuS = 0;
};

// Runs `clients` update runs at once against the server at 127.0.0.1:port;
// serverPid (when > 0) is read for the server's CPU time.
CrowdResult runCrowd(int port, int clients, int serverPid);

// The figures: the server with request logging off, then on (to a file);
// or, with port > 0, the crowd against a server already listening there on
// the bench master (e.g. replicas behind a proxy).
void measureCrowd(int port = 0);

} // namespace bench
