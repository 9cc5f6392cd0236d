// SPDX-License-Identifier: GPL-3.0-or-later
// Runs the shell's test classes with XDG_CONFIG_HOME in a temporary folder,
// set before anything reads the settings, so that no test touches the user's
// own configuration.

#include "ShellTests.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QtTest>

namespace {
QString& configRoot() {
    static QString root;
    return root;
}
} // namespace

QString settingsFile() {
    return configRoot() + QStringLiteral("/Marvek Systems/Tipsara.conf");
}

int main(int argc, char** argv) {
    QTemporaryDir config;
    if (!config.isValid())
        return 1;
    configRoot() = config.path();
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));

    QApplication app(argc, argv);
    int failed = 0;
    for (auto make : {makeSettingsTest, makeWindowsTest}) {
        std::unique_ptr<QObject> test = make();
        failed += QTest::qExec(test.get(), argc, argv);
    }
    return failed;
}
