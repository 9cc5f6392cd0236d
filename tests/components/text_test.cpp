// Windows-1251 conversion.

#include "components/text/Cp1251.h"
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
    EXPECT_EQ(text::utf8ToCp1251("a\xFF" "b"), "a?b");
    EXPECT_THROW(text::utf8ToCp1251("a\xD0", true), text::ConversionError);
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
