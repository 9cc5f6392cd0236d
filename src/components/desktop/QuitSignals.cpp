// SPDX-License-Identifier: GPL-3.0-or-later

#include "QuitSignals.h"

#include <QSocketNotifier>

#include <spawn.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <csignal>

extern char** environ;

namespace {
sigset_t quitSet() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    return set;
}
} // namespace

namespace quitsignals {

void block() {
    sigset_t set = quitSet();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

bool startDetachedWithDefaultSignals(const QString& program, const QStringList& args) {
    std::vector<std::string> storage{program.toStdString()};
    storage.reserve(1 + static_cast<size_t>(args.size()));
    for (const QString& a : args)
        storage.push_back(a.toStdString());
    std::vector<char*> argv;
    argv.reserve(storage.size() + 1);
    for (std::string& s : storage)
        argv.push_back(s.data());
    argv.push_back(nullptr);

    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none, defaults = quitSet();
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setflags(&attr,
                             POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSID);
    pid_t pid = 0;
    int rc = posix_spawnp(&pid, argv[0], nullptr, &attr, argv.data(), environ);
    posix_spawnattr_destroy(&attr);
    return rc == 0;
}

} // namespace quitsignals

QuitSignals::QuitSignals(std::function<void()> onSignal) : onSignal_(std::move(onSignal)) {
    sigset_t set = quitSet();
    fd_ = signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
    if (fd_ < 0)
        return;
    notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
        signalfd_siginfo info;
        bool any = false;
        while (::read(fd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info))
            any = true;
        if (any && onSignal_)
            onSignal_();
    });
}

QuitSignals::~QuitSignals() {
    delete notifier_;
    if (fd_ >= 0)
        ::close(fd_);
}
