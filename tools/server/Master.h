// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// The maker's master database: the same tables as the program's, with every
// article's ID being its identifier on the update server. The server reads
// it whole into memory and detaches, and reads it again when the file
// changes.

#include "components/fb/Fb.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

namespace server {

// Makes a master database at path (replacing any) from the schema script and
// catalogue folders or bundles (ZIP archives of such a folder), each later
// one adding to the ones before it. Only articles with a server identifier
// are taken; it becomes their ID.
void makeMaster(const std::string& path, const std::string& schemaFile,
                const std::vector<std::string>& catalogueDirs);

class MasterDatabase {
public:
    explicit MasterDatabase(const std::string& path);
    ~MasterDatabase();

    struct Article {
        int32_t id;
        std::string name; // Windows-1251
        int32_t cat;
        int32_t subcat;
    };

    std::vector<Article> articles();                          // by ID
    std::unordered_map<int32_t, std::string> articleBodies(); // by ID

    // The categories and subcategories: names by number, and the highest
    // subcategory number of every category that has one.
    struct Places {
        std::map<int32_t, std::string> categories;
        std::map<std::pair<int32_t, int32_t>, std::string> subcategories;
    };
    Places places();

private:
    std::mutex mutex_;
    fb::Database db_;
    fb::Transaction tr_{db_};
    fb::Query q_{db_, tr_};
};

// Every reply that does not depend on the request beyond its numbers, made
// once from one reading of the master; the new-article lists and packages
// are made on first request and kept. Shared by the serving threads and
// never changed but for those two caches.
class Replies {
public:
    explicit Replies(MasterDatabase& db);

    const std::string& maxCategory() const { return maxCategory_; }
    const std::string* categoryName(int32_t cat) const;
    const std::string& maxSubCategory(int32_t cat) const; // "0" for a category without
    const std::string* subCategoryName(int32_t cat, int32_t sub) const;
    // The new-article list asked for with idsText, made by make from the
    // articles (by ID) the first time.
    using ListMaker = std::function<std::string(const std::vector<MasterDatabase::Article>&)>;
    std::shared_ptr<const std::string> newHints(const std::string& idsText,
                                                const ListMaker& make) const;
    // The package asked for as idText (the article id), made by make from
    // the article's body the first time; null when there is no such article.
    using PackageMaker = std::function<std::string(const std::string& body)>;
    std::shared_ptr<const std::string> package(const std::string& idText, int32_t id,
                                               const PackageMaker& make) const;

private:
    static int64_t key(int32_t cat, int32_t sub) {
        return (static_cast<int64_t>(cat) << 32) | static_cast<uint32_t>(sub);
    }
    std::string maxCategory_;
    std::unordered_map<int32_t, std::string> categories_;
    std::unordered_map<int32_t, std::string> maxSubCategories_;
    std::unordered_map<int64_t, std::string> subcategories_;
    std::vector<MasterDatabase::Article> articles_;
    std::unordered_map<int32_t, std::string> bodies_;

    mutable std::mutex cacheMutex_;
    mutable std::unordered_map<std::string, std::shared_ptr<const std::string>> newHints_;
    mutable std::unordered_map<std::string, std::shared_ptr<const std::string>> packages_;
    mutable size_t packageBytes_ = 0;
};

// A file's identity and version as stat gives it: a file replaced (renamed
// over) or written to differs.
struct FileSignature {
    uint64_t device = 0, inode = 0, size = 0;
    int64_t mtimeNs = 0;
    bool exists = false;
    bool operator==(const FileSignature&) const = default;
};
FileSignature signatureOf(const std::string& path);

// The master and status file as served: read at once, and read again by a
// watching thread, at most once per interval, when either file changes. A
// new reading is made aside and then swapped in, so that requests never
// wait for it; a master that cannot be read keeps the previous one served.
// No attachment stays open between readings: the engine would take a path
// it has open for the same database, and so miss a file renamed over it.
class ServedMaster {
public:
    // Throws when the master cannot be read. An empty statusFile serves
    // three empty lines.
    ServedMaster(std::string masterPath, std::string statusFile);
    ~ServedMaster();

    std::shared_ptr<const Replies> replies() const;
    // The status file's content; none when it cannot be read.
    std::shared_ptr<const std::optional<std::string>> status() const;

    // Starts the watching thread.
    void watch(std::chrono::milliseconds interval);
    // One look at both files, reading again what changed.
    void refresh();

private:
    void readStatus(const FileSignature& signature);
    std::string masterPath_, statusFile_;
    mutable std::mutex mutex_; // guards the two pointers only
    std::shared_ptr<const Replies> replies_;
    std::shared_ptr<const std::optional<std::string>> status_;
    FileSignature masterSeen_, statusSeen_, masterFailed_;
    bool watchMaster_ = false;

    std::thread watcher_;
    std::mutex stopMutex_;
    std::condition_variable stopCv_;
    bool stopping_ = false;
};

} // namespace server
