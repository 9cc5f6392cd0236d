// SPDX-License-Identifier: GPL-3.0-or-later

#include "DbBuild.h"

#include "Database.h"
#include "components/text/Cp1251.h"
#include "components/zip/UnZip.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace dbbuild {
namespace {

std::string trimmed(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos)
        return {};
    size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

std::string upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return s;
}

struct Line {
    int number;
    std::vector<std::string> fields;
};

// Non-empty, non-comment lines split at tabs; each must have `count` fields.
std::vector<Line> readTable(const std::string& content, const std::string& path, size_t count) {
    std::istringstream in(content);
    std::vector<Line> rows;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (trimmed(line).empty() || line[0] == '#')
            continue;
        Line row{number, {}};
        std::stringstream fields(line);
        for (std::string f; std::getline(fields, f, '\t');)
            row.fields.push_back(f);
        if (!line.empty() && line.back() == '\t')
            row.fields.emplace_back();
        if (row.fields.size() != count)
            throw std::runtime_error(path + ":" + std::to_string(number) + ": expected " +
                                     std::to_string(count) + " tab-separated fields");
        rows.push_back(std::move(row));
    }
    return rows;
}

int32_t number(const std::string& text, const std::string& where) {
    try {
        size_t used = 0;
        long v = std::stol(text, &used);
        if (used == text.size() && v > 0 && v <= INT32_MAX)
            return static_cast<int32_t>(v);
    } catch (const std::exception&) {
    }
    throw std::runtime_error(where + ": '" + text + "' is not a positive whole number");
}

std::string cp1251(const std::string& utf8, const std::string& where) {
    try {
        return text::utf8ToCp1251(utf8, true);
    } catch (const text::ConversionError& e) {
        throw std::runtime_error(where + ": " + e.what());
    }
}

} // namespace

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> splitScript(const std::string& script) {
    std::vector<std::string> out;
    std::string terminator = ";";
    std::string current;
    size_t i = 0;
    const size_t n = script.size();
    auto flush = [&] {
        std::string stmt = trimmed(current);
        current.clear();
        if (stmt.empty())
            return;
        std::string head = upper(stmt.substr(0, 8));
        if (head == "SET TERM") {
            terminator = trimmed(stmt.substr(8));
            return;
        }
        out.push_back(stmt);
    };
    while (i < n) {
        if (script.compare(i, 2, "/*") == 0) {
            size_t e = script.find("*/", i + 2);
            e = e == std::string::npos ? n : e + 2;
            if (!trimmed(current).empty())
                current.append(script, i, e - i);
            i = e;
        } else if (script.compare(i, 2, "--") == 0) {
            size_t e = script.find('\n', i);
            i = e == std::string::npos ? n : e;
        } else if (script[i] == '\'') {
            size_t e = script.find('\'', i + 1);
            e = e == std::string::npos ? n : e + 1;
            current.append(script, i, e - i);
            i = e;
        } else if (script.compare(i, terminator.size(), terminator) == 0) {
            i += terminator.size();
            flush();
        } else {
            // SET TERM ends at the old terminator, which the check above
            // handles; everything else is statement text.
            current += script[i++];
        }
    }
    flush();
    return out;
}

Catalogue readCatalogue(const std::string& dir) {
    return readCatalogue(dir, Catalogue{});
}

Catalogue readCatalogue(const std::string& dir, const Catalogue& base) {
    std::error_code ec;
    if (fs::is_regular_file(dir, ec)) {
        const std::vector<unzip::Member> members = unzip::ReadArchive(dir);
        return readCatalogue(
            [&](const std::string& name) {
                for (const unzip::Member& m : members)
                    if (m.name == name)
                        return m.data;
                throw std::runtime_error(dir + ": " + name + " is missing");
            },
            dir, base);
    }
    return readCatalogue([&](const std::string& name) { return readFile(dir + "/" + name); }, dir,
                         base);
}

Catalogue readCatalogue(const CatalogueFiles& files, const std::string& dir,
                        const Catalogue& base) {
    Catalogue c = base;
    std::set<int32_t> cats;
    std::set<std::pair<int32_t, int32_t>> subs;
    std::set<int32_t> servIds;
    for (const Category& cat : base.categories)
        cats.insert(cat.num);
    for (const SubCategory& sub : base.subcategories)
        subs.insert({sub.catNum, sub.num});
    for (const Article& a : base.articles)
        if (a.servId)
            servIds.insert(*a.servId);
    const std::string catFile = dir + "/categories.txt";
    for (const Line& l : readTable(files("categories.txt"), catFile, 2)) {
        std::string where = catFile + ":" + std::to_string(l.number);
        int32_t num = number(l.fields[0], where);
        if (!cats.insert(num).second)
            throw std::runtime_error(where + ": category " + l.fields[0] + " is listed twice");
        c.categories.push_back({num, cp1251(l.fields[1], where)});
    }
    const std::string subFile = dir + "/subcategories.txt";
    for (const Line& l : readTable(files("subcategories.txt"), subFile, 3)) {
        std::string where = subFile + ":" + std::to_string(l.number);
        int32_t cat = number(l.fields[0], where);
        int32_t num = number(l.fields[1], where);
        if (!cats.count(cat))
            throw std::runtime_error(where + ": no category " + l.fields[0]);
        if (!subs.insert({cat, num}).second)
            throw std::runtime_error(where + ": subcategory " + l.fields[0] + "/" + l.fields[1] +
                                     " is listed twice");
        c.subcategories.push_back({cat, num, cp1251(l.fields[2], where)});
    }
    const std::string artFile = dir + "/articles.txt";
    for (const Line& l : readTable(files("articles.txt"), artFile, 5)) {
        std::string where = artFile + ":" + std::to_string(l.number);
        Article a;
        a.file = l.fields[0];
        // A plain name in articles/: the folder may come from someone else
        // (a bundle), and a path would read a file from anywhere.
        if (a.file.empty() || a.file == "." || a.file == ".." ||
            a.file.find_first_of("/\\") != std::string::npos)
            throw std::runtime_error(where + ": '" + a.file +
                                     "' is not a file name in the articles folder");
        a.cat = number(l.fields[1], where);
        a.subcat = number(l.fields[2], where);
        if (!subs.count({a.cat, a.subcat}))
            throw std::runtime_error(where + ": no subcategory " + l.fields[1] + "/" + l.fields[2]);
        if (!l.fields[3].empty()) {
            a.servId = number(l.fields[3], where);
            if (!servIds.insert(*a.servId).second)
                throw std::runtime_error(where + ": server identifier " + l.fields[3] +
                                         " is used twice");
        }
        a.title = cp1251(l.fields[4], where);
        if (a.title.empty())
            throw std::runtime_error(where + ": the title is empty");
        // A plain name within articles/: the lists may not point elsewhere.
        if (a.file.empty() || a.file.find_first_of("/\\") != std::string::npos || a.file == "." ||
            a.file == "..")
            throw std::runtime_error(where + ": '" + a.file + "' is not a file name");
        const std::string body = dir + "/articles/" + a.file;
        a.body = cp1251(files("articles/" + a.file), body);
        c.articles.push_back(std::move(a));
    }
    return c;
}

