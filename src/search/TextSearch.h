// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// The search in the articles' texts without a window: the run's one
// full-text index, kept in step with the database's commits, and its hits
// as rows of the search window's list.
//
// The index is opened at the run's first full-text search (a missing,
// unreadable or foreign one is built anew then, with progress and a way to
// cancel), and it is caught up with the database at that opening. Every
// commit of new articles after it is passed on at once. Everything runs on
// the GUI thread, on the data module's one attachment.

#include "Search.h"
#include "components/fb/Fb.h"
#include "fulltext/Index.h"

#include <QStringList>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace search {

// The most hits a full-text search lists.
inline constexpr size_t TextHitLimit = 500;

struct TextFound {
    // The rows' texts: those of a title row (name, category, subcategory,
    // ID) and the fragment of the text around the matched words. In the
    // list's order: by relevance, or for a text without words the title
    // search's rows in its own order (with an empty fragment).
    std::vector<QStringList> rows;
    // Beside each row of a text search, the matched words of its fragment;
    // empty for the title search's rows.
    std::vector<std::vector<fulltext::Mark>> marks;
    // The query as the index ran it; no terms for a text without words.
    fulltext::Result result;
};

// The search's work on the run's index, which the data module keeps beside
// the connection it belongs to.
class TextSearch {
public:
    explicit TextSearch(fulltext::Index& index) : index_(index) {}

    fulltext::Index& index() { return index_; }
    bool isOpen() const { return index_.isOpen(); }

    // Makes the index ready for searching: opened and caught up, or built
    // anew first. False when the user cancelled a build (through progress);
    // the index is closed then and the next search tries again.
    bool Prepare(fb::Database& db, const fulltext::Progress& progress);

    // After a commit of new articles: they are indexed at once when the
    // index is open; when it is not, the catch-up at its opening takes them.
    // Never fails: the articles are committed whatever happens here. An
    // index that cannot take them is closed, so that the next search opens
    // it again and catches up (or rebuilds it).
    void Committed(fb::Database& db) noexcept;

    // After a commit that changed or deleted the articles `ids`: they are
    // indexed afresh (or dropped) when the index is open. Never fails, as
    // Committed.
    void Changed(fb::Database& db, const std::vector<int32_t>& ids) noexcept;

    // The search in the mode, the index made ready first when it is closed
    // (see Prepare; progress as there), and built anew once when it is
    // found damaged on the way. A text in which the index finds no word gets
    // the title search's answer for it, so that blanks behave in both
    // searches alike. q is the reading query object (IBSQL2); collator
    // orders the title search's rows. Nothing when the user cancelled a
    // build. A failure of the index closes it before it is passed on.
    std::optional<TextFound> Find(fb::Database& db, fb::Query& q, const QCollator& collator,
                                  Mode mode, const std::string& text,
                                  const fulltext::Progress& progress = {});

    // The words of article id that the search matched, for highlighting.
    std::vector<std::string> MatchedWords(const fulltext::Result& result, int32_t id) const;

private:
    fulltext::Index& index_;
};

// The index mode for a mode of the search window.
fulltext::Mode TextMode(Mode mode);

// The full-text index of the database `db` is attached to (its folder
// beside the file), kept by the search for the run: opened at the first
// full-text search and, while open, told of every commit of articles
// through data::ArticlesChanged. Asked for another database, it is made
// anew for that one.
fulltext::Index& TextIndexFor(fb::Database& db);

// Closes the index kept for the run, its commits written out: before the
// database goes.
void CloseTextIndex();

} // namespace search
