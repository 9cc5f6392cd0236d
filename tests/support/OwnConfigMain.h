// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// The main of a window test whose settings must be its own: XDG_CONFIG_HOME
// points into a temporary folder before anything reads the settings.

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace testing_support {

template <class Test> int runWithOwnConfig(int argc, char** argv) {
    QTemporaryDir config;
    if (!config.isValid())
        return 1;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    QApplication app(argc, argv);
    Test test;
    return QTest::qExec(&test, argc, argv);
}

} // namespace testing_support
