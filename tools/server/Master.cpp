#include "Master.h"

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

    const fs::path target = fs::absolute(path);
    fs::create_directories(target.parent_path());
    fs::path temp = target;
    temp += ".building";
    fs::remove(temp);
    try {
        fb::Database db;
        dbbuild::createDatabase(db, temp.string(), schema);
        fb::Transaction tr(db);
        tr.TRParams = {"write", "nowait", "rec_version", "read_committed"};
        tr.StartTransaction();
        fb::Query q(db, tr);
        q.setSQL("INSERT INTO CATEGORIES (CATEGORY_NAME, NUM) values (:Name, :ID)");
        for (const auto& cat : catalogue.categories) {
            q.Params(0).setAsString(cat.name);
            q.Params(1).setAsInteger(cat.num);
            q.ExecQuery();
        }
        q.setSQL("INSERT INTO SUB_CATEGORIES (SUB_CAT, CATNUM, NUM) values (:Name, :CNID, :ID)");
        for (const auto& sub : catalogue.subcategories) {
            q.Params(0).setAsString(sub.name);
            q.Params(1).setAsInteger(sub.catNum);
            q.Params(2).setAsInteger(sub.num);
            q.ExecQuery();
        }
        int32_t maxId = 0;
        q.setSQL("INSERT INTO HINTS (ID, NAME, CAT, SUBCAT, INFORMATION) "
                 "values (:ID, :NAME, :CAT, :SUBCAT, :INF)");
        for (const auto& a : catalogue.articles) {
            if (!a.servId)
                continue;
            q.Params(0).setAsInteger(*a.servId);
            q.Params(1).setAsString(a.title);
            q.Params(2).setAsInteger(a.cat);
            q.Params(3).setAsInteger(a.subcat);
            q.Params(4).setAsString(a.body);
            q.ExecQuery();
            maxId = std::max(maxId, *a.servId);
        }
        q.Close();
        tr.Commit();
        // Articles the maker adds later get the numbers after these.
        tr.StartTransaction();
        db.ExecuteImmediate(tr, "SET GENERATOR GEN_HINTS_ID TO " + std::to_string(maxId));
        tr.Commit();
        db.Close();
    } catch (...) {
        fs::remove(temp);
        throw;
    }
    fs::rename(temp, target);
}

MasterDatabase::MasterDatabase(const std::string& path) {
    db_.DBName = path;
    db_.DBParams = {"lc_ctype=WIN1251", "user_name=sysdba", "password=vaultsong"};
    db_.SQLDialect = 1;
    db_.Open();
    tr_.TRParams = {"read", "read_committed", "rec_version", "nowait"};
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
