// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// Counts the paintings of the windows on screen, so that a baseline can be
// given the same number of them, and records when each happened.

#include <QObject>
#include <QString>

#include <functional>
#include <map>
#include <vector>

class QWidget;

namespace bench {

class PaintLog : public QObject {
public:
    // Watches every widget of the application from now until destroyed.
    PaintLog();
    ~PaintLog() override;
    PaintLog(const PaintLog&) = delete;
    PaintLog& operator=(const PaintLog&) = delete;

    void clear();

    // A painting is one pass over a window: the paint events it sends to its
    // widgets back to back, with no other event between them.
    struct Pass {
        QString window; // the object name of the top-level window
        double at;      // ms, as nowMs
    };
    const std::vector<Pass>& passes() const { return passes_; }
    // The passes over the window of this object name.
    int passesOf(const QString& window) const;
    // The paint events received by the widget of this object name.
    int paintsOf(const QString& widget) const;
    // The longest time without any painting between from and to (ms).
    double longestGap(double from, double to) const;

    // Called with each painted widget, before it paints.
    std::function<void(QWidget*)> onPaint;

protected:
    bool eventFilter(QObject* o, QEvent* e) override;

private:
    std::vector<Pass> passes_;
    std::map<QString, int> paints_;
    const QWidget* lastWindow_ = nullptr;
    long long events_ = 0;
    long long lastPaintEvent_ = -2;
};

} // namespace bench
