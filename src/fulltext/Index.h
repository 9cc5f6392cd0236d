// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// The full-text index of the articles' titles and texts, kept in a folder
// beside the database (DB/Tipsara.idx beside DB/Tipsara.gdb).
//
// The index holds only what the database has committed: it reads the
// articles through an ArticleSource, whose readers see exactly that. It
// knows the database it was made for (the identity the source gives: the
// file's path and the engine's creation stamp inside the file; and its
// newest articles' titles and lengths) and the format it was written in; an
// index of another database or format, or one that cannot be read, is not
// used but built anew. It reads and writes only files of its own folder,
// never through a symbolic link.
//
// Text going in and out is Windows-1251, like everywhere in the program.
//
// Threads: an Index object is used by one thread at a time. A build may run
// on a worker thread with a source of its own while the GUI's
// Index of the same folder stays closed; the GUI opens it when the build is
// done.

#include "ArticleSource.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace fulltext {

// A failure of the index (a disk error, an index damaged while in use),
// with a message in Windows-1251 for the error report.
class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class Mode {
    AllWords, // every word, in any form
    AnyWord,  // at least one word, in any form; more words rank higher
    Phrase,   // the words exactly as typed, next to each other, in order
};

// Called now and then during a build or catch-up with the number of
// articles done and the total; returning false cancels.
using Progress = std::function<bool(int done, int total)>;

// A stretch of a snippet, in characters (bytes of its Windows-1251).
struct Mark {
    size_t begin = 0;
    size_t end = 0;
    bool operator==(const Mark&) const = default;
};

struct Hit {
    int32_t id = 0;      // the article's ID
    int percent = 0;     // relevance, 1..100, for display only
    std::string snippet; // a fragment of the text around the matched words, Windows-1251, one line
    std::vector<Mark> marks; // the words of the snippet that matched, in order
};

struct Result {
    // False when the text holds no word to look for (blanks, punctuation):
    // then there are no hits.
    bool hasWords = false;
    // Most relevant first.
    std::vector<Hit> hits;
    // The query's own terms, for matchedWords.
    std::vector<std::string> terms;
    Mode mode = Mode::AllWords;
};

// The index folder for the database file at dbPath: the file's name with
// ".idx" in place of its extension, in the same folder.
std::string indexFolderFor(const std::string& dbPath);

class Index {
public:
    explicit Index(std::string folder);
    ~Index();
    Index(const Index&) = delete;
    Index& operator=(const Index&) = delete;

    const std::string& folder() const { return folder_; }

    // Opens the folder's index for the database `source` reads. True
    // when it is usable (then catchUp brings it up to date); false when it
    // is missing, unreadable, of another database or of another format, or
    // when it holds commits that were not yet on the disk when the system
    // last stopped: then it needs build(). Never throws for what it finds in
    // the folder.
    //
    // The commits of catchUp, addNew and refresh are left to the system to
    // write out (a flush would cost several times the addition itself);
    // close(), and the destructor, flush them.
    bool open(ArticleSource& source);
    bool isOpen() const;
    // Another copy of the program holds the index for writing: searches
    // work, additions are left to that copy (or to the next start).
    bool readOnly() const;
    void close();

    // Builds the index of every committed article into a new folder beside
    // this one and puts it in place of the old in one step. The documents
    // are written on a second thread while this one reads the next articles. A cancelled or
    // failed build leaves the old folder as it was. Returns false when
    // cancelled. This object must be closed while the build runs; it stays
    // closed after it (open it again).
    static bool build(const std::string& folder, ArticleSource& source,
                      const Progress& progress = {});

    // open(), else build() and open(); then catchUp(). False only when the
    // build was cancelled (the index is then closed).
    bool openOrBuild(ArticleSource& source, const Progress& progress = {});

    // Adds the committed articles the index lacks and drops those that are
    // gone from the database. For the start and the first search. Returns
    // the number of articles added.
    int catchUp(ArticleSource& source, const Progress& progress = {});

    // After a commit: adds the committed articles newer than any in the
    // index (the database numbers articles in the order they are inserted).
    // Cheap enough for every commit. Returns the number added.
    int addNew(ArticleSource& source);

    // Indexes the given articles afresh; one that the database does not
    // have (or has not committed) is dropped from the index.
    void refresh(ArticleSource& source, const std::vector<int32_t>& ids);

    // Articles in the index.
    uint32_t size() const;

    // At most `limit` hits for the Windows-1251 text in the mode. Words are
    // matched in any case and, in the two word modes, in any grammatical
    // form (Russian and English); quoted stretches in the word modes are
    // phrases. Text the query syntax cannot take is searched as plain words.
    Result search(const std::string& text, Mode mode, size_t limit = 500) const;

    // The search as the search window runs it: the index opened and caught
    // up first when it is closed, or built anew when it cannot be opened. An
    // index found damaged on the way is closed and built anew, once; a
    // failure after that is thrown, with the index closed. Nothing when the
    // user cancelled a build.
    std::optional<Result> find(ArticleSource& source, const std::string& text, Mode mode,
                               size_t limit, const Progress& progress = {});

    // The words of article `id` that the search matched, lower case,
    // Windows-1251, each once: what the page view highlights (every
    // occurrence, in any case).
    std::vector<std::string> matchedWords(const Result& result, int32_t id) const;

private:
    struct State;
    std::string folder_;
    std::unique_ptr<State> state_;
};

} // namespace fulltext
