// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// The maker's master database: the same tables as the program's, with every
// article's ID being its identifier on the update server. Read by the server
// from its pool threads, one statement at a time.

#include "components/fb/Fb.h"

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace server {

// Makes a master database at path (replacing any) from the schema script and
// catalogue folders, each later folder adding to the ones before it. Only
// articles with a server identifier are taken; it becomes their ID.
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

    int32_t maxCategory();
    std::optional<std::string> categoryName(int32_t cat);
    int32_t maxSubCategory(int32_t cat);
    std::optional<std::string> subCategoryName(int32_t cat, int32_t sub);
    std::vector<Article> articles(); // by ID
    std::optional<std::string> articleBody(int32_t id);

private:
    std::optional<std::string> text(const std::string& sql, const std::vector<int32_t>& params);
    std::mutex mutex_;
    fb::Database db_;
    fb::Transaction tr_{db_};
    fb::Query q_{db_, tr_};
};

} // namespace server
