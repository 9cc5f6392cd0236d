// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// The figures of the program's windows in this process, on the generated
// catalogues: the browser's tree load, the display of an article, the
// search, and how the tree load and the search grow with the catalogue.

#include <filesystem>

namespace bench {

// Catches the first completed document of each page view that is shown,
// from now until stopWatchingDocuments, so that a command can be timed to
// its page. Needs the application and the main window made.
void watchDocuments();
void stopWatchingDocuments();

void closeBrowser();
// The data module anew on another database, the browser closed first.
void openDatabase(const std::filesystem::path& path);

void measureTreeLoad();
void measureDisplay();
void measureSearch();
void measureGrowth();

} // namespace bench
