// SPDX-License-Identifier: GPL-3.0-or-later

#include "HintWindow.h"

#include <QAction>
#include <QApplication>
#include <QHelpEvent>
#include <QMenu>
#include <QPainter>
#include <QScreen>
#include <QTimer>

namespace ui {
namespace {

constexpr int kMargin = 4;
constexpr int kShowMs = 5000;

class HintFilter : public QObject {
public:
    using QObject::QObject;
    ~HintFilter() override { delete window; }
    HintWindow* window = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
        case QEvent::ToolTip: {
            auto* widget = qobject_cast<QWidget*>(watched);
            if (!widget)
                return false;
            auto* help = static_cast<QHelpEvent*>(event);
            QString text = hintOf(widget, help->pos());
            if (text.isEmpty()) {
                hide();
                return true;
            }
            if (!window)
                window = new HintWindow();
            window->showHint(text, help->globalPos());
            hideTimer.start(kShowMs);
            return true;
        }
        case QEvent::Leave:
        case QEvent::MouseButtonPress:
        case QEvent::KeyPress:
        case QEvent::Wheel:
        case QEvent::WindowDeactivate:
            hide();
            return false;
        default:
            return false;
        }
    }

public:
    QTimer hideTimer;
    void hide() {
        if (window)
            window->hide();
    }

private:
    static QString hintOf(QWidget* widget, const QPoint& pos) {
        if (auto* menu = qobject_cast<QMenu*>(widget)) {
            if (!menu->toolTipsVisible())
                return {};
            QAction* action = menu->actionAt(pos);
            // An action without a tool-tip of its own reports its caption.
            if (!action || action->toolTip() == QString(action->text()).remove(QLatin1Char('&')))
                return {};
            return action->toolTip();
        }
        return widget->toolTip();
    }
};

QPointer<HintFilter> filterInstance;

} // namespace

HintWindow::HintWindow() : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint) {
    setObjectName(QStringLiteral("HintWindow"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void HintWindow::showHint(const QString& text, const QPoint& globalPos) {
    text_ = text;
    const QFontMetrics fm(font());
    const QSize size = fm.size(0, text) + QSize(2 * kMargin + 1, 2 * kMargin + 1);
    QPoint at = globalPos + QPoint(2, 20);
    if (QScreen* screen = QGuiApplication::screenAt(globalPos)) {
        const QRect area = screen->availableGeometry();
        at.setX(std::min(at.x(), area.right() - size.width()));
        if (at.y() + size.height() > area.bottom())
            at.setY(globalPos.y() - size.height() - 4);
        // What is beneath the hint, to paint it through.
        hide();
        beneath_ = screen->grabWindow(0, at.x() - screen->geometry().x(),
                                      at.y() - screen->geometry().y(), size.width(), size.height());
    }
    setGeometry(QRect(at, size));
    show();
    raise();
    update();
}

void HintWindow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (!beneath_.isNull())
        p.drawPixmap(0, 0, beneath_);
    p.fillRect(rect(), QColor(255, 255, 231, beneath_.isNull() ? 255 : 190));
    p.setPen(QColor(128, 128, 128));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
    const QRect textRect = rect().adjusted(kMargin, kMargin, -kMargin, -kMargin);
    p.setPen(QColor(192, 192, 192));
    p.drawText(textRect.translated(1, 1), Qt::AlignLeft | Qt::AlignTop, text_);
    p.setPen(Qt::black);
    p.drawText(textRect, Qt::AlignLeft | Qt::AlignTop, text_);
}

QObject* installHintWindow() {
    if (!filterInstance) {
        filterInstance = new HintFilter(qApp);
        filterInstance->hideTimer.setSingleShot(true);
        QObject::connect(&filterInstance->hideTimer, &QTimer::timeout, filterInstance,
                         [] { filterInstance->hide(); });
        qApp->installEventFilter(filterInstance);
    }
    return filterInstance;
}

HintWindow* currentHintWindow() {
    return filterInstance ? filterInstance->window : nullptr;
}

} // namespace ui
