// SPDX-License-Identifier: GPL-3.0-or-later
// Reading the update server's replies, building its URLs and requests, and
// the small figures the progress windows show.

#include "components/http/Http.h"
#include "components/text/Cp1251.h"
#include "update/Texts.h"
#include "update/UpdateProtocol.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <set>
#include <sstream>
#include <stdexcept>
#include <thread>

using namespace update;

namespace {

using Lines = std::vector<std::string>;

TEST(SplitLines, EndsLinesAtCrLfLoneCrAndLoneLf) {
    EXPECT_EQ(SplitLines("a\r\nb\rc\nd"), (Lines{"a", "b", "c", "d"}));
    EXPECT_EQ(SplitLines("a\n\nb"), (Lines{"a", "", "b"}));
    EXPECT_EQ(SplitLines("\r\r\n"), (Lines{"", ""}));
    EXPECT_EQ(SplitLines("\n\r"), (Lines{"", ""})); // LF then a lone CR: two breaks
}

TEST(SplitLines, FinalBreakOpensNoLineAndNulEndsTheText) {
    EXPECT_EQ(SplitLines(""), Lines{});
    EXPECT_EQ(SplitLines("a\r\n"), Lines{"a"});
    EXPECT_EQ(SplitLines("\r\n\r\n\r\n"), (Lines{"", "", ""}));
    EXPECT_EQ(SplitLines(std::string_view("ab\0c\nd", 6)), Lines{"ab"});
}

TEST(StatusFile, OnlyExactlyThreeLinesAreAStatusFile) {
    EXPECT_FALSE(ParseStatusFile(""));
    EXPECT_FALSE(ParseStatusFile("a\r\nb"));
    EXPECT_FALSE(ParseStatusFile("a\r\nb\r\nc\r\nd"));
    EXPECT_FALSE(ParseStatusFile("<html>\n<body>404</body>\n</html>\n\n"));
    auto s = ParseStatusFile(" new.host:81 \r\nАнонс\r\nhttp://x/");
    ASSERT_TRUE(s);
    EXPECT_EQ(s->root, " new.host:81 "); // untrimmed
    EXPECT_EQ(s->announcement, "Анонс");
    EXPECT_EQ(s->link, "http://x/");
    EXPECT_TRUE(ParseStatusFile("a\r\nb\r\nc\r\n"));
    auto empty = ParseStatusFile("\r\n\r\n\r\n");
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->root + empty->announcement + empty->link, "");
}

TEST(IntegerReply, TrimmedWholeSignedDecimal) {
    EXPECT_EQ(ParseIntegerReply(" 12\r\n"), 12);
    EXPECT_EQ(ParseIntegerReply("\t0\x01"), 0);
    EXPECT_EQ(ParseIntegerReply("-3"), -3);
    EXPECT_EQ(ParseIntegerReply("+7"), 7);
    EXPECT_EQ(ParseIntegerReply("2147483647"), INT32_MAX);
    EXPECT_EQ(ParseIntegerReply("-2147483648"), INT32_MIN);
}

TEST(IntegerReply, AnythingElseIsAnErrorNamingTheText) {
    for (const char* bad : {"12a", "", "  \r\n", "1 2", "--1", "+-1", "0x10", "2147483648",
                            "-2147483649", "99999999999999999999"}) {
        try {
            ParseIntegerReply(bad);
            ADD_FAILURE() << "'" << bad << "' was read as a number";
        } catch (const ReplyError& e) {
            EXPECT_EQ(std::string(e.what()).rfind("'" + std::string(bad) + "'", 0), 0u) << e.what();
        }
    }
    // An error page is named by its beginning only.
    try {
        ParseIntegerReply(std::string(5000, 'x'));
        ADD_FAILURE();
    } catch (const ReplyError& e) {
        EXPECT_LT(std::string(e.what()).size(), 300u);
    }
}

