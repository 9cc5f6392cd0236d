// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// The full-text index on the benchmark's catalogues, beside bare Xapian
// doing the same query on the same index.

#include "components/fb/Fb.h"
#include "fulltext/Index.h"

#include <cstdint>
#include <memory>
#include <string>

namespace bench {

// Bare Xapian on an index folder: the query parsed with the Russian stemmer
// alone, matched, the document numbers of the first 500 hits read.
class BareXapian {
public:
    explicit BareXapian(const std::string& folder);
    ~BareXapian();
    double searchMs(const std::string& utf8, fulltext::Mode mode, size_t* hits = nullptr);

private:
    struct State;
    std::unique_ptr<State> state_;
};

// The library's search as the window will run it: hits with snippets, then
// the rows of the list read through q. The number of rows goes to *rows.
double fullTextSearchMs(fulltext::Index& index, fb::Query& q, const std::string& utf8,
                        fulltext::Mode mode, size_t* rows = nullptr);

// Bytes of the files under a folder.
uint64_t folderBytes(const std::string& folder);

} // namespace bench
