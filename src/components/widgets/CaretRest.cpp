// SPDX-License-Identifier: GPL-3.0-or-later

#include "CaretRest.h"

#include <QApplication>
#include <QEvent>
#include <QPointer>
#include <QStyleHints>
#include <QTimer>

namespace ui {
namespace {

std::chrono::milliseconds restTimeout{10000};

// The line and text edits follow QStyleHints::cursorFlashTimeChanged: a
// flash time of 0 stops their blink timer with the caret shown, and the
// desktop's value given back starts it again.
class CaretRest : public QObject {
public:
    explicit CaretRest(QObject* parent) : QObject(parent) {
        rest.setSingleShot(true);
        rest.setInterval(restTimeout);
        connect(&rest, &QTimer::timeout, this, &CaretRest::stop);
        rest.start();
    }

    QTimer rest;

protected:
    bool eventFilter(QObject* /*watched*/, QEvent* event) override {
        switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::ShortcutOverride: // a key bound to a command gets no KeyPress
        case QEvent::InputMethod:      // text composed by an input method
        case QEvent::MouseButtonPress:
            resume();
            rest.start();
            break;
        default:
            break;
        }
        return false;
    }

private:
    void stop() {
        const int flashTime = QGuiApplication::styleHints()->cursorFlashTime();
        if (flashTime <= 0)
            return; // the desktop does not blink
        desktopFlashTime = flashTime;
        QGuiApplication::styleHints()->setCursorFlashTime(0);
    }

    void resume() {
        if (desktopFlashTime > 0)
            QGuiApplication::styleHints()->setCursorFlashTime(desktopFlashTime);
        desktopFlashTime = 0;
    }

    int desktopFlashTime = 0; // while stopped
};

QPointer<CaretRest> instance;

} // namespace

QObject* installCaretRest() {
    if (!instance) {
        instance = new CaretRest(qApp);
        qApp->installEventFilter(instance);
    }
    return instance;
}

std::chrono::milliseconds caretRestTimeout() {
    return restTimeout;
}

void setCaretRestTimeout(std::chrono::milliseconds timeout) {
    restTimeout = timeout;
    if (instance) {
        instance->rest.setInterval(timeout);
        instance->rest.start();
    }
}

} // namespace ui
