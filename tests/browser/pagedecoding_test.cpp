// SPDX-License-Identifier: GPL-3.0-or-later
// The page view's decoding of article and catalogue pages: the declared
// character set is honoured, Windows-1251 is the default.

#include "browser/Catalogue.h"
#include "components/text/Strings.h"
#include "components/widgets/PageView.h"

#include <gtest/gtest.h>

namespace {

using text::cp;

TEST(PageDecoding, MetaCharsetIsHonouredAndWindows1251IsTheDefault) {
    const QString russian = QString::fromUtf8("Привет, мир");
    const std::string w1251 = cp("<p>Привет, мир</p>");
    // No declaration: Windows-1251, not UTF-8 guessing.
    EXPECT_TRUE(ui::decodeHtmlPage(QByteArray::fromStdString(w1251)).contains(russian));

    // The catalogue pages' own odd quoting still names Windows-1251.
    const std::string page = BuildNodePage(0, cp("Привет, мир"), "").substr(6);
    EXPECT_EQ(ui::declaredCharset(QByteArray::fromStdString(page)), QByteArray("Windows-1251"));
    EXPECT_TRUE(ui::decodeHtmlPage(QByteArray::fromStdString(page)).contains(russian));

    QByteArray koi8 =
        "<html><head><META HTTP-EQUIV='Content-Type' CONTENT='text/html; charset=koi8-r'>"
        "</head><body>";
    koi8 += "\xF0\xD2\xC9\xD7\xC5\xD4, \xCD\xC9\xD2"; // "Привет, мир" in KOI8-R
    EXPECT_EQ(ui::declaredCharset(koi8), QByteArray("koi8-r"));
    EXPECT_TRUE(ui::decodeHtmlPage(koi8).contains(russian));

    const QByteArray utf8 = "<meta charset=\"utf-8\"><p>" + russian.toUtf8() + "</p>";
    EXPECT_TRUE(ui::decodeHtmlPage(utf8).contains(russian));
    EXPECT_TRUE(ui::decodeHtmlPage("\xEF\xBB\xBF" + russian.toUtf8()).startsWith(russian));

    // A charset nobody knows, or bytes that do not fit it, still show a page.
    EXPECT_TRUE(ui::decodeHtmlPage(QByteArray("<meta charset=no-such-set>") + w1251.c_str())
                    .contains(russian));
    EXPECT_TRUE(ui::decodeHtmlPage(QByteArray("<meta charset=utf-8>ok \xFF end"))
                    .contains(QLatin1String("end")));
}

TEST(PageDecoding, TheFirstMetaTagNamingACharsetCountsWhereverItStands) {
    // Tags that only look alike, a meta tag without a charset, and "charset"
    // outside any tag are passed over; the declaration may come after a long
    // body and may be cut off by the end of the page.
    QByteArray page = "<metadata charset=bad><meta name=author content=someone>"
                      "<p>charset=koi8-u</p><META\nhttp-equiv=x content=\"text/html; ";
    page += "charset = 'ISO-8859-5'\"><meta charset=utf-8>";
    EXPECT_EQ(ui::declaredCharset(page), QByteArray("ISO-8859-5"));
    QByteArray late = QByteArray(300000, 'x') + "<p><meta charset=cp866";
    EXPECT_EQ(ui::declaredCharset(late), QByteArray("cp866"));
    EXPECT_EQ(ui::declaredCharset("<p>no declaration</p><meta"), QByteArray());
}

} // namespace
