// SPDX-License-Identifier: GPL-3.0-or-later
// tipsara-server on the demonstration master catalogue, started on a free
// port of 127.0.0.1 and spoken to through the program's own HTTP layer and
// protocol functions, and by hand over a socket where the layer cannot go.

#include "components/http/Http.h"
#include "components/text/Cp1251.h"
#include "components/zip/UnZip.h"
#include "data/Database.h"
#include "data/DbBuild.h"
#include "support/ServerProcess.h"
#include "support/TempDatabase.h"
#include "update/UpdateProtocol.h"
#include "update/UpdateSteps.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zip.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>

using testing_support::ServerProcess;
using testing_support::TempDir;
using namespace update;

namespace {

const std::string kServer = std::string(TIPSARA_BIN_DIR) + "/tipsara-server";
const std::string kSource = TIPSARA_SOURCE_DIR;

// Status code and body of a GET sent by hand.
std::pair<int, std::string> rawGet(int port, const std::string& target) {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
        throw std::runtime_error("cannot connect");
    const std::string request =
        "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
    for (size_t sent = 0; sent < request.size();) {
        const ssize_t n = write(s, request.data() + sent, request.size() - sent);
        if (n <= 0)
            throw std::runtime_error("cannot send");
        sent += static_cast<size_t>(n);
    }
    std::string reply;
    char buf[8192];
    for (ssize_t n; (n = read(s, buf, sizeof buf)) > 0;)
        reply.append(buf, static_cast<size_t>(n));
    close(s);
    const size_t split = reply.find("\r\n\r\n");
    if (reply.size() < 12 || split == std::string::npos)
        throw std::runtime_error("no HTTP reply");
    return {std::stoi(reply.substr(9, 3)), reply.substr(split + 4)};
}

std::string zipMember(const std::string& archive, const std::string& name) {
    int error = 0;
    zip_t* za = zip_open(archive.c_str(), ZIP_RDONLY, &error);
    if (!za)
        throw std::runtime_error("not a ZIP archive");
    zip_stat_t st;
    zip_file_t* f =
        zip_stat(za, name.c_str(), 0, &st) == 0 ? zip_fopen(za, name.c_str(), 0) : nullptr;
    if (!f) {
        zip_close(za);
        throw std::runtime_error("no member " + name);
    }
    std::string out(st.size, '\0');
    zip_fread(f, out.data(), st.size);
    zip_fclose(f);
    zip_close(za);
    return out;
}

class Server : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        unsetenv("http_proxy");
        dir_ = new TempDir;
        master_ = dir_->file("Master.gdb");
        const std::string make = kServer + " --make-master " + master_ + " " + kSource +
                                 "/db/schema.sql " + kSource + "/db/catalogue " + kSource +
                                 "/db/demo-server > /dev/null";
        ASSERT_EQ(std::system(make.c_str()), 0);
        status_ = dir_->file("status.txt");
        std::ofstream(status_, std::ios::binary)
            << text::utf8ToCp1251("\r\nНовые статьи!\r\nhttp://127.0.0.1/news\r\n");
        server_ =
            new ServerProcess({kServer, "--listen", "127.0.0.1:0", "--status", status_, master_},
                              "listening on http://127\\.0\\.0\\.1:(\\d+)/");
        catalogue_ = new dbbuild::Catalogue(dbbuild::readCatalogue(
            kSource + "/db/demo-server", dbbuild::readCatalogue(kSource + "/db/catalogue")));
    }
    static void TearDownTestSuite() {
        if (server_) {
            EXPECT_EQ(server_->stop(), 0) << "the server did not stop cleanly on SIGTERM";
        }
        delete server_;
        delete catalogue_;
        delete dir_;
    }

    std::string fetch(const std::string& path) { return FetchText(request, server_->root(), path); }

    static TempDir* dir_;
    static std::string master_, status_;
    static ServerProcess* server_;
    static dbbuild::Catalogue* catalogue_;

    http::TInternetSession session;
    http::TInternetConnection connection{session};
    http::TInternetHTTPRequest request{connection};
};

TempDir* Server::dir_ = nullptr;
std::string Server::master_, Server::status_;
ServerProcess* Server::server_ = nullptr;
dbbuild::Catalogue* Server::catalogue_ = nullptr;

