// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// A fresh database with the program's schema in a temporary folder, removed
// with the object.

#include "data/Database.h"
#include "data/DbBuild.h"

#include <cstdlib>
#include <filesystem>
#include <string>

namespace testing_support {

inline std::string sourceDir() {
    return TIPSARA_SOURCE_DIR;
}
inline std::string schemaScript() {
    return dbbuild::readFile(sourceDir() + "/db/schema.sql");
}

class TempDir {
public:
    TempDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "tipsara-test-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// Creates DB/Tipsara.gdb with the schema (and, when given, a catalogue) in a
// temporary folder, detached again so that the test can attach as it likes.
class TempDatabase {
public:
    explicit TempDatabase(const dbbuild::Catalogue* catalogue = nullptr) {
        std::filesystem::create_directories(dir_.path() / "DB");
        fb::Database db;
        dbbuild::createDatabase(db, path(), schemaScript());
        if (catalogue)
            dbbuild::loadCatalogue(db, *catalogue);
        db.Close();
    }
    std::string path() const { return dir_.file("DB/Tipsara.gdb"); }
    const TempDir& dir() const { return dir_; }

private:
    TempDir dir_;
};

// A database attached as the program attaches it, with one transaction of
// the program's kind started.
struct AttachedDatabase {
    fb::Database db;
    fb::Transaction tr{db};
    explicit AttachedDatabase(const std::string& path) {
        data::configure(db, path);
        db.Open();
        tr.TRParams = data::TransactionParams();
        tr.setActive(true);
    }
};

} // namespace testing_support
