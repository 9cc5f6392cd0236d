// SPDX-License-Identifier: GPL-3.0-or-later
// Look-ups from outside: the command line's and the links' forms, what is
// refused, and the line that carries a request to a running copy.

#include "app/Request.h"

#include <gtest/gtest.h>

using namespace lookup;

namespace {

QString u(const char* utf8) {
    return QString::fromUtf8(utf8);
}

std::optional<Request> args(std::initializer_list<const char*> list) {
    QStringList a;
    for (const char* s : list)
        a << u(s);
    const Parsed p = fromArguments(a);
    EXPECT_EQ(p.request.has_value(), p.error.isEmpty()) << p.error.toStdString();
    return p.request;
}

std::optional<Request> url(const char* s) {
    const Parsed p = fromUrl(u(s));
    EXPECT_EQ(p.request.has_value(), p.error.isEmpty()) << p.error.toStdString();
    return p.request;
}

Request search(const char* cp1251) {
    return Search{cp1251};
}

} // namespace

TEST(Request, CommandLineFormsAskForWordsOrAnArticle) {
    EXPECT_FALSE(isLookup({}));
    EXPECT_FALSE(isLookup({u("--import"), u("a.zip")})) << "other forms are the caller's";
    EXPECT_EQ(args({"--search", "  TStringList   Sort "}), search("TStringList Sort"));
    // Cyrillic words arrive as Unicode and go on in Windows-1251.
    EXPECT_EQ(args({"--search", "строка"}), search("\xF1\xF2\xF0\xEE\xEA\xE0"));
    EXPECT_EQ(args({"--article", "42"}), Request(Article{42}));
    EXPECT_EQ(args({"tipsara:article/7"}), Request(Article{7}));
    EXPECT_EQ(args({"TIPSARA:search?q=Format"}), search("Format"));
}

TEST(Request, BadCommandLinesAreRefusedWithAMessage) {
    for (const auto& bad : std::vector<QStringList>{
             {u("--search")},
             {u("--search"), u("   \t ")},
             {u("--search"), u("a"), u("b")},
             {u("--article")},
             {u("--article"), u("0")},
             {u("--article"), u("-3")},
             {u("--article"), u("12x")},
             {u("--article"), u(" 12")},
             {u("--article"), u("2147483648")},
             {u("--article"), u("99999999999999999999")},
             {u("--search"), u("a\x01z")},
             {u("--search"), QString(MaxWords + 1, QLatin1Char('a'))},
         }) {
        const Parsed p = fromArguments(bad);
        EXPECT_FALSE(p.request) << bad.join('|').toStdString();
        EXPECT_FALSE(p.error.isEmpty()) << bad.join('|').toStdString();
    }
    EXPECT_EQ(args({"--article", "2147483647"}), Request(Article{2147483647}));
    // A character the code page lacks is named rather than searched as '?'.
    const Parsed emoji = fromArguments({u("--search"), u("Format \xF0\x9F\x98\x80")});
    EXPECT_FALSE(emoji.request);
    EXPECT_TRUE(emoji.error.contains(u("U+1F600"))) << emoji.error.toStdString();
}

TEST(Request, LinksArePercentDecodedUtf8AndReadStrictly) {
    EXPECT_EQ(url("tipsara:search?q=%D1%81%D1%82%D1%80%D0%BE%D0%BA%D0%B0%20Pos"),
              search("\xF1\xF2\xF0\xEE\xEA\xE0 Pos"));
    EXPECT_EQ(url("tipsara:search?q=a+b%2Bc"), search("a+b+c")) << "'+' is a plus, not a blank";
    EXPECT_EQ(url("tipsara:search?q=%e0%b8%81"), std::nullopt) << "Thai: not in the code page";
    for (const char* bad : {"tipsara:",
                            "tipsara:search",
                            "tipsara:search?q=",
                            "tipsara:search?q=%20",
                            "tipsara:search?x=a",
                            "tipsara:search?q=a&q=b",
                            "tipsara:search?q=a#top",
                            "tipsara:search?q=a b",
                            "tipsara:search?q=%4",
                            "tipsara:search?q=%zz",
                            "tipsara:search?q=%+1a",
                            "tipsara:search?q=%C3%28",
                            "tipsara:search?q=%00",
                            "tipsara://search?q=a",
                            "tipsara:Search?q=a",
                            "tipsara:article/",
                            "tipsara:article/5/",
                            "tipsara:article/5?x",
                            "tipsara:article/0",
                            "tipsara:article/+5",
                            "tipsara:articles/5",
                            "http:article/5",
                            "tipsara:article/5#x"}) {
        const Parsed p = fromUrl(u(bad));
        EXPECT_FALSE(p.request) << bad;
        EXPECT_FALSE(p.error.isEmpty()) << bad;
    }
}

TEST(Request, TheLineToARunningCopyCarriesTheRequestAndNothingElse) {
    for (const Request& r : {search("a \xF1 \"b\" +c"), Request(Article{9})})
        EXPECT_EQ(fromLine(toLine(r)), r);
    for (const char* bad : {"", "search", "search ", "search !!", "search ICA=", "article x",
                            "article 0", "raise", "open 5"})
        EXPECT_EQ(fromLine(bad), std::nullopt) << bad;
}
