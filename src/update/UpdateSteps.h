// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// The update run's steps without a window: the statements that bring the
// catalogue in line with the server's, the list of local server
// identifiers, the new articles' entries and their import from packages.

#include "UpdateProtocol.h"
#include "components/desktop/WebLinks.h"
#include "components/text/Numbers.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

namespace fb {
class Query;
class Transaction;
} // namespace fb
namespace http {
class TInternetHTTPRequest;
}
namespace unzip {
class TUnZip;
}

// One entry of the list; every text is Windows-1251.
struct TUpdEntry {
    std::string title;   // the caption
    std::string catName; // text 1, from the local database
    std::string subName; // text 2, from the local database
    std::string cat;     // text 3, category number as received
    std::string subcat;  // text 4, subcategory number as received
    std::string servId;  // text 5, server article identifier, untrimmed
    int icon = -1;       // category number − 1; only 0 to 15 show a picture
};

namespace update {

using text::PlainInteger;

// Updates the name of the row with the numbers, or inserts it when no row
// has them. The statements take the name first, then the numbers.
void WriteName(fb::Query& upd, const char* updateSql, const char* insertSql,
               const std::string& name, std::initializer_list<int32_t> numbers);
void WriteCategory(fb::Query& upd, int32_t cat, const std::string& name);
void WriteSubcategory(fb::Query& upd, int32_t cat, int32_t sub, const std::string& name);

// The server identifiers of the local articles, as the server takes them.
std::string LocalServerIdList(fb::Query& q);

// The list entry of a new article, with its local category and subcategory
// names. The numbers must be plain integers (CheckNewHints).
TUpdEntry EntryFor(fb::Query& q, const NewHint& hint, int icons);

// Inserts the article of a package unpacked into article on upd (not
// committed).
void InsertPackageArticle(fb::Query& upd, const TUpdEntry& entry, const std::string& package,
                          const std::string& article);

// What the import of chosen entries works with; the root is read afresh for
// every request, as the preferences may change it meanwhile.
struct ImportParts {
    http::TInternetHTTPRequest* request = nullptr;
    std::function<std::string()> root;
    unzip::TUnZip* zip = nullptr;
    fb::Query* upd = nullptr;
    fb::Transaction* updTrans = nullptr;
    // After each package: how many are in, of how many.
    std::function<void(int done, int total)> progress;
};

// Downloads each entry's package into the temporary folder, unpacks it,
// inserts its article and removes both files; then one commit for them all.
// A failure leaves the inserts made so far pending and is thrown on.
void ImportPackages(const std::vector<TUpdEntry>& chosen, const ImportParts& parts);

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
std::vector<std::string> SplitServerIdList(const std::string& list,
                                           size_t maxChars = kMaxIdListChars);

// The new-article entries for the server-id list. A list too long for one
// request is sent in pieces; an article is new when every piece's reply
// names it, and the entries keep the order of the first reply.
std::vector<NewHint> FetchNewHints(http::TInternetHTTPRequest& request,
                                   const std::function<std::string()>& root,
                                   const std::string& serverIdList);

// Throws ReplyError naming the reply line of the first identifier,
// category number or subcategory number that is not a plain integer: the
// identifier becomes part of file names and URLs, the numbers part of SQL.
void CheckNewHints(const std::vector<NewHint>& hints);

// Only http and https links are opened from an announcement, by the rule
// that holds for every link from the network.
using weblinks::IsWebLink;

} // namespace update
