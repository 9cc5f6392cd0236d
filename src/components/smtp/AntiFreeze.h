// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// Keeps the windows alive while the mail layer blocks the GUI thread: while
// an active AntiFreeze exists, every network wait that has gone IdleTimeOut
// milliseconds without data lets the application process its pending events.

#include <QObject>

namespace smtp {

class AntiFreeze : public QObject {
public:
    explicit AntiFreeze(QObject* parent = nullptr);
    ~AntiFreeze() override;

    bool Active = true;
    int IdleTimeOut = 250;

    // The slice a wait lasts before it calls Process: IdleTimeOut of the
    // active instance, or the same 250 ms when there is none.
    static int idleTimeOut();
    // Called by the waits; processes the pending events when an active
    // instance exists and the caller is the GUI thread.
    static void Process();
};

} // namespace smtp
