// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// Publishing: articles from bundles (a zipped catalogue folder) and from
// tips mailed by the program's submission window, added to a master with
// the next server identifiers. The served file is never written in place:
// the articles go into a copy, which is then renamed over it.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace server {

// A source that cannot be read or understood; the message (UTF-8) names it.
struct SourceError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// One article to publish; every text is Windows-1251.
struct Submitted {
    std::string source; // the file it came from (UTF-8)
    std::string category, subcategory, name, text;
    // What of the source does not travel with the article (UTF-8), e.g. an
    // attachment that is not text.
    std::vector<std::string> notes;
};

// The article of a mailed tip, from the message's bytes. Throws SourceError.
Submitted readMailedTip(const std::string& message, const std::string& source);

// The articles of a bundle, read through the catalogue reader from a
// private folder the bundle is unpacked into by the update packages' rules.
// Throws SourceError.
std::vector<Submitted> readBundle(const std::string& path);

// Every source, .zip or .eml by its name; throws SourceError at the first
// one that cannot be read.
std::vector<Submitted> readSources(const std::vector<std::string>& paths);

// What became of one article.
struct Placed {
    const Submitted* article;
    int32_t id;               // its server identifier: new, or the one it is present under
    bool present;             // the same name and text are in its subcategory already
    bool newCategory, newSub; // its category or subcategory is made for it
};

// Adds the articles to the master, or with dryRun only works out what would
// be added. Throws std::runtime_error (UTF-8) when the master cannot be
// read or written; then the master is as it was.
std::vector<Placed> publish(const std::string& master, const std::vector<Submitted>& articles,
                            bool dryRun);

// The command: reads every source, publishes and reports on standard output;
// a failure is reported on standard error, with nothing published. Returns
// the exit status.
int publishCommand(const std::string& master, const std::vector<std::string>& sources, bool dryRun);

} // namespace server
