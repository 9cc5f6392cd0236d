#pragma once
// The update run behind "Проверить обновления": the server's status file,
// the local categories and subcategories brought in line with the server's,
// the list of the server's articles that the local database lacks and, when
// the user asks for them, their download and import. Runs on the GUI thread
// from start to end; the windows are kept current by explicit repaints.

#include "UpdateProtocol.h"

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

// The folder for the packages: TEMP, read afresh at every call, or the
// system's temporary folder when TEMP is unset or empty. No trailing '/'.
std::string TempFolder();

// An article file's text: its lines joined with CR LF, whatever breaks the
// file used; other bytes unchanged. Throws when the file cannot be read.
std::string ReadArticleFile(const std::string& path);

// Longest ids value that keeps the new-article query within the HTTP
// layer's limit for a URL part ("?ids=" + list).
inline constexpr size_t kMaxIdListChars = 1023 - 5;

// The server-id list cut at commas into pieces of at most maxChars; the
// empty list is one empty piece.
std::vector<std::string> SplitServerIdList(const std::string& list, size_t maxChars = kMaxIdListChars);

// The new-article entries for the server-id list. A list too long for one
// request is sent in pieces; an article is new when every piece's reply
// names it, and the entries keep the order of the first reply.
std::vector<NewHint> FetchNewHints(http::TInternetHTTPRequest& request,
                                   const std::function<std::string()>& root,
                                   const std::string& serverIdList);

using text::PlainInteger;

// Throws ReplyError naming the reply line of the first identifier,
// category number or subcategory number that is not a plain integer: the
// identifier becomes part of file names and URLs, the numbers part of SQL.
void CheckNewHints(const std::vector<NewHint>& hints);

// Only http and https links are opened from an announcement, by the rule
// that holds for every link from the network.
using weblinks::IsWebLink;
using LinkOpener = std::function<void(const QString& url)>;
// Replaces the way links are opened (tests); empty restores the desktop's
// own opener. Returns the previous one.
LinkOpener setLinkOpener(LinkOpener opener);

} // namespace update