TEST(NewHints, EntriesOfFourLinesWithOneTrailingLineIgnored) {
    EXPECT_TRUE(ParseNewHints("").empty());
    const auto one = ParseNewHints(" 1051\r\nЗаголовок\r\n1\r\n6\r\nx");
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].serverId, " 1051"); // untrimmed
    EXPECT_EQ(one[0].title, "Заголовок");
    EXPECT_EQ(one[0].cat, "1");
    EXPECT_EQ(one[0].subcat, "6");
    const auto two = ParseNewHints("1\r\nA\r\n1\r\n2\r\n2\r\nB\r\n3\r\n4\r\n");
    ASSERT_EQ(two.size(), 2u);
    EXPECT_EQ(two[1].serverId, "2");
    EXPECT_EQ(two[1].subcat, "4");
}

TEST(NewHints, IncompleteLastEntryIsAnIndexError) {
    EXPECT_THROW(ParseNewHints("1\r\nA\r\n1\r\n2\r\n2\r\nB"), ReplyError);
    EXPECT_THROW(ParseNewHints("1\r\nA\r\n1\r\n2\r\n2\r\nB\r\n3"), ReplyError);
    EXPECT_THROW(ParseNewHints("1\r\nA"), ReplyError);
}

TEST(NewHints, BlankLinesWhereAnEntryWouldStartAreSeparators) {
    // A fifth line that is blank leaves a single line: nothing is missing.
    EXPECT_EQ(ParseNewHints("1\r\nA\r\n1\r\n2\r\n\r\nx").size(), 1u);
    const auto hints = ParseNewHints("\r\n1\r\nA\r\n1\r\n2\r\n \r\n\r\n2\r\nB\r\n3\r\n4\r\n");
    ASSERT_EQ(hints.size(), 2u);
    EXPECT_EQ(hints[0].serverId, "1");
    EXPECT_EQ(hints[1].serverId, "2");
    EXPECT_TRUE(ParseNewHints("\r\n\r\n\r\n").empty());
}

TEST(Requests, UrlsAreTheRootVerbatimFollowedByThePath) {
    EXPECT_EQ(RequestURL("127.0.0.1:8080", kStatusFilePath),
              "http://127.0.0.1:8080/get/tipsara/tipsara_update.txt");
    EXPECT_EQ(RequestURL("example.test/mirror", kMaxCatPath),
              "http://example.test/mirror/get/tipsara/get_max_cat.php");
    EXPECT_EQ(CatPath(3), "/get/tipsara/get_cat.php?id=3");
    EXPECT_EQ(MaxSubCatPath(12), "/get/tipsara/get_max_sub_cat.php?id=12");
    EXPECT_EQ(SubCatPath(3, 4), "/get/tipsara/get_sub_cat.php?id=3&sid=4");
    EXPECT_EQ(NewHintsPath(""), "/get/tipsara/get_new_hints.php?ids=");
    EXPECT_EQ(PackagePath("1234"), "/get/tipsara/files/1234.zip");
    EXPECT_EQ(ReferrerURL("127.0.0.1:8080"), "http://127.0.0.1:8080/?fromTipsara");
    EXPECT_EQ(ServerIdList({}), "");
    EXPECT_EQ(ServerIdList({1001, 5, 1002}), "1001,5,1002");
}

TEST(Requests, ARootMustBeginWithAHostAndCarryNoUserInformation) {
    for (const char* good : {"host", "host:8080/folder", "127.0.0.1:8080", "[::1]:8080", "[::1]/x",
                             "example.test/a@b/c", "h:1/", "h:65535?x", "h/a:b"})
        EXPECT_NO_THROW(CheckRoot(good)) << good;
    // Each of these would make a URL whose host is not the root's own: the
    // path's first folder, nothing at all, or a scheme's name taken for the
    // host; after the host only a port of digits may follow.
    for (const char* hostless : {"", "   ", "/x", ":8080", ":8080/x", "?x", "[", "[oops/x", "\t/x",
                                 "http://example.org/tips", "https://example.org", "host:/x",
                                 "host:80x", "host:99999", "host:8080:1", "[::1]x/y", "[::1]:"}) {
        try {
            CheckRoot(hostless);
            ADD_FAILURE() << "taken: '" << hostless << "'";
        } catch (const RootError& e) {
            EXPECT_NE(
                std::string(e.what()).find(text::utf8ToCp1251("не начинается с имени сервера")),
                std::string::npos)
                << e.what();
        }
    }
    for (const char* withUser : {"user:secret@host", "user@host:8080/f", "@host", "a:b@[::1]/x"}) {
        try {
            CheckRoot(withUser);
            ADD_FAILURE() << "taken: " << withUser;
        } catch (const RootError& e) {
            const std::string message = e.what();
            EXPECT_NE(message.find(text::utf8ToCp1251("имя пользователя или пароль")),
                      std::string::npos);
            // The password is not shown in the report.
            EXPECT_EQ(message.find("secret"), std::string::npos) << message;
        }
    }
}

