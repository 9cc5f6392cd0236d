// SPDX-License-Identifier: GPL-3.0-or-later

#include "Master.h"

#include "data/Database.h"
#include "data/DbBuild.h"

#include <algorithm>
#include <filesystem>

namespace fs = std::filesystem;

namespace server {

void makeMaster(const std::string& path, const std::string& schemaFile,
                const std::vector<std::string>& catalogueDirs) {
    const std::string schema = dbbuild::readFile(schemaFile);
    dbbuild::Catalogue catalogue;
    for (const std::string& dir : catalogueDirs)
        catalogue = dbbuild::readCatalogue(dir, catalogue);

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

std::optional<std::string> MasterDatabase::text(const std::string& sql,
                                                const std::vector<int32_t>& params) {
    q_.Close();
    q_.setSQL(sql);
    for (size_t i = 0; i < params.size(); ++i)
        q_.Params(static_cast<int>(i)).setAsInteger(params[i]);
    q_.ExecQuery();
    std::optional<std::string> value;
    if (!q_.Eof())
        value = q_.Fields(0).AsString();
    q_.Close();
    return value;
}

int32_t MasterDatabase::maxCategory() {
    std::lock_guard lock(mutex_);
    q_.Close();
    q_.setSQL("select max(NUM) from CATEGORIES");
    q_.ExecQuery();
    const int32_t n = q_.Fields(0).AsInteger();
    q_.Close();
    return n;
}

std::optional<std::string> MasterDatabase::categoryName(int32_t cat) {
    std::lock_guard lock(mutex_);
    return text("select CATEGORY_NAME from CATEGORIES where NUM=:ID", {cat});
}

int32_t MasterDatabase::maxSubCategory(int32_t cat) {
    std::lock_guard lock(mutex_);
    q_.Close();
    q_.setSQL("select max(NUM) from SUB_CATEGORIES where CATNUM=:ID");
    q_.Params(0).setAsInteger(cat);
    q_.ExecQuery();
    const int32_t n = q_.Fields(0).AsInteger();
    q_.Close();
    return n;
}

std::optional<std::string> MasterDatabase::subCategoryName(int32_t cat, int32_t sub) {
    std::lock_guard lock(mutex_);
    return text("select SUB_CAT from SUB_CATEGORIES where CATNUM=:CNID and NUM=:ID", {cat, sub});
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

std::optional<std::string> MasterDatabase::articleBody(int32_t id) {
    std::lock_guard lock(mutex_);
    return text("select INFORMATION from HINTS where ID=:ID", {id});
}

} // namespace server
