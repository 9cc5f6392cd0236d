// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// A server started by a test as a child process on 127.0.0.1: it prints a
// line naming its port on standard output and is stopped with SIGTERM when
// the object goes. Its standard error goes to /dev/null, or to a file given.

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <regex>
#include <stdexcept>
#include <string>
#include <vector>

namespace testing_support {

class ServerProcess {
public:
    // portPattern: a regular expression whose first group is the port, looked
    // for in the first line the child prints.
    ServerProcess(const std::vector<std::string>& argv, const std::string& portPattern,
                  const std::string& errorFile = "/dev/null") {
        int out[2];
        if (pipe(out) != 0)
            throw std::runtime_error("pipe failed");
        pid_ = fork();
        if (pid_ < 0)
            throw std::runtime_error("fork failed");
        if (pid_ == 0) {
            prctl(PR_SET_PDEATHSIG, SIGTERM); // never outlive a crashed test
            dup2(out[1], 1);
            const int null = open(errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(null, 2);
            close(out[0]);
            close(out[1]);
            std::vector<char*> args;
            args.reserve(argv.size() + 1);
            for (const std::string& a : argv)
                args.push_back(const_cast<char*>(a.c_str()));
            args.push_back(nullptr);
            execv(args[0], args.data());
            _exit(127);
        }
        close(out[1]);
        std::string line;
        char c;
        while (read(out[0], &c, 1) == 1 && c != '\n')
            line += c;
        close(out[0]);
        std::smatch m;
        if (!std::regex_search(line, m, std::regex(portPattern))) {
            stop();
            throw std::runtime_error("server did not start: '" + line + "'");
        }
        port_ = std::stoi(m[1].str());
    }
    ~ServerProcess() { stop(); }
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    int port() const { return port_; }
    pid_t pid() const { return pid_; }
    std::string root() const { return "127.0.0.1:" + std::to_string(port_); }

    // Stops the child and returns its exit status (as waitpid gives it).
    int stop() {
        if (pid_ <= 0)
            return status_;
        kill(pid_, SIGTERM);
        waitpid(pid_, &status_, 0);
        pid_ = -1;
        return status_;
    }

private:
    pid_t pid_ = -1;
    int port_ = 0;
    int status_ = 0;
};

} // namespace testing_support
