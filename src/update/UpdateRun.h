// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// The update run behind "Проверить обновления": the server's status file,
// the local categories and subcategories brought in line with the server's,
// the list of the server's articles that the local database lacks and, when
// the user asks for them, their download and import. Runs on the GUI thread
// from start to end; the windows are kept current by explicit repaints.

#include "UpdateSteps.h"
#include "components/desktop/WebLinks.h"
#include "components/text/Numbers.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class QAction;
class QLineEdit;
class QProgressBar;
class QWidget;
class TDataFrm;
class TPro;
class TUpdFrm;
namespace http {
class TInternetHTTPRequest;
}
namespace unzip {
class TUnZip;
}

namespace update {

// What a run works with. The main window fills it from its own members and
// the long-lived windows; tests may assemble their own.
struct UpdateParts {
    QWidget* owner = nullptr;   // the main window: owns the message boxes and progress windows
    QProgressBar* Pr = nullptr; // the main window's transfer progress bar
    QAction* command = nullptr; // the update command, disabled while a run is under way
    http::TInternetHTTPRequest* request = nullptr;
    TDataFrm* data = nullptr;
    QLineEdit* root = nullptr; // the preferences' server field, read afresh for every request
    TUpdFrm* list = nullptr;
    TPro* pro = nullptr;
    unzip::TUnZip* zip = nullptr;
};

// The whole run. A second call while one is under way (the extractor lets
// window messages through) does nothing. When the run fails, its windows are
// taken off the screen and the failure is thrown on; the writes it made stay
// pending in the update transaction.
void RunUpdate(const UpdateParts& parts);
bool UpdateRunning();

// The downloads and the import of the entries ticked in the list, then one
// commit. Entered from RunUpdate when the list closes with "Загрузить".
void ImportChosen(const UpdateParts& parts);

// The main window's ZIP extractor: asks "File Exists Alert" before it
// replaces a file and lets window messages through while it unpacks.
std::unique_ptr<unzip::TUnZip> MakeExtractor(QWidget* owner);

using LinkOpener = std::function<void(const QString& url)>;
// Replaces the way links are opened (tests); empty restores the desktop's
// own opener. Returns the previous one.
LinkOpener setLinkOpener(LinkOpener opener);

} // namespace update
