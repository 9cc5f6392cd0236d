// SPDX-License-Identifier: GPL-3.0-or-later

#include "AntiFreeze.h"

#include <QCoreApplication>
#include <QThread>

namespace smtp {
namespace {
AntiFreeze* current = nullptr;
}

AntiFreeze::AntiFreeze(QObject* parent) : QObject(parent) {
    current = this;
}

AntiFreeze::~AntiFreeze() {
    if (current == this)
        current = nullptr;
}

int AntiFreeze::idleTimeOut() {
    return current && current->Active && current->IdleTimeOut > 0 ? current->IdleTimeOut : 250;
}

void AntiFreeze::Process() {
    if (!current || !current->Active)
        return;
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() != app->thread())
        return;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

} // namespace smtp
