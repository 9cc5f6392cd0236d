// SPDX-License-Identifier: GPL-3.0-or-later
// The HTTP layer against servers on 127.0.0.1 only: a plain Python server
// (responses with and without Content-Length, chunked, empty, 404, redirect).

#include "components/http/Http.h"
#include "support/ServerProcess.h"
#include "support/TempDatabase.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <utility>

using testing_support::ServerProcess;

namespace {

using Events = std::vector<std::pair<uint32_t, uint32_t>>;

std::string pattern(size_t n) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>(i % 251);
    return s;
}

// The three objects as the main window holds them, recording progress.
struct Client {
    http::TInternetSession session;
    http::TInternetConnection connection{session};
    http::TInternetHTTPRequest request{connection};
    Events events;

    Client() {
        request.OnProgress = [this](uint32_t position, uint32_t total) {
            events.emplace_back(position, total);
        };
    }

    std::string get(const std::string& url) {
        events.clear();
        request.setURL(url);
        request.Referrer = "http://test/?fromTipsara";
        request.OpenRequest();
        http::MemoryStream body;
        request.ReadToStream(body);
        return body.DataString;
    }
};

class Http : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // The servers are local; a proxy from the environment must not step in.
        for (const char* v : {"http_proxy", "HTTPS_PROXY", "https_proxy", "ALL_PROXY", "all_proxy"})
            unsetenv(v);
        fixture_ = new ServerProcess({TIPSARA_PYTHON, std::string(TIPSARA_SOURCE_DIR) +
                                                          "/tests/components/http/http_fixture.py"},
                                     "^port (\\d+)");
    }
    static void TearDownTestSuite() {
        delete fixture_;
        fixture_ = nullptr;
    }
    static std::string url(const std::string& path) { return "http://" + fixture_->root() + path; }

    static ServerProcess* fixture_;
    Client client;
};

ServerProcess* Http::fixture_ = nullptr;

TEST_F(Http, BodyWithContentLengthArrivesInSteps) {
    EXPECT_EQ(client.get(url("/sized?n=10000")), pattern(10000));
    EXPECT_EQ(client.events,
              (Events{{0, 10000}, {4096, 10000}, {8192, 10000}, {10000, 10000}, {10000, 10000}}));
}

TEST_F(Http, WithoutContentLengthTheTotalIs48160AndThePositionStopsThere) {
    EXPECT_EQ(client.get(url("/nolength?n=100000")), pattern(100000));
    ASSERT_GE(client.events.size(), 3u);
    EXPECT_EQ(client.events.front(), std::make_pair(0u, 48160u));
    for (size_t i = 1; i + 1 < client.events.size(); ++i)
        EXPECT_EQ(client.events[i], std::make_pair(std::min<uint32_t>(i * 4096, 48160), 48160u));
    EXPECT_EQ(client.events.size(), 2 + (100000 + 4095) / 4096);
    EXPECT_EQ(client.events.back(), std::make_pair(48160u, 48160u));
}

TEST_F(Http, ChunkedBodyGivesTheSameStepsWhateverTheChunks) {
    EXPECT_EQ(client.get(url("/chunked?n=10000")), pattern(10000));
    EXPECT_EQ(client.events,
              (Events{{0, 48160}, {4096, 48160}, {8192, 48160}, {10000, 48160}, {48160, 48160}}));
}

TEST_F(Http, EmptyBodyRaisesOneEventOfZero) {
    EXPECT_EQ(client.get(url("/empty")), "");
    EXPECT_EQ(client.events, (Events{{0, 0}}));
}

TEST_F(Http, ErrorPageIsDeliveredAsTheBody) {
    const std::string page = client.get(url("/missing"));
    EXPECT_NE(page.find("404"), std::string::npos) << page;
    ASSERT_FALSE(client.events.empty());
    EXPECT_EQ(client.events.back().first, client.events.back().second);
}

