// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// Import and export without a window, for scripts and for a maker who
// prepares bundles:
//   tipsara --import PATH... [--category NAME --subcategory NAME] [--subfolders]
//   tipsara --export FILE [--all | --category NAME [--subcategory NAME]]
// The report goes to standard output, a failure to standard error, in UTF-8.
// Exit codes: 0 done; 1 imported, but some files were refused; 2 nothing
// done (wrong arguments, the program running, the database out of reach, a
// failed import or export).

#include <optional>

namespace exchange {

// The exit code when the arguments ask for an import or export (run here,
// before any window is made), nothing otherwise.
std::optional<int> RunFromCommandLine(int argc, char** argv);

} // namespace exchange
