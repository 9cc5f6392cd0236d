// SPDX-License-Identifier: GPL-3.0-or-later

#include "Master.h"

#include "data/Database.h"
#include "data/DbBuild.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

namespace fs = std::filesystem;

namespace server {

namespace {

// A user's bundle names the user's own categories, numbered from a million.
// Their articles, having no server identifier, stay out of a master; the
// places must too: clients ask for every category up to the highest number,
// and a million requests each would be the outcome. An article with a server
// identifier filed under such a number cannot be served and is refused.
void dropOwnPlaces(dbbuild::Catalogue& c) {
    constexpr int32_t firstOwn = 1000000;
    for (const dbbuild::Article& a : c.articles)
        if (a.servId && (a.cat >= firstOwn || a.subcat >= firstOwn))
            throw std::runtime_error("article " + std::to_string(*a.servId) + " (" + a.file +
                                     ") is filed under a number of the users' own (1000000 or "
                                     "more); add such articles with --publish");
    std::erase_if(c.categories, [](const dbbuild::Category& x) { return x.num >= firstOwn; });
    std::erase_if(c.subcategories, [](const dbbuild::SubCategory& x) {
        return x.catNum >= firstOwn || x.num >= firstOwn;
    });
}

} // namespace

void makeMaster(const std::string& path, const std::string& schemaFile,
                const std::vector<std::string>& catalogueDirs) {
    const std::string schema = dbbuild::readFile(schemaFile);
    dbbuild::Catalogue catalogue;
    for (const std::string& dir : catalogueDirs)
        catalogue = dbbuild::readCatalogue(dir, catalogue);
    dropOwnPlaces(catalogue);

    dbbuild::buildAtomically(path, schema, [&](fb::Database& db) {
        dbbuild::loadCatalogue(db, catalogue, dbbuild::ArticleIds::ServerIds);
    });
}

MasterDatabase::MasterDatabase(const std::string& path) {
    data::configure(db_, path);
    db_.Open();
    tr_.TRParams = data::ReadOnlyTransactionParams();
    tr_.StartTransaction();
}

MasterDatabase::~MasterDatabase() {
    try {
        db_.Close(); // rolls the read transaction back
    } catch (...) {
    }
}

std::vector<MasterDatabase::Article> MasterDatabase::articles() {
    std::lock_guard lock(mutex_);
    q_.Close();
    q_.setSQL("select ID, NAME, CAT, SUBCAT from HINTS order by ID");
    q_.ExecQuery();
    std::vector<Article> out;
    for (; !q_.Eof(); q_.Next())
        out.push_back({q_.Fields(0).AsInteger(), q_.Fields(1).AsString(), q_.Fields(2).AsInteger(),
                       q_.Fields(3).AsInteger()});
    q_.Close();
    return out;
}

std::unordered_map<int32_t, std::string> MasterDatabase::articleBodies() {
    std::lock_guard lock(mutex_);
    q_.Close();
    q_.setSQL("select ID, INFORMATION from HINTS");
    q_.ExecQuery();
    std::unordered_map<int32_t, std::string> out;
    for (; !q_.Eof(); q_.Next())
        out.emplace(q_.Fields(0).AsInteger(), q_.Fields(1).AsString());
    q_.Close();
    return out;
}

MasterDatabase::Places MasterDatabase::places() {
    std::lock_guard lock(mutex_);
    Places out;
    q_.Close();
    q_.setSQL("select NUM, CATEGORY_NAME from CATEGORIES");
    q_.ExecQuery();
    for (; !q_.Eof(); q_.Next())
        out.categories[q_.Fields(0).AsInteger()] = q_.Fields(1).AsString();
    q_.Close();
    q_.setSQL("select CATNUM, NUM, SUB_CAT from SUB_CATEGORIES");
    q_.ExecQuery();
    for (; !q_.Eof(); q_.Next())
        out.subcategories[{q_.Fields(0).AsInteger(), q_.Fields(1).AsInteger()}] =
            q_.Fields(2).AsString();
    q_.Close();
    return out;
}

namespace {

// Packages kept at most, in bytes; past it they are made on each request.
constexpr size_t kPackageCacheBytes = size_t{256} << 20;
// New-article lists kept at most: each client sends the list of its own.
constexpr size_t kNewHintsCacheEntries = 1024;

} // namespace

Replies::Replies(MasterDatabase& db) {
    const MasterDatabase::Places places = db.places();
    maxCategory_ =
        std::to_string(places.categories.empty() ? 0 : places.categories.rbegin()->first);
    for (const auto& [num, name] : places.categories)
        categories_.emplace(num, name);
    for (const auto& [place, name] : places.subcategories) {
        subcategories_.emplace(key(place.first, place.second), name);
        // In key order, so the last one seen is the highest.
        maxSubCategories_[place.first] = std::to_string(place.second);
    }
    articles_ = db.articles();
    bodies_ = db.articleBodies();
}

const std::string* Replies::categoryName(int32_t cat) const {
    const auto it = categories_.find(cat);
    return it == categories_.end() ? nullptr : &it->second;
}

const std::string& Replies::maxSubCategory(int32_t cat) const {
    static const std::string kNone = "0";
    const auto it = maxSubCategories_.find(cat);
    return it == maxSubCategories_.end() ? kNone : it->second;
}

const std::string* Replies::subCategoryName(int32_t cat, int32_t sub) const {
    const auto it = subcategories_.find(key(cat, sub));
    return it == subcategories_.end() ? nullptr : &it->second;
}

std::shared_ptr<const std::string> Replies::newHints(const std::string& idsText,
                                                     const ListMaker& make) const {
    {
        std::lock_guard lock(cacheMutex_);
        const auto it = newHints_.find(idsText);
        if (it != newHints_.end())
            return it->second;
    }
    auto reply = std::make_shared<const std::string>(make(articles_));
    std::lock_guard lock(cacheMutex_);
    if (newHints_.size() >= kNewHintsCacheEntries)
        newHints_.clear();
    newHints_.emplace(idsText, reply);
    return reply;
}

std::shared_ptr<const std::string> Replies::package(const std::string& idText, int32_t id,
                                                    const PackageMaker& make) const {
    {
        std::lock_guard lock(cacheMutex_);
        const auto it = packages_.find(idText);
        if (it != packages_.end())
            return it->second;
    }
    const auto body = bodies_.find(id);
    if (body == bodies_.end())
        return nullptr;
    auto reply = std::make_shared<const std::string>(make(body->second));
    std::lock_guard lock(cacheMutex_);
    if (packageBytes_ + reply->size() <= kPackageCacheBytes &&
        packages_.emplace(idText, reply).second)
        packageBytes_ += reply->size();
    return reply;
}

namespace {

std::shared_ptr<const Replies> read(const std::string& path) {
    MasterDatabase db(path);
    return std::make_shared<const Replies>(db);
}

} // namespace

FileSignature signatureOf(const std::string& path) {
    struct stat st {};
    FileSignature s;
    if (::stat(path.c_str(), &st) != 0)
        return s;
    s.exists = true;
    s.device = st.st_dev;
    s.inode = st.st_ino;
    s.size = static_cast<uint64_t>(st.st_size);
    s.mtimeNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
    return s;
}

ServedMaster::ServedMaster(std::string masterPath, std::string statusFile)
    : masterPath_(std::move(masterPath)), statusFile_(std::move(statusFile)) {
    // A path that is no local file (a database on a server, "host:/path")
    // is read once: its changes cannot be seen from here.
    masterSeen_ = signatureOf(masterPath_);
    watchMaster_ = masterSeen_.exists;
    replies_ = read(masterPath_);
    readStatus(signatureOf(statusFile_));
}

ServedMaster::~ServedMaster() {
    {
        std::lock_guard lock(stopMutex_);
        stopping_ = true;
    }
    stopCv_.notify_all();
    if (watcher_.joinable())
        watcher_.join();
}

std::shared_ptr<const Replies> ServedMaster::replies() const {
    std::lock_guard lock(mutex_);
    return replies_;
}

std::shared_ptr<const std::optional<std::string>> ServedMaster::status() const {
    std::lock_guard lock(mutex_);
    return status_;
}

void ServedMaster::readStatus(const FileSignature& signature) {
    std::optional<std::string> text;
    if (statusFile_.empty()) {
        text = "\r\n\r\n\r\n";
    } else {
        try {
            text = dbbuild::readFile(statusFile_);
        } catch (const std::exception&) {
        }
    }
    auto fresh = std::make_shared<const std::optional<std::string>>(std::move(text));
    std::lock_guard lock(mutex_);
    status_ = std::move(fresh);
    statusSeen_ = signature;
}

void ServedMaster::refresh() {
    if (!statusFile_.empty()) {
        const FileSignature s = signatureOf(statusFile_);
        if (!(s == statusSeen_))
            readStatus(s);
    }
    if (!watchMaster_)
        return;
    const FileSignature s = signatureOf(masterPath_);
    if (s == masterSeen_ || !s.exists)
        return;
    // A file that cannot be read is tried again every interval (it may be
    // held for a moment by another reader, or still being copied), but
    // reported once.
    try {
        auto fresh = read(masterPath_);
        std::lock_guard lock(mutex_);
        replies_.swap(fresh);
        masterSeen_ = s;
        // The old reading goes with the last request that holds it.
    } catch (const std::exception& e) {
        if (!(s == masterFailed_))
            std::fprintf(stderr,
                         "tipsara-server: the changed master cannot be read, still serving "
                         "the one before: %s\n",
                         e.what());
        masterFailed_ = s;
    }
}

void ServedMaster::watch(std::chrono::milliseconds interval) {
    watcher_ = std::thread([this, interval] {
        std::unique_lock lock(stopMutex_);
        while (!stopCv_.wait_for(lock, interval, [this] { return stopping_; })) {
            lock.unlock();
            refresh();
            lock.lock();
        }
    });
}

} // namespace server
