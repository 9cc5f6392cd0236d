// SPDX-License-Identifier: GPL-3.0-or-later
// Windows-1251 conversion and the plain integers of the update protocol.

#include "components/text/Cp1251.h"
#include "components/text/Numbers.h"
#include "components/text/QtText.h"

#include <gtest/gtest.h>

TEST(Cp1251, EveryByteSurvivesARoundTripExceptTheUnassignedOne) {
    std::string all;
    for (int b = 1; b < 256; ++b)
        if (b != 0x98)
            all += static_cast<char>(b);
    EXPECT_EQ(text::utf8ToCp1251(text::cp1251ToUtf8(all), true), all);
    EXPECT_EQ(text::cp1251ToUtf8("\xC0\xE1\xE2\xA8\xB8"), "АбвЁё");
    EXPECT_EQ(text::cp1251ToUtf8("\xB9\x85\xAB\xBB"), "№…«»");
    EXPECT_EQ(text::cp1251ToUtf8(std::string("a\x98z")), "a\xEF\xBF\xBDz");
    EXPECT_EQ(text::cp1251ToUtf8(std::string("\0x", 2)), std::string("\0x", 2));
}

TEST(Cp1251, CharactersTheCodePageLacksFailWhenStrictAndBecomeQuestionMarksOtherwise) {
    EXPECT_EQ(text::utf8ToCp1251("Жук ✓ 漢 end"), "\xC6\xF3\xEA ? ? end");
    EXPECT_THROW(text::utf8ToCp1251("Жук ✓", true), text::ConversionError);
    // Malformed UTF-8 is not allowed to stop the conversion or run past the end.
    EXPECT_EQ(text::utf8ToCp1251("a\xD0"), "a?");
    EXPECT_EQ(text::utf8ToCp1251("a\xFF"
                                 "b"),
              "a?b");
    EXPECT_THROW(text::utf8ToCp1251("a\xD0", true), text::ConversionError);
    // A broken sequence costs one '?' and never the character after it;
    // overlong forms and surrogates are malformed too.
    EXPECT_EQ(text::utf8ToCp1251("\xE2\x98\x83 \xC3\xA9 \xFF \xD0"), "? ? ? ?");
    EXPECT_EQ(text::utf8ToCp1251("\xC3"
                                 "A\xE2\x98"
                                 "B"),
              "?A?B");
    EXPECT_EQ(text::utf8ToCp1251("\xC0\xAF\xED\xA0\x80."), "??.");
    EXPECT_THROW(text::utf8ToCp1251("\xC0\xAF", true), text::ConversionError);
    // Long texts go through in pieces.
    std::string big(100000, 'x');
    big += "Я";
    EXPECT_EQ(text::utf8ToCp1251(big).size(), 100001u);
}

TEST(Cp1251, TheWidgetBoundaryAgreesWithTheConverterOnEveryByte) {
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += static_cast<char>(b);
    const QString wide = text::toQ(all);
    ASSERT_EQ(wide.size(), 256);
    EXPECT_EQ(wide, QString::fromStdString(text::cp1251ToUtf8(all)));
    EXPECT_EQ(wide.at(0x98), QChar(0xFFFD));
    EXPECT_EQ(text::toQ(""), QString());
    EXPECT_EQ(text::fromQ(text::toQ("\xC6\xF3\xEA \xB9 1")), "\xC6\xF3\xEA \xB9 1");
}

TEST(PlainInteger, LeadingZerosPassAndOnlyTheValueDecidesWhetherItFits) {
    using text::PlainInteger;
    EXPECT_EQ(PlainInteger("0000001802934749", false), 1802934749);
    EXPECT_EQ(PlainInteger("00000000042", false), 42);
    EXPECT_EQ(PlainInteger("-0000000001", true), -1);
    EXPECT_EQ(PlainInteger("000000000000000000000000", false), 0);
    EXPECT_EQ(PlainInteger("2147483647", false), 2147483647);
    EXPECT_EQ(PlainInteger("-2147483648", true), INT32_MIN);
    EXPECT_EQ(PlainInteger("-00002147483648", true), INT32_MIN);
    for (const char* tooBig :
         {"2147483648", "-2147483649", "0000002147483648", "99999999999999999999999"})
        EXPECT_FALSE(PlainInteger(tooBig, true)) << tooBig;
}

TEST(PlainInteger, AnythingButDigitsAndAnAllowedMinusIsRefused) {
    using text::PlainInteger;
    for (const char* bad : {"", "-", "+1", " 1", "1 ", "0x10", "1e3", "--1", "-+1", "1-"})
        EXPECT_FALSE(PlainInteger(bad, true)) << bad;
    EXPECT_FALSE(PlainInteger("-1", false));
    EXPECT_FALSE(PlainInteger(std::string_view("150\0garbage", 11), true));
    EXPECT_FALSE(PlainInteger(std::string_view("1\0", 2), true));
}
