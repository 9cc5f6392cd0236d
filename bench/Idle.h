// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// The program at rest: how often its threads wake and how much CPU they take
// while nobody touches it, with the main window alone and with each of the
// browser, the search window and the add window open.

#include <string>

namespace bench {

void measureIdle();

// The child of measureIdle: the program's windows and data module on db, the
// main window shown and the command for window run ("browser", "search",
// "add"; anything else opens nothing). Prints "ready" once its loop runs and
// stays until SIGTERM.
int idleChild(int argc, char** argv, const std::string& db, const std::string& window);

} // namespace bench