TEST(Requests, TheLongestServerIdListStillFitsTheHttpLayer) {
    http::TInternetSession session;
    http::TInternetConnection connection{session};
    http::TInternetHTTPRequest request{connection};
    const std::string root = "127.0.0.1:8080";
    EXPECT_NO_THROW(request.setURL(RequestURL(root, NewHintsPath(std::string(1018, '1')))));
    EXPECT_THROW(request.setURL(RequestURL(root, NewHintsPath(std::string(1019, '1')))),
                 http::Error);
}

// Accepts one connection on 127.0.0.1, keeps the request head and answers "ok".
class Capture {
public:
    Capture() {
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
            listen(listener_, 1) != 0)
            throw std::runtime_error("cannot listen");
        socklen_t len = sizeof a;
        getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] {
            const int c = accept(listener_, nullptr, nullptr);
            char buf[4096];
            while (head_.find("\r\n\r\n") == std::string::npos) {
                const ssize_t n = read(c, buf, sizeof buf);
                if (n <= 0)
                    break;
                head_.append(buf, static_cast<size_t>(n));
            }
            const std::string reply =
                "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok";
            (void)!write(c, reply.data(), reply.size());
            close(c);
        });
    }
    ~Capture() {
        if (thread_.joinable())
            thread_.join();
        close(listener_);
    }
    std::string root() const { return "127.0.0.1:" + std::to_string(port_); }
    const std::string& head() {
        thread_.join();
        return head_;
    }

private:
    int listener_ = -1;
    int port_ = 0;
    std::thread thread_;
    std::string head_;
};

TEST(Requests, CarryExactlyTheRequestLineAndHeadersOfTheProtocol) {
    Capture capture;
    http::TInternetSession session;
    http::TInternetConnection connection{session};
    http::TInternetHTTPRequest request{connection};
    EXPECT_EQ(FetchText(request, capture.root(), kMaxCatPath), "ok");

    std::istringstream head(capture.head());
    std::string line;
    std::getline(head, line);
    EXPECT_EQ(line, "GET /get/tipsara/get_max_cat.php HTTP/1.1\r");
    std::multiset<std::string> headers;
    while (std::getline(head, line) && line != "\r")
        headers.insert(line);
    const std::multiset<std::string> expected = {
        "Host: " + capture.root() + "\r",
        "User-Agent: Mozilla/4.0 (compatible; Tolvane Software Downloader)\r",
        "Referer: http://" + capture.root() + "/?fromTipsara\r",
        "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, "
        "application/x-shockwave-flash, "
        "application/vnd.ms-powerpoint, application/vnd.ms-excel, application/msword, */*\r",
    };
    EXPECT_EQ(headers, expected) << capture.head();
}

TEST(FileCount, EndingFollowsTheLastDigitOnly) {
    const std::pair<int, const char*> cases[] = {
        {0, "0 файлов"}, {1, "1 файл"},     {2, "2 файла"},     {5, "5 файлов"},
        {11, "11 файл"}, {12, "12 файла"},  {21, "21 файл"},    {25, "25 файлов"},
        {3, "3 файла"},  {10, "10 файлов"}, {104, "104 файла"},
    };
    for (const auto& [n, text] : cases)
        EXPECT_EQ(FileCountText(n).toStdString(), text);
}

TEST(TransferFigures, PercentAndText) {
    EXPECT_EQ(TransferPercent(4096, 48160), 8);
    EXPECT_EQ(TransferPercent(0, 10000), 0);
    EXPECT_EQ(TransferPercent(10000, 10000), 100);
    EXPECT_EQ(TransferPercent(0, 0), -1);
    // 32-bit arithmetic would wrap here and show 7.
    EXPECT_EQ(TransferPercent(50000000, 100000000), 50);
    EXPECT_EQ(TransferText(4096, 48160).toStdString(), "Прочтено 4096 из 48160");
}

} // namespace
