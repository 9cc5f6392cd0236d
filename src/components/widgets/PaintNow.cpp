// SPDX-License-Identifier: GPL-3.0-or-later

#include "PaintNow.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEvent>
#include <QTimer>
#include <QWidget>
#include <QWindow>

namespace ui {

void waitExposed(QWidget* w, int timeoutMs) {
    if (!w)
        return;
    QWidget* top = w->window();
    QDeadlineTimer deadline(timeoutMs);
    // The timer only wakes the wait below when the display stays silent.
    QTimer wake;
    wake.start(timeoutMs);
    while (top->isVisible() && top->windowHandle() && !top->windowHandle()->isExposed() &&
           !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents |
                                        QEventLoop::WaitForMoreEvents);
}

void paintNow(QWidget* w) {
    if (!w)
        return;
    // Widgets that change mark themselves dirty and post one update request
    // to their top-level window; handling it now paints just those regions.
    QCoreApplication::sendPostedEvents(w->window(), QEvent::UpdateRequest);
}

void paintWhenExposed(QWidget* w) {
    waitExposed(w, 1000);
    paintNow(w);
}

} // namespace ui
