// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// Import of files into the user's own articles. HTML (.html, .htm) is kept
// as it is, Markdown (.md) is turned into HTML by md4c, plain text (.txt)
// goes into <pre>; a bundle (.zip, see Bundle.h) brings its own categories
// and subcategories, matched by name to the user's own or created.
//
// Files are read as UTF-8 (with or without a byte-order mark) or, when not
// well-formed UTF-8, as Windows-1251; a page's declared charset (meta tag)
// is followed, and then rewritten to windows-1251, the form it is stored in.
// A character that Windows-1251 lacks is stored as a numeric reference
// (&#8364;), so nothing is lost.
//
// The whole import is one transaction on the update transaction: it is
// committed (and the change told through data::ArticlesChanged) only at its
// end, and rolled back when cancelled or failed, adding nothing.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace fb {
class Query;
class Transaction;
} // namespace fb

namespace authoring {

// A file larger than this is refused (a bundle's members each as well).
inline constexpr uint64_t MaxImportFileSize = uint64_t(8) << 20;
// The NAME column's width.
inline constexpr size_t MaxTitleLength = 250;

enum class FileKind { Html, Markdown, Text, Bundle, Unknown };
// By the extension, in any case.
FileKind KindOf(const std::string& path);

// The charset a page's meta tag declares (as written), or empty.
std::string DeclaredCharset(std::string_view page);

// The stored form (Windows-1251, lossless) of a page's bytes, its declared
// charset rewritten to windows-1251.
std::string DecodeHtml(std::string_view bytes);
// Bytes of a text file (a byte-order mark, else UTF-8 when well-formed, else
// Windows-1251) as UTF-8.
std::string TextAsUtf8(std::string_view bytes);
// Markdown (UTF-8) as HTML (UTF-8).
std::string MarkdownToHtml(std::string_view utf8);

// The title of a stored page: its <title>, else its first heading h1-h6,
// with tags dropped, references decoded, blanks collapsed and cut to
// MaxTitleLength; fallback (the file name without its extension) when that
// leaves nothing. All Windows-1251.
std::string PageTitle(std::string_view page, const std::string& fallback);

struct ImportedPage {
    std::string title; // Windows-1251
    std::string body;  // the stored page, Windows-1251
};
// One file's bytes as an article; fileName is its name (UTF-8). Fails with
// std::runtime_error (Windows-1251 reason) when the bytes are not text.
ImportedPage ConvertFile(FileKind kind, std::string_view bytes, const std::string& fileName);

// Where loose files go: the category and subcategory, or, with subfolders,
// for the files of a chosen folder's subfolder a subcategory of that name
// in the category (created when missing); the folder's own files still go
// to subcat.
struct ImportTarget {
    int32_t cat = 0;
    int32_t subcat = 0;
    bool subfolders = false;
    // False when no target is given: loose files are then refused (bundles
    // need none).
    bool given = true;
};

struct ImportReport {
    struct Entry {
        std::string source; // the file (UTF-8), or bundle/member
        std::string name;   // the article's title (Windows-1251), if any
        std::string reason; // why skipped or refused (Windows-1251)
    };
    std::vector<Entry> imported, skipped, refused;
    std::vector<int32_t> ids; // of the articles added
};

// The import in steps of one file each, so that a window can show its
// progress and stay responsive between them. q runs on the update
// transaction; nothing is committed here.
class Importer {
public:
    // paths: files and folders (UTF-8); folders are read with everything
    // under them.
    Importer(fb::Query& q, const std::vector<std::string>& paths, ImportTarget target);

    int total() const { return static_cast<int>(sources_.size()); }
    int done() const { return next_; }
    bool finished() const { return next_ >= total(); }
    // The file being (or next to be) imported.
    std::string current() const;

    // Imports the next file. A file that cannot be taken is entered in the
    // report as refused; a database failure throws, and the import must then
    // be rolled back.
    void step();

    const ImportReport& report() const { return report_; }

private:
    struct Source {
        std::string path;
        std::string subfolder; // the subcategory's name (UTF-8), with subfolders
    };
    void importFile(const Source& source);
    void importBundle(const Source& source);
    int32_t subcategoryFor(const Source& source);
    // Adds the article unless the same name and text are in its
    // subcategory already.
    void add(const std::string& source, int32_t cat, int32_t subcat, const ImportedPage& page);

    fb::Query& q_;
    ImportTarget target_;
    std::vector<Source> sources_;
    int next_ = 0;
    ImportReport report_;
};

// Commits the import on the update transaction and tells of the new
// articles.
void CommitImport(fb::Query& upd, fb::Transaction& updTrans, const ImportReport& report);
// Rolls the import back; the update transaction is started again.
void RollbackImport(fb::Query& upd, fb::Transaction& updTrans);

// The whole import at once: progress is told before each file (done,
// total) and cancels it by returning false. Committed when it ran to its
// end (true), rolled back when cancelled (false) or failed (rethrown).
bool RunImport(fb::Query& upd, fb::Transaction& updTrans, Importer& importer,
               const std::function<bool(int done, int total)>& progress = {});

// The database attached on its own, for an import or export without the
// program's windows (the command line), with an update transaction started.
class StandaloneDatabase {
public:
    // Throws when the database cannot be attached.
    explicit StandaloneDatabase(const std::string& path);
    ~StandaloneDatabase();
    StandaloneDatabase(const StandaloneDatabase&) = delete;
    StandaloneDatabase& operator=(const StandaloneDatabase&) = delete;
    fb::Query& upd();
    fb::Transaction& updTrans();

private:
    struct Parts;
    std::unique_ptr<Parts> parts_;
};

// The category and subcategory named so, the user's own or not; created as
// the user's own when missing. Nothing committed.
ImportTarget TargetByName(fb::Query& q, const std::string& category,
                          const std::string& subcategory);

} // namespace authoring
