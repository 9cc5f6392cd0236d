// SPDX-License-Identifier: GPL-3.0-or-later
// The search's word splitting, statements and list order, without a window.

#include "components/text/Cp1251.h"
#include "components/text/Strings.h"
#include "search/Search.h"

#include <QLocale>

#include <gtest/gtest.h>

using search::Mode;
using Words = std::vector<std::string>;

namespace {

using text::cp;

Words split(const char* utf8) {
    return search::SplitWords(cp(utf8));
}

Words words(std::initializer_list<const char*> utf8) {
    Words out;
    for (const char* w : utf8)
        out.push_back(cp(w));
    return out;
}

} // namespace

TEST(SplitWords, SpacesSeparateOutsideQuotedStretchesOnly) {
    EXPECT_EQ(split("   поиск    строки  "), words({"поиск", "строки"}));
    // Tabs do not separate but are trimmed; upper-half letters are no blanks.
    EXPECT_EQ(split("\tпоиск\tстроки\t  я\x01"), words({"поиск\tстроки", "я"}));
    EXPECT_TRUE(split("  \t \r\n ").empty());
    // Quoted stretches keep their spaces and quotes; an open one runs to the
    // end; inside one kind of quote the other is an ordinary character.
    EXPECT_EQ(split("\"поиск строки\" файл"), words({"\"поиск строки\"", "файл"}));
    EXPECT_EQ(split("Delphi's string list"), words({"Delphi's string list"}));
    EXPECT_EQ(split("Delphi's str'ing list"), words({"Delphi's str'ing", "list"}));
    EXPECT_EQ(split("'a \"b' c\" d"), words({"'a \"b'", "c\" d"}));
}

TEST(Statement, ModesJoinTheirTermsOnASecondLineAndTakeTheirParameters) {
    const std::string base = search::BaseStatement;
    const std::string term1 = "UPPER(A.NAME) CONTAINING UPPER(:SW1)";
    const std::string term2 = "UPPER(A.NAME) CONTAINING UPPER(:SW2)";
    EXPECT_EQ(search::BuildStatement(Mode::AllWords, 2),
              base + "\r\n AND (" + term1 + " AND " + term2 + ")");
    EXPECT_EQ(search::BuildStatement(Mode::AnyWord, 2),
              base + "\r\n AND (" + term1 + " OR " + term2 + ")");
    EXPECT_EQ(search::BuildStatement(Mode::AnyWord, 1), search::BuildStatement(Mode::AllWords, 1));
    EXPECT_EQ(search::BuildStatement(Mode::AllWords, 1), base + "\r\n AND (" + term1 + ")");
    EXPECT_EQ(search::BuildStatement(Mode::ExactText, 3),
              base + "\r\n AND (UPPER(A.NAME) CONTAINING UPPER(:SEARCH_WORD))");

    const std::string typed = cp("  \"поиск строки\"  файл ");
    const Words w = search::SplitWords(typed);
    EXPECT_EQ(search::StatementParams(Mode::AnyWord, typed, w), w);
    EXPECT_EQ(search::StatementParams(Mode::ExactText, typed, w), Words{typed});
}

TEST(Order, CategoryThenNameThenSubcategoryInRussianOrder) {
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    const QCollator c = search::ListCollator();
    auto cmp = [&c](const QStringList& a, const QStringList& b) {
        return search::CompareHits(c, a, b);
    };
    // Texts in column order: name, category, subcategory.
    EXPECT_LT(cmp({"b", "a", "b"}, {"a", "b", "a"}), 0);
    EXPECT_LT(cmp({"a", "x", "b"}, {"b", "x", "a"}), 0);
    EXPECT_GT(cmp({"a", "x", "b"}, {"a", "x", "a"}), 0);
    // Russian order, not code order: ё between е and ж.
    EXPECT_LT(cmp({QString::fromUtf8("ёж"), "x", ""}, {QString::fromUtf8("жук"), "x", ""}), 0);
    // Case and punctuation count; missing sub-items compare as empty.
    EXPECT_NE(cmp({"string", "x", ""}, {"String", "x", ""}), 0);
    EXPECT_NE(cmp({"ab", "x", ""}, {"a-b", "x", ""}), 0);
    EXPECT_EQ(cmp({"x"}, {"x", "", ""}), 0);
}
