// SPDX-License-Identifier: GPL-3.0-or-later

#include "MessageBox.h"

#include <cstdio>

namespace ui {
namespace {

MessageHook& hookRef() {
    static MessageHook hook;
    return hook;
}

QMessageBox::StandardButton firstButton(QMessageBox::StandardButtons buttons) {
    for (unsigned bit = QMessageBox::FirstButton; bit <= QMessageBox::LastButton; bit <<= 1)
        if (buttons & bit)
            return static_cast<QMessageBox::StandardButton>(bit);
    return QMessageBox::Ok;
}

} // namespace

MessageHook setMessageHook(MessageHook hook) {
    MessageHook old = std::move(hookRef());
    hookRef() = std::move(hook);
    return old;
}

QMessageBox::StandardButton showMessage(QWidget* parent, const QString& caption,
                                        const QString& text, QMessageBox::Icon icon,
                                        QMessageBox::StandardButtons buttons, bool topmost) {
    if (hookRef())
        return hookRef()({caption, text, icon, buttons});
    if (qEnvironmentVariableIsSet("TIPSARA_AUTOCLOSE_MESSAGES")) {
        QString shown = text;
        shown.replace(QLatin1Char('\r'), QLatin1String("\\r"));
        std::fprintf(stderr, "message: %s | %s\n", caption.toUtf8().constData(),
                     shown.toUtf8().constData());
        std::fflush(stderr);
        return firstButton(buttons);
    }
    QString shown = text;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QMessageBox box(icon, caption, shown, buttons, parent);
    if (topmost)
        box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

QMessageBox::StandardButton askYesNo(QWidget* parent, const QString& caption, const QString& text,
                                     QMessageBox::StandardButton defaultButton) {
    const QMessageBox::StandardButtons buttons = QMessageBox::Yes | QMessageBox::No;
    if (hookRef())
        return hookRef()({caption, text, QMessageBox::Question, buttons, defaultButton});
    if (qEnvironmentVariableIsSet("TIPSARA_AUTOCLOSE_MESSAGES")) {
        std::fprintf(stderr, "message: %s | %s\n", caption.toUtf8().constData(),
                     text.toUtf8().constData());
        std::fflush(stderr);
        return defaultButton;
    }
    QMessageBox box(QMessageBox::Question, caption, text, buttons, parent);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(defaultButton);
    box.setEscapeButton(QMessageBox::No);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

} // namespace ui
