// SPDX-License-Identifier: GPL-3.0-or-later
// The ZIP extractor: what it writes, where, and what it refuses.

#include "components/zip/UnZip.h"
#include "support/TempDatabase.h"
#include "support/ZipMaker.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

using testing_support::makeZip;
using testing_support::TempDir;
namespace fs = std::filesystem;

namespace {

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void spit(const fs::path& p, const std::string& content) {
    std::ofstream(p, std::ios::binary) << content;
}

std::vector<std::string> listing(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A destination folder inside a parent that must stay untouched.
struct Unpacking : ::testing::Test {
    TempDir top;
    fs::path dest = top.path() / "dest";
    std::string archive = top.file("a.zip");
    unzip::TUnZip zip;
    std::vector<std::string> asked;

    void SetUp() override {
        fs::create_directory(dest);
        zip.DestDir = dest.string() + "/";
        zip.ZipName = archive;
    }
    std::string failure() {
        try {
            zip.UnZip();
        } catch (const unzip::Error& e) {
            return e.what();
        }
        return "";
    }
};

} // namespace

TEST_F(Unpacking, EveryMemberLandsFlatInTheDestinationAndNothingOutside) {
    makeZip(archive, {{"folder/deep/1055.html", "<p>a</p>"},
                      {"../../escape.txt", "x"},
                      {"/abs.txt", "y"},
                      {"sub/", ""},
                      {"sub/..", "z"},
                      {"pic.gif", "GIF"}});
    int idle = 0;
    zip.OnIdle = [&] { ++idle; };
    EXPECT_EQ(zip.UnZip(), 4);
    EXPECT_GE(idle, 4);
    EXPECT_EQ(listing(dest),
              (std::vector<std::string>{"1055.html", "abs.txt", "escape.txt", "pic.gif"}));
    EXPECT_EQ(slurp(dest / "1055.html"), "<p>a</p>");
    EXPECT_EQ(listing(top.path()), (std::vector<std::string>{"a.zip", "dest"}));
}

TEST_F(Unpacking, AnExistingFileIsReplacedOnlyAfterYes) {
    makeZip(archive, {{"1.html", "new one"}, {"2.html", "new two"}});
    spit(dest / "1.html", "old one");
    // A link standing in the way is replaced, never written through.
    spit(top.path() / "outside.txt", "keep");
    fs::create_symlink(top.path() / "outside.txt", dest / "2.html");
    zip.OnFileExists = [this](const std::string& path) {
        asked.push_back(path);
        return path.ends_with("2.html");
    };
    EXPECT_EQ(zip.UnZip(), 1);
    EXPECT_EQ(asked,
              (std::vector<std::string>{(dest / "1.html").string(), (dest / "2.html").string()}));
    EXPECT_EQ(slurp(dest / "1.html"), "old one");
    EXPECT_FALSE(fs::is_symlink(dest / "2.html"));
    EXPECT_EQ(slurp(dest / "2.html"), "new two");
    EXPECT_EQ(slurp(top.path() / "outside.txt"), "keep");
}

TEST_F(Unpacking, DamagedOrForeignFilesFailClearlyAndLeaveNoPartBehind) {
    spit(archive, "<html><body>404 Not Found</body></html>");
    EXPECT_NE(failure().find("ZIP"), std::string::npos);
    spit(archive, "");
    EXPECT_NE(failure().find("ZIP"), std::string::npos);

    // Cut short: the central directory is gone.
    makeZip(archive, {{"1.html", std::string(5000, 'q')}}, true);
    std::string whole = slurp(archive);
    spit(archive, whole.substr(0, whole.size() / 2));
    EXPECT_NE(failure().find("ZIP"), std::string::npos);

    // A flipped byte in the stored data: the checksum does not match.
    makeZip(archive, {{"1.html", std::string(5000, 'q') + "end"}}, true);
    whole = slurp(archive);
    const size_t at = whole.find("end");
    ASSERT_NE(at, std::string::npos);
    whole[at] = 'E';
    spit(archive, whole);
    EXPECT_NE(failure().find("ZIP"), std::string::npos);
    EXPECT_TRUE(listing(dest).empty());

    fs::remove(archive);
    EXPECT_NE(failure(), "");
}

TEST_F(Unpacking, MoreThanTheLimitIsRefusedWhateverTheArchiveDeclares) {
    zip.MaxUnpackedSize = 1 << 20;
    testing_support::makeZerosZip(archive, "big.html", (1 << 20) + 1);
    EXPECT_NE(failure().find('1'), std::string::npos);
    EXPECT_TRUE(listing(dest).empty());

    // Two members that only together pass the limit.
    makeZip(archive, {{"a", std::string(600 << 10, 'a')}, {"b", std::string(600 << 10, 'b')}});
    EXPECT_NE(failure(), "");
    EXPECT_TRUE(listing(dest).empty());

    // Sizes forged in both headers: the bytes themselves are counted.
    testing_support::makeZerosZip(archive, "lie.html", 3 << 20);
    std::string bytes = slurp(archive);
    const uint32_t real = 3 << 20, small = 1000;
    for (size_t at = 0; (at = bytes.find(std::string(reinterpret_cast<const char*>(&real), 4),
                                         at)) != std::string::npos;)
        bytes.replace(at, 4, std::string(reinterpret_cast<const char*>(&small), 4));
    spit(archive, bytes);
    EXPECT_NE(failure(), "");
    EXPECT_TRUE(listing(dest).empty());
}
