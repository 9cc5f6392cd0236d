// SPDX-License-Identifier: GPL-3.0-or-later
// Which database file the program attaches, and the user's own copy of the
// shipped database made at the first start.

#include "data/DbLocation.h"
#include "support/TempDatabase.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;
using data::databaseCandidates;
using data::databaseLocation;
using testing_support::TempDir;

namespace {

void write(const fs::path& p, const std::string& text) {
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << text;
}

std::string read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// A prefix laid out as installed: bin/ for the program, share/tipsara for
// the shipped copy, and a home's data folder apart from it.
struct Layout {
    TempDir dir;
    fs::path bin = dir.path() / "usr/bin";
    fs::path share = dir.path() / "usr/share/tipsara";
    fs::path home = dir.path() / "home/.local/share";
    fs::path own = home / "tipsara/DB/Tipsara.gdb";
    Layout() {
        fs::create_directories(bin);
        fs::create_directories(home);
    }
    void ship(const std::string& content) {
        write(share / "Tipsara.gdb", content);
        // As a package installs it: nobody may write it.
        fs::permissions(share / "Tipsara.gdb",
                        fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    }
    fs::path locate() const { return databaseLocation(bin, share, home); }
};

TEST(DatabaseLocation, ADatabaseBesideTheProgramIsUsedAsItIs) {
    // A build tree or a private install, even with a shipped copy present.
    Layout l;
    write(l.bin / "DB/Tipsara.gdb", "private");
    l.ship("shipped");
    EXPECT_EQ(l.locate(), l.bin / "DB/Tipsara.gdb");
    EXPECT_FALSE(fs::exists(l.home / "tipsara"));
    EXPECT_EQ(read(l.bin / "DB/Tipsara.gdb"), "private");

    // Nothing shipped and nothing beside the program: the path beside it
    // stays, so that the program reports the missing database as always.
    Layout bare;
    EXPECT_EQ(bare.locate(), bare.bin / "DB/Tipsara.gdb");
    EXPECT_FALSE(fs::exists(bare.home / "tipsara"));
    // No data folder known at all: likewise.
    bare.ship("shipped");
    EXPECT_EQ(databaseLocation(bare.bin, bare.share, {}), bare.bin / "DB/Tipsara.gdb");
}

TEST(DatabaseLocation, TheFirstStartCopiesTheShippedDatabaseForTheUser) {
    Layout l;
    const std::string content(300000, 'x'); // more than one buffer's worth
    l.ship(content);
    EXPECT_EQ(l.locate(), l.own);
    ASSERT_TRUE(fs::is_regular_file(l.own));
    EXPECT_EQ(read(l.own), content);
    // The engine writes to the database: the user's copy must be writable
    // though the shipped one is not.
    EXPECT_NE(fs::status(l.own).permissions() & fs::perms::owner_write, fs::perms::none);
    // Only the database is left in the folder, no part-made copy.
    int files = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(l.own.parent_path()))
        ++files;
    EXPECT_EQ(files, 1);
    // The shipped copy is untouched.
    EXPECT_EQ(read(l.share / "Tipsara.gdb"), content);
}

TEST(DatabaseLocation, TheUsersCopyIsNeverReplaced) {
    // It holds the user's own articles; a newer shipped copy (a package
    // upgrade) must not overwrite them.
    Layout l;
    l.ship("shipped");
    write(l.own, "the user's articles");
    EXPECT_EQ(l.locate(), l.own);
    EXPECT_EQ(read(l.own), "the user's articles");
    l.ship("a newer shipped catalogue");
    EXPECT_EQ(l.locate(), l.own);
    EXPECT_EQ(read(l.own), "the user's articles");
}

TEST(DatabaseLocation, ACopyThatCannotBeMadeLeavesThePathWithoutAFile) {
    // The data folder is taken by a file: no folder can be made in it. The
    // call does not throw; attaching the missing file fails later with the
    // program's own message.
    Layout l;
    l.ship("shipped");
    fs::remove_all(l.home);
    write(l.home, "not a folder");
    EXPECT_EQ(l.locate(), l.own);
    EXPECT_FALSE(fs::exists(l.own));
    EXPECT_EQ(read(l.home), "not a folder");
}

TEST(DatabaseLocation, ALinkPlantedAtTheCopysTemporaryNameIsNotWrittenThrough) {
    // The temporary name was the database's name and the process ID, which
    // anyone can foresee; a link there must not make the copy land in its
    // target, nor the user's database a link to it.
    Layout l;
    l.ship("shipped");
    const fs::path folder = l.own.parent_path();
    fs::create_directories(folder);
    const fs::path victim = l.dir.path() / "victim";
    write(victim, "someone else's file");
    fs::create_symlink(victim, folder / ("Tipsara.gdb.part-" + std::to_string(::getpid())));

    EXPECT_EQ(l.locate(), l.own);
    EXPECT_EQ(read(victim), "someone else's file");
    EXPECT_FALSE(fs::is_symlink(l.own));
    EXPECT_EQ(read(l.own), "shipped");
}

TEST(DatabaseLocation, TheUsersCopyServesWhenTheShippedOneIsGone) {
    // A broken upgrade, or the package removed with the user's data kept.
    Layout l;
    write(l.own, "the user's articles");
    EXPECT_EQ(l.locate(), l.own);
    EXPECT_EQ(read(l.own), "the user's articles");

    // The files looked for, for the message when none of them exists: the
    // one beside the program, the user's copy, the shipped copy.
    const std::vector<fs::path> all{l.bin / "DB/Tipsara.gdb", l.own, l.share / "Tipsara.gdb"};
    EXPECT_EQ(databaseCandidates(l.bin, l.share, l.home), all);
    EXPECT_EQ(databaseCandidates(l.bin, l.share, {}),
              (std::vector<fs::path>{l.bin / "DB/Tipsara.gdb"}));
}

} // namespace
