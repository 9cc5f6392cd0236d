// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// How articles and search texts become Xapian terms: one place, so that the
// index and the queries always agree.
//
// Every word is indexed twice: as written (lower case, with its position,
// for phrases and whole identifiers) and as its stem with the prefix "Z"
// (for the other forms of the word). The stem is Russian for a word with
// Cyrillic letters and English otherwise, so "строки" and "строку" share
// "Zстрок" and "sorting" and "sort" share "Zsort", while an identifier such
// as TStringList stays one word, "tstringlist".

#include "Index.h"

#include <xapian.h>

#include <string>
#include <string_view>
#include <vector>

namespace fulltext::detail {

// A new stemmer (a stemmer keeps state, so each user has its own).
Xapian::Stem makeStemmer();

class Analyzer {
public:
    Analyzer();
    // The document of an article: its title (weighted above the text) and
    // the visible text of its HTML, which is also kept as the document's
    // data for snippets (see textOf). Both Windows-1251. The analyzer keeps
    // no hold on the document, so it may be handed to another thread.
    Xapian::Document document(std::string_view title, std::string_view html);

private:
    Xapian::TermGenerator generator_;
    Xapian::Document blank_;
};

// The value slots of a document's signature and of its data's checksum.
inline constexpr Xapian::valueno kSignatureSlot = 0;
inline constexpr Xapian::valueno kChecksumSlot = 1;

// What a document keeps of the article it was made from, so that an index
// can tell the articles of its own database from others under the same
// numbers: a digest of the title and the length of the HTML.
std::string signature(std::string_view title, size_t htmlLength);

// Whether the document's data is the text it was given: a damaged table may
// hand back nothing, or other bytes, without an error.
bool intact(const Xapian::Document& doc, const std::string& data);

// The UTF-8 text kept in a document's data.
std::string textOf(const std::string& data);

// The query for a Windows-1251 search text; empty when it holds no word.
Xapian::Query parse(const std::string& text, Mode mode);

// The fragment of a hit's UTF-8 text that the result list shows: one line
// of about 160 characters that begins at most a few words before a matched
// word (one of `terms`, the query's, in any of its forms), in the earliest
// stretch that holds the most different terms; "…" where it cuts the text.
// The start of the text when no word of it matches. The words of the
// fragment that matched are in marks, as characters of the text.
struct Fragment {
    std::string text;
    std::vector<Mark> marks;
};
Fragment fragment(const std::string& text, const std::vector<std::string>& terms,
                  const Xapian::Stem& stemmer);

} // namespace fulltext::detail