TEST_F(Http, RedirectIsFollowed) {
    EXPECT_EQ(client.get(url("/redirect")), pattern(10000));
    EXPECT_EQ(client.events.front(), std::make_pair(0u, 10000u));
}

TEST_F(Http, OneSetOfObjectsCarriesTransferAfterTransfer) {
    for (int round = 0; round < 3; ++round) {
        EXPECT_EQ(client.get(url("/sized?n=5000")), pattern(5000));
        EXPECT_EQ(client.get(url("/empty")), "");
        EXPECT_NE(client.get(url("/missing")).find("404"), std::string::npos);
    }
    // A request is read once; the next read needs a new OpenRequest.
    http::MemoryStream again;
    EXPECT_THROW(client.request.ReadToStream(again), std::logic_error);
}

TEST_F(Http, FileStreamIsReplacedAndFilled) {
    testing_support::TempDir dir;
    const std::string file = dir.file("1001.zip");
    std::ofstream(file) << std::string(70000, 'x'); // left by an earlier run
    client.request.setURL(url("/chunked?n=30000"));
    client.request.OpenRequest();
    {
        http::FileStream stream(file);
        client.request.ReadToStream(stream);
        stream.Close();
    }
    EXPECT_EQ(dbbuild::readFile(file), pattern(30000));
}

TEST_F(Http, FileStreamReplacesWhatIsPlantedAtTheNameAndWritesNothingThroughIt) {
    namespace fs = std::filesystem;
    testing_support::TempDir dir, elsewhere;
    const std::string file = dir.file("1001.zip");
    const std::string victim = elsewhere.file("victim.txt");
    std::ofstream(victim) << "keep me";
    fs::create_directory(elsewhere.path() / "folder");
    std::ofstream(elsewhere.file("folder/inside.txt")) << "keep me too";

    auto download = [&] {
        client.request.setURL(url("/sized?n=5000"));
        client.request.OpenRequest();
        http::FileStream stream(file);
        client.request.ReadToStream(stream);
        stream.Close();
    };
    // A link to a file, and one to a folder: the link itself is replaced.
    for (const fs::path& target : {fs::path(victim), elsewhere.path() / "folder"}) {
        fs::create_symlink(target, file);
        download();
        EXPECT_FALSE(fs::is_symlink(file)) << target;
        EXPECT_EQ(dbbuild::readFile(file), pattern(5000)) << target;
        fs::remove(file);
    }
    EXPECT_EQ(dbbuild::readFile(victim), "keep me");
    EXPECT_EQ(dbbuild::readFile(elsewhere.file("folder/inside.txt")), "keep me too");
    EXPECT_EQ(std::distance(fs::directory_iterator(elsewhere.path() / "folder"),
                            fs::directory_iterator()),
              1);

    // A folder at the name cannot be replaced: the stream fails naming the
    // file, the folder stays, and nothing is left beside it.
    fs::create_directory(file);
    try {
        http::FileStream stream(file);
        ADD_FAILURE() << "a stream was made over a folder";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find(file), std::string::npos) << e.what();
    }
    EXPECT_TRUE(fs::is_directory(file));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST_F(Http, FailingProgressHandlerEndsTheTransferKeepingWhatArrived) {
    client.request.OnProgress = [](uint32_t position, uint32_t) {
        if (position >= 8192)
            throw std::runtime_error("stop");
    };
    client.request.setURL(url("/sized?n=20000"));
    client.request.OpenRequest();
    http::MemoryStream body;
    EXPECT_THROW(client.request.ReadToStream(body), std::runtime_error);
    EXPECT_GE(body.DataString.size(), 8192u);
    EXPECT_EQ(body.DataString, pattern(body.DataString.size()));
    // The session is still good for the next transfer.
    client.request.OnProgress = nullptr;
    EXPECT_EQ(client.get(url("/sized?n=100")), pattern(100));
}

// ------------------------------------------------------------------ URL

