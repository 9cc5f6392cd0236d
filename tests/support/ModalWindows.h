// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// Driving the program's modal windows from a test: a case runs its actions
// once the window is up, and a window it leaves open is closed, so that a
// failing case cannot hang the run.

#include "app/UMain.h"
#include "authoring/UAdd.h"
#include "search/USearch.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QString>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

#include <functional>

namespace testing_support {

inline QString q(const char* utf8) {
    return QString::fromUtf8(utf8);
}

// Set when a modal window was still open after the actions meant to close it.
inline bool stuckModal = false;

// Runs fn once the command's modal window is up; a window fn leaves open is
// closed empty, so that a failing case cannot hang the run.
inline void whenShown(std::function<void()> fn) {
    QTimer::singleShot(0, qApp, [fn = std::move(fn)] {
        QVERIFY(QTest::qWaitFor([] { return QApplication::activeModalWidget() != nullptr; }));
        fn();
        if (auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            stuckModal = true;
            if (SearchFrm)
                SearchFrm->LV->clear();
            d->reject();
        }
    });
}

// Chooses item i of a list as a user would.
inline void choose(QComboBox* c, int i) {
    c->setCurrentIndex(i);
    emit c->activated(i);
}

// The main window with its add window over the data module, shown and
// active, as the commands under test need them.
inline void showMainWindow() {
    Main = new TMain();
    AddFrm = new TAddFrm(Main);
    Main->show();
    QApplication::setActiveWindow(Main);
    QVERIFY(QTest::qWaitForWindowActive(Main));
}

} // namespace testing_support
