// SPDX-License-Identifier: GPL-3.0-or-later

#include "Publish.h"

#include "components/fb/Fb.h"
#include "components/text/Cp1251.h"
#include "components/zip/UnZip.h"
#include "data/Database.h"
#include "data/DbBuild.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <set>

namespace fs = std::filesystem;

namespace server {
namespace {

// A folder of this process's own under the system's temporary folder,
// removed with everything in it when the object goes.
class PrivateFolder {
public:
    PrivateFolder() {
        std::string pattern = (fs::temp_directory_path() / "tipsara-publish-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            throw SourceError("cannot make a temporary folder in " +
                              fs::temp_directory_path().string());
        path_ = pattern;
    }
    ~PrivateFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    PrivateFolder(const PrivateFolder&) = delete;
    PrivateFolder& operator=(const PrivateFolder&) = delete;
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

std::string withoutPrefix(std::string message, const std::string& prefix) {
    for (size_t at; (at = message.find(prefix)) != std::string::npos;)
        message.erase(at, prefix.size());
    return message;
}

// Holds the folder's lock for as long as it lives: two publishing runs
// into one folder would each copy the same master, and the later rename
// would lose the other's articles.
class FolderLock {
public:
    explicit FolderLock(const fs::path& dir) {
        fd_ = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd_ < 0 || ::flock(fd_, LOCK_EX) != 0)
            throw std::runtime_error("cannot lock the folder " + dir.string());
    }
    ~FolderLock() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

private:
    int fd_ = -1;
};

// The master's categories and subcategories by name, and the numbers the
// next new ones get.
struct Places {
    std::map<std::string, int32_t> categories;
    std::map<std::pair<int32_t, std::string>, int32_t> subcategories;
    int32_t maxCategory = 0;
    std::map<int32_t, int32_t> maxSub;
};

Places readPlaces(fb::Query& q) {
    Places p;
    q.Close();
    q.setSQL("select NUM, CATEGORY_NAME from CATEGORIES");
    q.ExecQuery();
    for (; !q.Eof(); q.Next()) {
        const int32_t num = q.Fields(0).AsInteger();
        p.categories.emplace(q.Fields(1).AsString(), num);
        p.maxCategory = std::max(p.maxCategory, num);
    }
    q.Close();
    q.setSQL("select CATNUM, NUM, SUB_CAT from SUB_CATEGORIES");
    q.ExecQuery();
    for (; !q.Eof(); q.Next()) {
        const int32_t cat = q.Fields(0).AsInteger();
        const int32_t num = q.Fields(1).AsInteger();
        p.subcategories.emplace(std::pair(cat, q.Fields(2).AsString()), num);
        p.maxSub[cat] = std::max(p.maxSub[cat], num);
    }
    q.Close();
    return p;
}

int32_t readInteger(fb::Query& q, const char* sql) {
    q.Close();
    q.setSQL(sql);
    q.ExecQuery();
    const int32_t n = q.Eof() ? 0 : q.Fields(0).AsInteger();
    q.Close();
    return n;
}

// The identifier of an article with the same name and text in the
// subcategory, if there is one.
std::optional<int32_t> presentAs(fb::Query& q, int32_t cat, int32_t sub, const Submitted& a) {
    q.Close();
    q.setSQL("select ID, NAME, INFORMATION from HINTS where CAT=:CAT and SUBCAT=:SUB and "
             "NAME=:NAME order by ID");
    q.Params(0).setAsInteger(cat);
    q.Params(1).setAsInteger(sub);
    q.Params(2).setAsString(a.name);
    q.ExecQuery();
    std::optional<int32_t> id;
    for (; !q.Eof() && !id; q.Next())
        if (q.Fields(1).AsString() == a.name && q.Fields(2).AsString() == a.text)
            id = q.Fields(0).AsInteger();
    q.Close();
    return id;
}

// Places every article in the master attached as db; with write, inserts
// the new ones and commits.
std::vector<Placed> place(fb::Database& db, const std::vector<Submitted>& articles, bool write) {
    fb::Transaction tr(db);
    tr.TRParams = write ? data::TransactionParams() : data::ReadOnlyTransactionParams();
    tr.StartTransaction();
    fb::Query q(db, tr);
    Places places = readPlaces(q);
    // After the highest identifier ever given, not only the highest still
    // there: clients that hold a removed article would never see a new one
    // under its identifier.
    int32_t next = std::max(readInteger(q, "select max(ID) from HINTS"),
                            readInteger(q, "select gen_id(GEN_HINTS_ID, 0) from RDB$DATABASE")) +
                   1;
    std::vector<Placed> out;
    for (const Submitted& a : articles) {
        Placed p{&a, 0, false, false, false};
        auto cat = places.categories.find(a.category);
        if (cat == places.categories.end()) {
            p.newCategory = true;
            cat = places.categories.emplace(a.category, ++places.maxCategory).first;
            if (write) {
                q.Close();
                q.setSQL("INSERT INTO CATEGORIES (CATEGORY_NAME, NUM) values (:Name, :ID)");
                q.Params(0).setAsString(a.category);
                q.Params(1).setAsInteger(cat->second);
                q.ExecQuery();
            }
        }
        auto sub = places.subcategories.find({cat->second, a.subcategory});
        if (sub == places.subcategories.end()) {
            p.newSub = true;
            const int32_t num = ++places.maxSub[cat->second];
            sub = places.subcategories.emplace(std::pair(cat->second, a.subcategory), num).first;
            if (write) {
                q.Close();
                q.setSQL("INSERT INTO SUB_CATEGORIES (SUB_CAT, CATNUM, NUM) "
                         "values (:Name, :CNID, :ID)");
                q.Params(0).setAsString(a.subcategory);
                q.Params(1).setAsInteger(cat->second);
                q.Params(2).setAsInteger(num);
                q.ExecQuery();
            }
        }
        // The same tip published twice, or twice in one run, is there once.
        std::optional<int32_t> present;
        for (const Placed& before : out)
            if (!before.present && before.article->name == a.name &&
                before.article->text == a.text && before.article->category == a.category &&
                before.article->subcategory == a.subcategory)
                present = before.id;
        if (!present && !p.newSub)
            present = presentAs(q, cat->second, sub->second, a);
        if (present) {
            p.present = true;
            p.id = *present;
        } else {
            p.id = next++;
            if (write) {
                q.Close();
                q.setSQL("INSERT INTO HINTS (ID, NAME, CAT, SUBCAT, INFORMATION) "
                         "values (:ID, :NAME, :CAT, :SUBCAT, :INF)");
                q.Params(0).setAsInteger(p.id);
                q.Params(1).setAsString(a.name);
                q.Params(2).setAsInteger(cat->second);
                q.Params(3).setAsInteger(sub->second);
                q.Params(4).setAsString(a.text);
                q.ExecQuery();
            }
        }
        out.push_back(p);
    }
    q.Close();
    if (!write) {
        tr.Rollback();
        return out;
    }
    tr.Commit();
    tr.StartTransaction();
    db.ExecuteImmediate(tr, "SET GENERATOR GEN_HINTS_ID TO " + std::to_string(next - 1));
    tr.Commit();
    return out;
}

std::vector<Placed> placeIn(const fs::path& path, const std::vector<Submitted>& articles,
                            bool write) {
    fb::Database db;
    data::configure(db, path.string());
    db.Open();
    try {
        std::vector<Placed> out = place(db, articles, write);
        db.Close();
        return out;
    } catch (...) {
        try {
            db.Close();
        } catch (...) {
        }
        throw;
    }
}

void syncFile(const fs::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    const bool done = fd >= 0 && ::fsync(fd) == 0;
    if (fd >= 0)
        ::close(fd);
    if (!done)
        throw std::runtime_error("cannot write " + path.string() + " to disk");
}

std::string utf8(const std::string& cp1251) {
    return text::cp1251ToUtf8(cp1251);
}

} // namespace

std::vector<Submitted> readBundle(const std::string& path) {
    const PrivateFolder dir;
    const fs::path articles = dir.path() / "articles";
    fs::create_directory(articles);
    // The update packages' rules: every member flat into the folder under
    // the last part of its name, at most so many bytes in all, nothing
    // written outside. Two members that land on one name are refused.
    unzip::TUnZip zip;
    zip.ZipName = path;
    zip.DestDir = articles.string();
    zip.OnFileExists = [](const std::string& target) -> bool {
        throw SourceError("two members are named \"" + fs::path(target).filename().string() + "\"");
    };
    dbbuild::Catalogue c;
    try {
        zip.UnZip();
        for (const char* list : {"categories.txt", "subcategories.txt", "articles.txt"}) {
            if (!fs::is_regular_file(articles / list))
                throw SourceError(std::string("the bundle has no ") + list);
            fs::rename(articles / list, dir.path() / list);
        }
        c = dbbuild::readCatalogue(dir.path().string());
    } catch (const unzip::Error& e) {
        throw SourceError(path + ": " + utf8(e.what()));
    } catch (const std::exception& e) {
        // The catalogue reader names the files of the private folder.
        throw SourceError(path + ": " + withoutPrefix(e.what(), dir.path().string() + "/"));
    }
    if (c.articles.empty())
        throw SourceError(path + ": the bundle holds no article");
    std::map<int32_t, std::string> cats;
    std::map<std::pair<int32_t, int32_t>, std::string> subs;
    for (const auto& cat : c.categories)
        cats[cat.num] = cat.name;
    for (const auto& sub : c.subcategories)
        subs[{sub.catNum, sub.num}] = sub.name;
    std::vector<Submitted> out;
    for (const auto& a : c.articles)
        out.push_back({path, cats[a.cat], subs[{a.cat, a.subcat}], a.title, a.body, {}});
    return out;
}

std::vector<Submitted> readSources(const std::vector<std::string>& paths) {
    std::vector<Submitted> out;
    for (const std::string& path : paths) {
        std::string ext = fs::path(path).extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (!fs::is_regular_file(path))
            throw SourceError(path + ": no such file");
        if (ext == ".zip") {
            std::vector<Submitted> bundle = readBundle(path);
            out.insert(out.end(), bundle.begin(), bundle.end());
        } else if (ext == ".eml") {
            std::string message;
            try {
                message = dbbuild::readFile(path);
            } catch (const std::exception& e) {
                throw SourceError(e.what());
            }
            try {
                out.push_back(readMailedTip(message, path));
            } catch (const SourceError& e) {
                throw SourceError(path + ": " + e.what());
            }
        } else {
            throw SourceError(path + ": neither a bundle (.zip) nor a mailed tip (.eml)");
        }
    }
    return out;
}

std::vector<Placed> publish(const std::string& master, const std::vector<Submitted>& articles,
                            bool dryRun) {
    const fs::path target = fs::absolute(master);
    if (!fs::is_regular_file(target))
        throw std::runtime_error("no master database at " + master);
    const FolderLock lock(target.parent_path());
    // Even a reading attachment writes to the database's header, so the
    // served file is never attached to: the work is done on a copy beside
    // it, which takes its place only when articles were added.
    fs::path copy = target;
    copy += ".publishing";
    fs::remove(copy);
    try {
        fs::copy_file(target, copy);
        std::vector<Placed> placed = placeIn(copy, articles, !dryRun);
        const bool adds =
            std::any_of(placed.begin(), placed.end(), [](const Placed& p) { return !p.present; });
        if (dryRun || !adds) {
            fs::remove(copy);
            return placed;
        }
        syncFile(copy);
        fs::rename(copy, target);
        return placed;
    } catch (...) {
        std::error_code ignored;
        fs::remove(copy, ignored);
        throw;
    }
}

int publishCommand(const std::string& master, const std::vector<std::string>& sources,
                   bool dryRun) {
    try {
        const std::vector<Submitted> articles = readSources(sources);
        const std::vector<Placed> placed = publish(master, articles, dryRun);
        int added = 0;
        for (const Placed& p : placed) {
            const Submitted& a = *p.article;
            std::string line = p.present ? "already present as " : dryRun ? "would add " : "added ";
            line += std::to_string(p.id) + ": \"" + utf8(a.name) + "\" in \"" + utf8(a.category) +
                    "\"" + (p.newCategory ? " (new)" : "") + " / \"" + utf8(a.subcategory) + "\"" +
                    (p.newSub ? " (new)" : "") + ", from " + a.source;
            std::printf("%s\n", line.c_str());
            for (const std::string& note : a.notes)
                std::printf("  note: %s\n", note.c_str());
            added += p.present ? 0 : 1;
        }
        if (dryRun)
            std::printf("dry run: %d article(s) would be added to %s; nothing changed\n", added,
                        master.c_str());
        else
            std::printf("published %d article(s) into %s\n", added, master.c_str());
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tipsara-server: %s\ntipsara-server: nothing published\n", e.what());
        return 1;
    }
}

} // namespace server