TEST(HttpUrl, PartsGoToConnectionAndRequest) {
    Client c;
    c.request.setURL("http://user:pw@example.test:8080/get/tipsara/get_cat.php?id=3");
    EXPECT_EQ(c.connection.HostName, "example.test");
    EXPECT_EQ(c.connection.Port, 8080u);
    EXPECT_EQ(c.connection.UserName, "user");
    EXPECT_EQ(c.connection.Password, "pw");
    EXPECT_EQ(c.request.Path(), "/get/tipsara/get_cat.php");
    EXPECT_EQ(c.request.Query(), "?id=3");

    c.request.setURL("http://example.test/get/tipsara/get_new_hints.php?ids=");
    EXPECT_EQ(c.connection.Port, 0u);
    EXPECT_EQ(c.connection.UserName, "");
    EXPECT_EQ(c.request.Query(), "?ids=");
    EXPECT_NO_THROW(c.request.setURL("http://"));
}

TEST(HttpUrl, PartsUpTo1023CharactersPassAndLongerOnesFailAtTheAssignment) {
    Client c;
    const std::string base = "http://127.0.0.1/p";
    EXPECT_NO_THROW(c.request.setURL(base + "?" + std::string(1022, 'a')));
    EXPECT_EQ(c.request.Query().size(), 1023u);
    try {
        c.request.setURL(base + "?" + std::string(1023, 'a'));
        FAIL() << "a query of 1024 characters was taken";
    } catch (const http::Error& e) {
        EXPECT_EQ(e.code(), http::kInsufficientBuffer);
    }
    EXPECT_NO_THROW(c.request.setURL("http://127.0.0.1/" + std::string(1022, 'p')));
    EXPECT_THROW(c.request.setURL("http://127.0.0.1/" + std::string(1023, 'p')), http::Error);

    // The failed assignment leaves nothing to open a request for.
    EXPECT_THROW(c.request.OpenRequest(), http::Error);
}

TEST(HttpUrl, UrlsThatCannotBeSplitFailAtTheAssignment) {
    Client c;
    for (const char* bad :
         {"127.0.0.1/get", "ftp://127.0.0.1/x", "http://127.0.0.1:99999/x", "http://[oops/"}) {
        try {
            c.request.setURL(bad);
            ADD_FAILURE() << bad << " was taken";
        } catch (const http::Error& e) {
            EXPECT_GE(e.code(), 12001) << bad;
            EXPECT_EQ(std::string(e.what()).rfind("WININET Error: ", 0), 0u) << e.what();
        }
    }
}

// ------------------------------------------------------------------ failures

http::Error failure(const std::string& url) {
    Client c;
    c.request.setURL(url);
    c.request.OpenRequest(); // nothing is sent before the read
    http::MemoryStream body;
    try {
        c.request.ReadToStream(body);
    } catch (const http::Error& e) {
        return e;
    }
    throw std::runtime_error("no failure for " + url);
}

TEST(HttpFailure, UnresolvableHostGivesTheNameNotResolvedMessage) {
    // A label of 64 characters is refused by the local resolver itself, so
    // the test sends no query to any name server.
    const http::Error e = failure("http://" + std::string(64, 'a') + ".invalid/get/tipsara/");
    EXPECT_EQ(e.code(), 12007);
    EXPECT_EQ(std::string(e.what()),
              "WININET Error: " + http::errorDescription(12007) + "\r\nCode: 12007.");
}

TEST(HttpFailure, RefusedPortGivesTheCannotConnectMessage) {
    // A port that was just free: bound, then closed without listening.
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    socklen_t len = sizeof a;
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    close(s);
    const http::Error e = failure("http://127.0.0.1:" + std::to_string(ntohs(a.sin_port)) + "/");
    EXPECT_EQ(e.code(), 12029);
    EXPECT_EQ(std::string(e.what()),
              "WININET Error: " + http::errorDescription(12029) + "\r\nCode: 12029.");
}

} // namespace
