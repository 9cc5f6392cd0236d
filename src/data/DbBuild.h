// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// Making the article database from the schema script and the catalogue text
// files kept in the source tree. Used by the build and by the tests; the
// program itself never creates tables.

#include "components/fb/Fb.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace dbbuild {

// Statements of an isql-style script: ';'-terminated, with SET TERM changing
// the terminator and /* */ and -- comments dropped between statements.
std::vector<std::string> splitScript(const std::string& script);

struct Category {
    int32_t num;
    std::string name; // Windows-1251
};
struct SubCategory {
    int32_t catNum;
    int32_t num;
    std::string name;
};
struct Article {
    std::string file;
    int32_t cat;
    int32_t subcat;
    std::optional<int32_t> servId;
    std::string title; // Windows-1251
    std::string body;  // Windows-1251
};
struct Catalogue {
    std::vector<Category> categories;
    std::vector<SubCategory> subcategories;
    std::vector<Article> articles;
};

// Reads categories.txt, subcategories.txt, articles.txt and articles/*.html
// (UTF-8, tab-separated) and checks that they agree with each other. Throws
// std::runtime_error naming the file and line of the first fault. dir may
// also be a bundle: a ZIP archive holding the same files, read into memory
// with the archive limits of unzip::ReadArchive.
Catalogue readCatalogue(const std::string& dir);

// The content of a catalogue's file by its name within the catalogue
// ("articles.txt", "articles/x.html"); throws when there is none.
using CatalogueFiles = std::function<std::string(const std::string& name)>;
// The same from files; dir names the catalogue in messages.
Catalogue readCatalogue(const CatalogueFiles& files, const std::string& dir, const Catalogue& base);

// The same for a folder that only adds to base: its categories, subcategories
// and articles may refer to those of base, and may not repeat a number or a
// server identifier of it. Returns base with the additions.
Catalogue readCatalogue(const std::string& dir, const Catalogue& base);

// Creates an empty database with the schema at path (which must not exist)
// and leaves db attached to it.
void createDatabase(fb::Database& db, const std::string& path, const std::string& schemaScript);

// How the articles' identifiers are given: by the database, keeping the
// server identifier in SERV_ID (a user's database), or as the server
// identifier itself, leaving out articles without one (the update server's
// master database, whose next identifiers then follow the largest).
enum class ArticleIds { Generated, ServerIds };

// Inserts the whole catalogue and commits.
void loadCatalogue(fb::Database& db, const Catalogue& catalogue,
                   ArticleIds ids = ArticleIds::Generated);

// Makes a database with the schema at path through a temporary file, so that
// a failed run leaves nothing behind; fill runs on the attached database.
void buildAtomically(const std::string& path, const std::string& schemaScript,
                     const std::function<void(fb::Database&)>& fill);

// The build step: makes the database at path unless a file is there already.
// Writes to a temporary file first so that a failed run leaves nothing behind.
// Returns false when the file existed and was left as it was.
bool buildDatabase(const std::string& path, const std::string& schemaFile,
                   const std::string& catalogueDir);

std::string readFile(const std::string& path);

} // namespace dbbuild
