// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// The test classes of the shell, run one after the other by shell_main.cpp
// against a settings folder of their own.

#include <QObject>
#include <QString>

#include <memory>

// "<XDG_CONFIG_HOME>/Marvek Systems/Tipsara.conf" of this run.
QString settingsFile();

std::unique_ptr<QObject> makeSettingsTest();
std::unique_ptr<QObject> makeWindowsTest();
