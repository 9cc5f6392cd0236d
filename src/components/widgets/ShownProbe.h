// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// For measuring start-up from outside: once the watched window has been
// exposed and painted, prints "shown <CLOCK_MONOTONIC nanoseconds>" on
// standard output and closes the window. Header-only and Qt-only, so that a
// bare Qt program can be measured the same way.

#include <QCoreApplication>
#include <QEvent>
#include <QPointer>
#include <QWidget>
#include <QWindow>

#include <cstdio>
#include <ctime>

namespace ui {

class ShownProbe : public QObject {
public:
    explicit ShownProbe(QWidget* window) : window_(window) { qApp->installEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (!done_ && e->type() == QEvent::Expose && window_ &&
            watched == window_->windowHandle() && window_->windowHandle()->isExposed()) {
            done_ = true;
            // Queued: the expose is handled, and the window painted and
            // flushed, before this runs.
            QMetaObject::invokeMethod(
                this,
                [this] {
                    timespec now{};
                    clock_gettime(CLOCK_MONOTONIC, &now);
                    std::printf("shown %lld\n",
                                static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec);
                    std::fflush(stdout);
                    if (window_)
                        window_->close();
                },
                Qt::QueuedConnection);
        }
        return false;
    }

private:
    QPointer<QWidget> window_;
    bool done_ = false;
};

} // namespace ui