void createDatabase(fb::Database& db, const std::string& path, const std::string& schemaScript) {
    std::string quoted;
    for (char ch : path) {
        quoted += ch;
        if (ch == '\'')
            quoted += '\'';
    }
    db.SQLDialect = 1;
    db.CreateDatabase("CREATE DATABASE '" + quoted +
                      "' USER 'SYSDBA' PASSWORD 'masterkey' PAGE_SIZE 8192 "
                      "DEFAULT CHARACTER SET WIN1251 COLLATION PXW_CYRL");
    db.DBName = path;
    fb::Transaction tr(db);
    // Each statement in a transaction of its own: a table must be committed
    // before a trigger or index may refer to it.
    for (const std::string& stmt : splitScript(schemaScript)) {
        tr.StartTransaction();
        db.ExecuteImmediate(tr, stmt);
        tr.Commit();
    }
}

void loadCatalogue(fb::Database& db, const Catalogue& catalogue, ArticleIds ids) {
    fb::Transaction tr(db);
    tr.TRParams = data::TransactionParams();
    tr.StartTransaction();
    fb::Query q(db, tr);
    q.setSQL("INSERT INTO CATEGORIES (CATEGORY_NAME, NUM) values (:Name, :ID)");
    for (const Category& cat : catalogue.categories) {
        q.Params(0).setAsString(cat.name);
        q.Params(1).setAsInteger(cat.num);
        q.ExecQuery();
    }
    q.setSQL("INSERT INTO SUB_CATEGORIES (SUB_CAT, CATNUM, NUM) values (:Name, :CNID, :ID)");
    for (const SubCategory& sub : catalogue.subcategories) {
        q.Params(0).setAsString(sub.name);
        q.Params(1).setAsInteger(sub.catNum);
        q.Params(2).setAsInteger(sub.num);
        q.ExecQuery();
    }
    q.setSQL(ids == ArticleIds::Generated
                 ? "INSERT into HINTS (SERV_ID,NAME,CAT,SUBCAT,INFORMATION) "
                   "values (:SERV_ID, :NAME, :CAT, :SUB_CAT, :INF)"
                 : "INSERT INTO HINTS (ID, NAME, CAT, SUBCAT, INFORMATION) "
                   "values (:ID, :NAME, :CAT, :SUBCAT, :INF)");
    int32_t maxId = 0;
    for (const Article& a : catalogue.articles) {
        if (ids == ArticleIds::ServerIds && !a.servId)
            continue;
        if (a.servId)
            q.Params(0).setAsInteger(*a.servId);
        else
            q.Params(0).Clear();
        q.Params(1).setAsString(a.title);
        q.Params(2).setAsInteger(a.cat);
        q.Params(3).setAsInteger(a.subcat);
        q.Params(4).setAsString(a.body);
        q.ExecQuery();
        maxId = std::max(maxId, a.servId.value_or(0));
    }
    q.Close();
    tr.Commit();
    if (ids == ArticleIds::ServerIds) {
        // Articles the maker adds later get the numbers after these.
        tr.StartTransaction();
        db.ExecuteImmediate(tr, "SET GENERATOR GEN_HINTS_ID TO " + std::to_string(maxId));
        tr.Commit();
    }
}

void buildAtomically(const std::string& path, const std::string& schemaScript,
                     const std::function<void(fb::Database&)>& fill) {
    fs::path target = fs::absolute(path);
    fs::create_directories(target.parent_path());
    fs::path temp = target;
    temp += ".building";
    fs::remove(temp);
    try {
        fb::Database db;
        createDatabase(db, temp.string(), schemaScript);
        fill(db);
        db.Close();
    } catch (...) {
        fs::remove(temp);
        throw;
    }
    fs::permissions(temp, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                              fs::perms::others_read);
    fs::rename(temp, target);
}

bool buildDatabase(const std::string& path, const std::string& schemaFile,
                   const std::string& catalogueDir) {
    if (fs::exists(path))
        return false;
    const Catalogue catalogue = readCatalogue(catalogueDir);
    buildAtomically(path, readFile(schemaFile),
                    [&](fb::Database& db) { loadCatalogue(db, catalogue); });
    return true;
}

} // namespace dbbuild
