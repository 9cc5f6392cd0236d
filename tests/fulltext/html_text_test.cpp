// SPDX-License-Identifier: GPL-3.0-or-later
// The visible text of Windows-1251 pages, as the full-text index reads it.

#include "components/text/Cp1251.h"
#include "fulltext/HtmlText.h"

#include <gtest/gtest.h>

using fulltext::htmlToText;

namespace {

std::string cp(const char* utf8) {
    return text::utf8ToCp1251(utf8, true);
}

TEST(HtmlText, TagsCommentsScriptsAndStylesAreNotText) {
    EXPECT_EQ(htmlToText(cp("<html><head><style>p { color: red }</style>"
                            "<script type=\"text/javascript\">var pre = '<b>';</script></head>"
                            "<body><!-- <p>скрыто</p> --><p class=\"x\">Текст</p></body></html>")),
              "Текст");
    // Case does not matter, and a '>' inside an attribute value ends nothing.
    EXPECT_EQ(htmlToText("<SCRIPT>a()</Script>b<a href=\"x>y\" title='1>2'>c</a>"), "bc");
    // A script that is never closed hides the rest, as in a browser.
    EXPECT_EQ(htmlToText("before<script>if (a < b) {"), "before");
    // A '<' that begins no tag is text.
    EXPECT_EQ(htmlToText("a < b and c <= d, 1<2"), "a < b and c <= d, 1<2");
    // A stray quote inside a tag does not swallow the page.
    EXPECT_EQ(htmlToText("<p \"odd>one</p> two"), "one two");
}

TEST(HtmlText, BlockTagsSeparateWordsAndInlineTagsJoinThem) {
    EXPECT_EQ(htmlToText("one<br>two<p>three</p><td>four</td><li>five"), "one two three four five");
    EXPECT_EQ(htmlToText("T<b>String</b>L<font color=red>ist</font> <code>Show</code>Message"),
              "TStringList ShowMessage");
    EXPECT_EQ(htmlToText("  \r\n\tone \r\n\r\n two\t\t"), "one two");
}

TEST(HtmlText, CharacterReferencesAreDecoded) {
    EXPECT_EQ(htmlToText("if a &lt; b &amp;&amp; c &gt; d &quot;x&quot; &apos;y&apos;"),
              "if a < b && c > d \"x\" 'y'");
    EXPECT_EQ(
        htmlToText(cp(
            "&#1090;&#1077;&#x43A;&#X441;&#x442; &laquo;Delphi&raquo;&nbsp;&mdash;&nbsp;&copy;")),
        "текст «Delphi» — ©");
    // &nbsp; separates words like a space.
    EXPECT_EQ(htmlToText("one&nbsp;two&nbsp;&nbsp;three"), "one two three");
    // The Windows-1252 reading of numeric references in 128..159.
    EXPECT_EQ(htmlToText("&#150; &#147;q&#148;"), "– “q”");
    // Without the semicolon, where the name ends by itself.
    EXPECT_EQ(htmlToText("a &lt b &amp c"), "a < b & c");
    // What is no reference stays as it is.
    EXPECT_EQ(htmlToText("AT&T &unknown; &#; &#xZ; & ;"), "AT&T &unknown; &#; &#xZ; & ;");
    // Out of range and zero become the replacement character.
    EXPECT_EQ(htmlToText("&#0;&#99999999999;"), "\xEF\xBF\xBD\xEF\xBF\xBD");
    // Names are case-sensitive: &Eacute; and &eacute; differ, &LT; is no name.
    EXPECT_EQ(htmlToText("&Eacute;&eacute;&LT;"), "Éé&LT;");
}

TEST(HtmlText, Windows1251BytesBecomeUtf8) {
    std::string all;
    for (int b = 33; b < 256; ++b)
        if (b != '<' && b != '&' && b != 0xA0 && b != 0xAD && b != 0x7F)
            all += static_cast<char>(b);
    EXPECT_EQ(htmlToText(all), text::cp1251ToUtf8(all));
    // The no-break space byte separates words; the soft hyphen is not seen.
    EXPECT_EQ(htmlToText("one\xA0two thr\xAD"
                         "ee"),
              "one two three");
}

} // namespace