TEST_F(Server, ServesTheStatusFileGiven) {
    const auto status = ParseStatusFile(fetch(kStatusFilePath));
    ASSERT_TRUE(status);
    EXPECT_EQ(status->root, "");
    EXPECT_EQ(status->announcement, text::utf8ToCp1251("Новые статьи!"));
    EXPECT_EQ(status->link, "http://127.0.0.1/news");
}

TEST_F(Server, CatalogueWalkGivesEveryCategoryAndSubcategoryOfTheMaster) {
    std::map<int, std::string> cats;
    std::map<std::pair<int, int>, std::string> subs;
    for (const auto& c : catalogue_->categories)
        cats[c.num] = c.name;
    for (const auto& s : catalogue_->subcategories)
        subs[{s.catNum, s.num}] = s.name;

    const int n = ParseIntegerReply(fetch(kMaxCatPath));
    ASSERT_EQ(n, 18);
    for (int c = 1; c <= n; ++c) {
        EXPECT_EQ(fetch(CatPath(c)), cats[c]) << c;
        const int m = ParseIntegerReply(fetch(MaxSubCatPath(c)));
        for (int s = 1; s <= m; ++s)
            EXPECT_EQ(fetch(SubCatPath(c, s)), (subs[{c, s}])) << c << "/" << s;
        subs.erase(subs.lower_bound({c, 0}), subs.upper_bound({c, m}));
    }
    EXPECT_TRUE(subs.empty()) << "subcategories not reached by the walk";
}

TEST_F(Server, NewArticlesAreThoseNotInTheList) {
    std::vector<int32_t> shipped;
    std::map<int, const dbbuild::Article*> byId;
    for (const auto& a : catalogue_->articles)
        if (a.servId) {
            byId[*a.servId] = &a;
            if (*a.servId <= 1050)
                shipped.push_back(*a.servId);
        }

    // A fresh install knows the shipped articles: it gets the demonstration's.
    const auto fresh = ParseNewHints(fetch(NewHintsPath(ServerIdList(shipped))));
    ASSERT_EQ(fresh.size(), 8u);
    for (size_t i = 0; i < fresh.size(); ++i) {
        const int id = 1051 + static_cast<int>(i);
        EXPECT_EQ(fresh[i].serverId, std::to_string(id));
        EXPECT_EQ(fresh[i].title, byId[id]->title);
        EXPECT_EQ(fresh[i].cat, std::to_string(byId[id]->cat));
        EXPECT_EQ(fresh[i].subcat, std::to_string(byId[id]->subcat));
    }

    EXPECT_EQ(ParseNewHints(fetch(NewHintsPath(""))).size(), byId.size());
    EXPECT_EQ(ParseNewHints(fetch(NewHintsPath("1055,1001,1055"))).size(), byId.size() - 2);

    // Lists longer than the client can send work too.
    std::vector<int32_t> many;
    for (int32_t id = 1; id <= 1600; ++id)
        many.push_back(id);
    const auto [code, body] = rawGet(server_->port(), NewHintsPath(ServerIdList(many)));
    EXPECT_EQ(code, 200);
    EXPECT_EQ(body, "");
}

TEST_F(Server, PackageHoldsTheArticleUnderItsIdentifier) {
    TempDir temp;
    const std::string file = temp.file("1055.zip");
    uint32_t last = 1, lastTotal = 0;
    request.OnProgress = [&](uint32_t position, uint32_t total) {
        last = position;
        lastTotal = total;
    };
    FetchFile(request, server_->root(), PackagePath("1055"), file);
    EXPECT_EQ(last, lastTotal);
    const dbbuild::Article* article = nullptr;
    for (const auto& a : catalogue_->articles)
        if (a.servId == 1055)
            article = &a;
    ASSERT_TRUE(article);
    EXPECT_EQ(zipMember(file, "1055.html"), article->body);
}

