// SPDX-License-Identifier: GPL-3.0-or-later

#include "ErrorReport.h"

#include "MessageBox.h"
#include "components/text/QtText.h"

#include <cstdio>

namespace ui {
namespace {
QString& titleRef() {
    static QString title;
    return title;
}
} // namespace

void setApplicationTitle(const QString& title) {
    titleRef() = title;
}
QString applicationTitle() {
    return titleRef();
}

std::string withFinalDot(std::string message) {
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.')
        message += '.';
    return message;
}

void reportError(const std::exception& e) {
    showMessage(QApplication::activeWindow(), applicationTitle(), text::toQ(withFinalDot(e.what())),
                QMessageBox::Critical);
}

void reportErrorToStderr(const std::exception& e) {
    const QString line =
        applicationTitle() + QStringLiteral(": ") + text::toQ(withFinalDot(e.what())) + '\n';
    std::fputs(line.toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
}

void reportCurrentException() {
    try {
        throw;
    } catch (const std::exception& e) {
        reportError(e);
    } catch (...) {
        reportError(std::runtime_error("Unknown error"));
    }
}

bool Application::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        reportCurrentException();
        return false;
    }
}

} // namespace ui
