// SPDX-License-Identifier: GPL-3.0-or-later

#include "Paints.h"

#include "Process.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

#include <algorithm>

namespace bench {

PaintLog::PaintLog() {
    qApp->installEventFilter(this);
}

PaintLog::~PaintLog() {
    qApp->removeEventFilter(this);
}

void PaintLog::clear() {
    passes_.clear();
    paints_.clear();
    lastWindow_ = nullptr;
    lastPaintEvent_ = -2;
}

int PaintLog::passesOf(const QString& window) const {
    return static_cast<int>(std::count_if(passes_.begin(), passes_.end(),
                                          [&](const Pass& p) { return p.window == window; }));
}

int PaintLog::paintsOf(const QString& widget) const {
    const auto it = paints_.find(widget);
    return it == paints_.end() ? 0 : it->second;
}

double PaintLog::longestGap(double from, double to) const {
    double longest = 0;
    double last = from;
    for (const Pass& p : passes_) {
        if (p.at < from || p.at > to)
            continue;
        longest = std::max(longest, p.at - last);
        last = p.at;
    }
    return std::max(longest, to - last);
}

bool PaintLog::eventFilter(QObject* o, QEvent* e) {
    const long long n = ++events_;
    if (e->type() != QEvent::Paint || !o->isWidgetType())
        return false;
    auto* w = static_cast<QWidget*>(o);
    const QWidget* top = w->window();
    if (top != lastWindow_ || n != lastPaintEvent_ + 1)
        passes_.push_back({top->objectName(), nowMs()});
    lastWindow_ = top;
    lastPaintEvent_ = n;
    ++paints_[w->objectName()];
    if (onPaint)
        onPaint(w);
    return false;
}

} // namespace bench
