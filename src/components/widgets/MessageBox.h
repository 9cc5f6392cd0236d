// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// Every message box of the program goes through here, so that tests can
// read and answer them: in-process through a hook, and in a child process
// through the environment variable TIPSARA_AUTOCLOSE_MESSAGES, which makes
// each box print its caption and text to standard error and answer with its
// default button instead of waiting for a user.

#include <QMessageBox>
#include <QString>

#include <functional>

namespace ui {

struct MessageRecord {
    QString caption;
    QString text;
    QMessageBox::Icon icon;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
};

using MessageHook = std::function<QMessageBox::StandardButton(const MessageRecord&)>;

// Installs a hook that answers every box in its place (empty: none). Returns
// the previous hook.
MessageHook setMessageHook(MessageHook hook);

// Shows a modal message box. A carriage return in the text breaks the line,
// as it does in the message boxes of the platform the texts were written for.
QMessageBox::StandardButton showMessage(QWidget* parent, const QString& caption,
                                        const QString& text, QMessageBox::Icon icon,
                                        QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                                        bool topmost = false);

// Asks a question answered "Да" or "Нет". The text shows as plain text, so
// that a name in it is never read as markup; defaultButton is the answer
// of Enter (and of the autoclose).
QMessageBox::StandardButton askYesNo(QWidget* parent, const QString& caption, const QString& text,
                                     QMessageBox::StandardButton defaultButton);

} // namespace ui
