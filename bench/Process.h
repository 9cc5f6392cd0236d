// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// Child processes for the benchmark: started with posix_spawn, so that the
// cost of starting one is what a shell script would pay, not more.

#include <sys/types.h>

#include <string>
#include <vector>

namespace bench {

struct Spawned {
    pid_t pid = -1;
    int out = -1; // read end of the child's standard output, when asked for
};

// Starts argv[0] (a path) with the environment of this process plus extra
// ("NAME=value" entries). With captureOut the child's standard output is a
// pipe; its standard error goes to errFile (or /dev/null when empty).
Spawned spawn(const std::vector<std::string>& argv, const std::vector<std::string>& extra = {},
              bool captureOut = false, const std::string& errFile = {});

// One line from a pipe, without its line feed; empty at end of file.
std::string readLine(int fd);

// Waits for the child; returns its exit code (or 128 + signal).
int wait(pid_t pid);

// Runs a program to its end and returns the first line it printed, with its
// exit code in *code.
std::string firstLine(const std::vector<std::string>& argv, const std::vector<std::string>& extra,
                      int* code);

// Runs a program to its end; throws when it fails.
void run(const std::vector<std::string>& argv);

// tipsara-server, started from argv with its standard error going to
// errFile: the port is read from the line it prints when listening on
// 127.0.0.1. Stopped with SIGTERM when the object goes.
class ServerChild {
public:
    ServerChild(const std::vector<std::string>& argv, const std::string& errFile);
    ~ServerChild();
    ServerChild(const ServerChild&) = delete;
    ServerChild& operator=(const ServerChild&) = delete;

    pid_t pid() const { return child_.pid; }
    int port() const { return port_; }

private:
    Spawned child_;
    int port_ = 0;
};

double nowMs();
long long monotonicNs();

} // namespace bench