// The import of chosen entries: each package in, its files gone, one commit;
// a package the server lacks stops it with nothing committed.
TEST_F(Server, ImportPackagesInsertsTheChosenArticlesWithOneCommit) {
    testing_support::TempDatabase database;
    TempDir temp;
    setenv("TEMP", temp.path().c_str(), 1);
    fb::Database db;
    data::configure(db, database.path());
    db.Open();
    fb::Transaction read(db), write(db);
    read.TRParams = write.TRParams = data::TransactionParams();
    read.setActive(true);
    write.setActive(true);
    fb::Query upd(db, write), q(db, read);
    unzip::TUnZip zip;

    auto entry = [](const std::string& servId, const std::string& title) {
        TUpdEntry e;
        e.servId = servId;
        e.title = title;
        e.cat = "1";
        e.subcat = "1";
        return e;
    };
    std::vector<std::pair<int, int>> steps;
    ImportParts parts;
    parts.request = &request;
    parts.root = [] { return server_->root(); };
    parts.zip = &zip;
    parts.upd = &upd;
    parts.updTrans = &write;
    parts.progress = [&](int done, int total) { steps.emplace_back(done, total); };

    auto count = [&] {
        read.Commit();
        read.setActive(true);
        q.Close();
        q.setSQL("select count(*) from HINTS where SERV_ID in ('1051', '1055', '99999')");
        q.ExecQuery();
        const int n = q.Fields(0).AsInteger();
        q.Close();
        return n;
    };
    EXPECT_THROW(ImportPackages({entry("1051", "a"), entry("99999", "b")}, parts), std::exception);
    write.Rollback();
    write.setActive(true);
    EXPECT_EQ(count(), 0);

    steps.clear();
    ImportPackages({entry("1051", "a"), entry("1055", "b")}, parts);
    EXPECT_EQ(steps, (std::vector<std::pair<int, int>>{{1, 2}, {2, 2}}));
    EXPECT_EQ(count(), 2);
    for (const char* name : {"1051.zip", "1051.html", "1055.zip", "1055.html"})
        EXPECT_FALSE(std::filesystem::exists(temp.path() / name)) << name;
    unsetenv("TEMP");
}

TEST_F(Server, RequestsItCannotAnswerGet404WithNoBody) {
    for (const std::string target :
         {"/get/tipsara/get_cat.php?id=x", "/get/tipsara/get_cat.php?id=99",
          "/get/tipsara/get_cat.php", "/get/tipsara/get_cat.php?id=-1",
          "/get/tipsara/get_cat.php?id=99999999999", "/get/tipsara/get_max_sub_cat.php?id=1a",
          "/get/tipsara/get_sub_cat.php?id=1", "/get/tipsara/get_sub_cat.php?id=1&sid=99",
          "/get/tipsara/get_new_hints.php", "/get/tipsara/get_new_hints.php?ids=1,,2",
          "/get/tipsara/get_new_hints.php?ids=1,x", "/get/tipsara/files/abc.zip",
          "/get/tipsara/files/9999.zip", "/get/tipsara/files/.zip", "/get/tipsara/get_max_catXphp",
          "/get/tipsara/", "/"}) {
        const auto [code, body] = rawGet(server_->port(), target);
        EXPECT_EQ(code, 404) << target;
        EXPECT_EQ(body, "") << target;
    }
    // A category without subcategories has the highest number 0.
    const auto none = rawGet(server_->port(), MaxSubCatPath(99));
    EXPECT_EQ(none.first, 200);
    EXPECT_EQ(none.second, "0");
}

TEST_F(Server, ServesUnderAFolderGivenInTheRoot) {
    // A master of its own: the engine lets one process at a time open a file.
    TempDir small;
    std::ofstream(small.file("categories.txt")) << "1\tOne\n";
    std::ofstream(small.file("subcategories.txt")) << "1\t1\tFirst\n";
    std::ofstream(small.file("articles.txt")) << "a.html\t1\t1\t7\tSeven\n";
    std::filesystem::create_directories(small.path() / "articles");
    std::ofstream(small.file("articles/a.html")) << "<p>7</p>";
    const std::string master = small.file("Mirror.gdb");
    ASSERT_EQ(std::system((kServer + " --make-master " + master + " " + kSource +
                           "/db/schema.sql " + small.path().string() + " > /dev/null")
                              .c_str()),
              0);

    ServerProcess mirror({kServer, "--listen", "127.0.0.1:0", "--base", "/mirror/", master},
                         "listening on http://127\\.0\\.0\\.1:(\\d+)/mirror/get/tipsara/");
    const std::string root = mirror.root() + "/mirror";
    // No status file given: three empty lines.
    EXPECT_EQ(FetchText(request, root, kStatusFilePath), "\r\n\r\n\r\n");
    EXPECT_EQ(ParseIntegerReply(FetchText(request, root, kMaxCatPath)), 1);
    EXPECT_EQ(FetchText(request, root, NewHintsPath("")), "7\r\nSeven\r\n1\r\n1\r\n");
    EXPECT_EQ(rawGet(mirror.port(), kMaxCatPath).first, 404);
    EXPECT_EQ(mirror.stop(), 0);
}

} // namespace
