// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// Tool-tips for the whole application drawn on a translucent background with
// their text shadowed in silver. The translucency is painted over a grab of
// the screen beneath, so it needs no compositing window manager.

#include <QObject>
#include <QPointer>
#include <QWidget>

namespace ui {

class HintWindow : public QWidget {
public:
    HintWindow();
    void showHint(const QString& text, const QPoint& globalPos);
    QString text() const { return text_; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QString text_;
    QPixmap beneath_;
};

// Installs the application-wide filter that shows HintWindow instead of the
// standard tool-tip. Returns the filter, owned by the application.
QObject* installHintWindow();

// The hint window of the filter, for tests; null before the first hint.
HintWindow* currentHintWindow();

} // namespace ui
