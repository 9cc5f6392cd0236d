// SPDX-License-Identifier: GPL-3.0-or-later

#include "Process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <stdexcept>

extern char** environ;

namespace bench {

Spawned spawn(const std::vector<std::string>& argv, const std::vector<std::string>& extra,
              bool captureOut, const std::string& errFile) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
        env.emplace_back(*e);
    for (const std::string& x : extra) {
        const std::string name = x.substr(0, x.find('=') + 1);
        std::erase_if(env, [&](const std::string& e) { return e.rfind(name, 0) == 0; });
        env.push_back(x);
    }
    std::vector<char*> envp;
    envp.reserve(env.size() + 1);
    for (std::string& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> args = argv;
    std::vector<char*> argp;
    argp.reserve(args.size() + 1);
    for (std::string& a : args)
        argp.push_back(a.data());
    argp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    int pipeFds[2] = {-1, -1};
    if (captureOut) {
        if (pipe2(pipeFds, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe failed");
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    }
    posix_spawn_file_actions_addopen(&actions, 2, errFile.empty() ? "/dev/null" : errFile.c_str(),
                                     O_WRONLY | O_CREAT | O_APPEND, 0600);
    Spawned child;
    const int rc = posix_spawn(&child.pid, argp[0], &actions, nullptr, argp.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (captureOut)
        close(pipeFds[1]);
    if (rc != 0) {
        if (captureOut)
            close(pipeFds[0]);
        throw std::runtime_error("cannot start " + argv[0] + ": " + std::strerror(rc));
    }
    child.out = pipeFds[0];
    return child;
}

std::string readLine(int fd) {
    std::string line;
    char c = 0;
    while (true) {
        const ssize_t n = read(fd, &c, 1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0 || c == '\n')
            return line;
        line += c;
    }
}

int wait(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR)
            return -1;
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    return 128 + WTERMSIG(status);
}

std::string firstLine(const std::vector<std::string>& argv, const std::vector<std::string>& extra,
                      int* code) {
    const Spawned c = spawn(argv, extra, true);
    std::string line = readLine(c.out);
    close(c.out);
    *code = wait(c.pid);
    return line;
}

void run(const std::vector<std::string>& argv) {
    const int code = wait(spawn(argv).pid);
    if (code != 0)
        throw std::runtime_error(argv[0] + " ended with " + std::to_string(code));
}

long long monotonicNs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<long long>(t.tv_sec) * 1000000000LL + t.tv_nsec;
}

ServerChild::ServerChild(const std::vector<std::string>& argv, const std::string& errFile)
    : child_(spawn(argv, {}, true, errFile)) {
    const std::string line = readLine(child_.out);
    const size_t at = line.find("127.0.0.1:");
    if (at == std::string::npos) {
        wait(child_.pid);
        close(child_.out);
        throw std::runtime_error("the update server did not start: " + line);
    }
    port_ = std::stoi(line.substr(at + 10));
}

ServerChild::~ServerChild() {
    kill(child_.pid, SIGTERM);
    wait(child_.pid);
    close(child_.out);
}

double nowMs() {
    return static_cast<double>(monotonicNs()) / 1e6;
}

} // namespace bench
