// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// The top-level error report: a failure that no handler catches ends that
// handler and is shown in a message box captioned with the application
// title; the run goes on.
//
// Exception messages are Windows-1251 bytes, like every text of the program.

#include <QAbstractItemModel>
#include <QApplication>
#include <QString>

#include <concepts>
#include <exception>
#include <stdexcept>
#include <string>
#include <utility>

namespace ui {

void setApplicationTitle(const QString& title);
QString applicationTitle();

// Appends "." when the last character's code is above that of "." (a letter
// or a digit, say), so that the report reads as a sentence.
std::string withFinalDot(std::string message);

void reportError(const std::exception& e);
void reportCurrentException();

// Runs a handler; a failure that escapes it is reported and swallowed.
template <class F> void guarded(F&& handler) noexcept {
    try {
        handler();
    } catch (...) {
        reportCurrentException();
    }
}

// The same report on standard error, for a run that nobody may be watching
// (a quit signal at log-out or shutdown), where a box would wait for ever.
void reportErrorToStderr(const std::exception& e);

template <class F> void guardedToStderr(F&& handler) noexcept {
    try {
        handler();
    } catch (const std::exception& e) {
        reportErrorToStderr(e);
    } catch (...) {
        reportErrorToStderr(std::runtime_error("Unknown error"));
    }
}

// Connects signal to a handler that runs through the error report, so that
// no handler can let a failure escape, whatever it is connected to.
template <class Sender, class Signal, class Handler>
QMetaObject::Connection connectGuarded(const Sender* sender, Signal signal, const QObject* context,
                                       Handler handler) {
    // The explicit return type and the constraint let Qt find, without
    // instantiating the body, how many of the signal's arguments the
    // handler takes.
    return QObject::connect(
        sender, signal, context,
        [handler = std::move(handler)](
            auto&&... args) -> void requires std::invocable<Handler&, decltype(args)...> {
            guarded([&] { handler(std::forward<decltype(args)>(args)...); });
        });
}

// Runs handler, guarded, whenever model gains or loses rows or is reset:
// what a window's buttons follow when they depend on a list's rows.
template <class Handler>
void onRowsChanged(const QAbstractItemModel* model, const QObject* context, Handler handler) {
    connectGuarded(model, &QAbstractItemModel::rowsInserted, context, handler);
    connectGuarded(model, &QAbstractItemModel::rowsRemoved, context, handler);
    connectGuarded(model, &QAbstractItemModel::modelReset, context, std::move(handler));
}

// Reports failures that escape any event handler instead of ending the run.
class Application : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override;
};

} // namespace ui
