// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// SIGTERM and SIGINT close the main window like any other way of closing it,
// so the settings are saved and the database is closed cleanly.
//
// The embedded database engine installs handlers of its own for these
// signals that shut the engine down under the running program, and a signal
// that lands on one of the engine's threads leaves it spinning at the next
// detach. So the two signals are blocked in every thread from the first line
// of main (threads inherit the mask) and read from a signalfd on the GUI
// thread instead. Programs started from here must unblock them in the child;
// startDetachedWithDefaultSignals does that.

#include <QObject>
#include <QStringList>

#include <functional>

class QSocketNotifier;

namespace quitsignals {
// Call first thing in main, before any thread exists.
void block();
// Starts a program with the signal mask and dispositions of a fresh process.
bool startDetachedWithDefaultSignals(const QString& program, const QStringList& args);
} // namespace quitsignals

class QuitSignals : public QObject {
public:
    // onSignal runs on the GUI thread for each SIGTERM or SIGINT.
    explicit QuitSignals(std::function<void()> onSignal);
    ~QuitSignals() override;

private:
    std::function<void()> onSignal_;
    int fd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
};
