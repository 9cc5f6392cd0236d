// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// The figures taken in child processes: the program started to its main
// window beside a bare Qt window, the engine's attach in a fresh process,
// and the peak memory with the browser open.

#include <filesystem>
#include <string>

namespace bench {

// The program and the main catalogue copied into a folder of their own in
// the work folder, as a user's copy would stand; returns the folder.
std::filesystem::path prepareAppDir();

void measureStartup();
void measureMemory(int articles);

// The child of measureMemory: the program's windows and data module as it
// makes them, the browser opened on db; prints the peak resident memory with
// the tree and before it.
int memoryChild(int argc, char** argv, const std::string& db);

} // namespace bench
