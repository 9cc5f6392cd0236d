// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// The exchange with the update server: the request URLs, the fetches and the
// reading of the replies. Every reply is the whole response body as
// Windows-1251 bytes, whatever the status code.

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace http {
class TInternetHTTPRequest;
}

namespace update {

// Paths under the server root.
inline constexpr const char* kStatusFilePath = "/get/tipsara/tipsara_update.txt";
inline constexpr const char* kMaxCatPath = "/get/tipsara/get_max_cat.php";

std::string CatPath(int32_t cat);
std::string MaxSubCatPath(int32_t cat);
std::string SubCatPath(int32_t cat, int32_t sub);
std::string NewHintsPath(const std::string& serverIdList);
std::string PackagePath(const std::string& serverId);

// "http://" + root + path: the root verbatim, so it may carry a port or a
// leading folder.
std::string RequestURL(const std::string& root, const std::string& path);

// A server root that cannot be the host of a request URL. The message names
// the fault, Windows-1251.
class RootError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
// The root must begin with a host name (or "[address]"), then at most ":"
// and a port of digits, before any "/" of its folder: an empty root would
// make the first folder of the path the host, and a scheme ("http://") its
// own name the host. User information ("name:password@") is refused
// rather than sent as credentials with every request. Throws RootError.
void CheckRoot(std::string_view root);
// The Referer sent with every request, rebuilt from the current root.
std::string ReferrerURL(const std::string& root);

// Fetches root + path into memory and returns the body. Both fetches check
// the root first (CheckRoot), so a bad one sends nothing.
std::string FetchText(http::TInternetHTTPRequest& request, const std::string& root,
                      const std::string& path);
// Fetches root + path into the file at filePath, created or replaced, and
// closes it. Whatever arrived before a failure stays in the file.
void FetchFile(http::TInternetHTTPRequest& request, const std::string& root,
               const std::string& path, const std::string& filePath);

// Lines as a string list reads them: a line ends at CR LF, a lone CR or a
// lone LF; a break at the very end opens no further line; a NUL ends the text.
std::vector<std::string> SplitLines(std::string_view text);

struct StatusFile {
    std::string root;         // line 1: a new server root, or empty
    std::string announcement; // line 2
    std::string link;         // line 3: opened when the user accepts the announcement
};
// Exactly three lines, untrimmed; anything else is not a status file.
std::optional<StatusFile> ParseStatusFile(std::string_view text);

// A reply that is not what the protocol says it is. The message names the
// fault, Windows-1251.
class ReplyError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// An integer reply: trimmed of codes up to 32 at both ends, then a whole
// signed decimal number of 32 bits. Throws ReplyError naming the text.
int32_t ParseIntegerReply(std::string_view text);

// The ids value of the new-article request: the identifiers in decimal,
// comma-separated, in the order given.
std::string ServerIdList(const std::vector<int32_t>& ids);

struct NewHint {
    std::string serverId; // untrimmed
    std::string title;
    std::string cat;    // decimal text as received
    std::string subcat; // decimal text as received
    size_t line = 0;    // where the entry starts in the reply, counted from 1
};
// Entries of four lines, from the top. A blank line where an entry would
// start (with at least two lines left) is taken as a separator and skipped;
// a single last line is ignored; a last entry of two or three lines throws
// ReplyError (an index error).
std::vector<NewHint> ParseNewHints(std::string_view text);

} // namespace update
