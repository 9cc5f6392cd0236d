// SPDX-License-Identifier: GPL-3.0-or-later
// The add window's article text and lists, without a window.

#include "authoring/Articles.h"
#include "components/fb/Fb.h"
#include "components/text/Strings.h"
#include "data/Lists.h"
#include "support/TempDatabase.h"

#include <QString>

#include <gtest/gtest.h>

using text::cp;

TEST(AddText, LinesAreJoinedByCarriageReturnAndLineFeedAndNothingIsAdded) {
    const QString typed = QString::fromUtf8("<p>Первая</p>") + QChar::ParagraphSeparator + "b" +
                          QChar::LineSeparator + "c\nd\r\ne" + QChar::ParagraphSeparator +
                          QChar(0x00A0);
    EXPECT_EQ(authoring::ArticleText(typed), cp("<p>Первая</p>\r\nb\r\nc\r\nd\r\ne\r\n\xC2\xA0"));
    EXPECT_EQ(authoring::ArticleText(QString()), "");
}

// The lists the add window fills and the counts of the main window, read on
// a database of their own without a window.
TEST(Lists, CategoriesByNameSubcategoriesOfOneAndTheCounts) {
    dbbuild::Catalogue c;
    c.categories = {{2, cp("Строки")}, {1, cp("Файлы")}};
    c.subcategories = {{2, 2, cp("Разбор")}, {2, 1, cp("Поиск")}, {1, 1, cp("Диски")}};
    c.articles = {{"", 2, 1, std::nullopt, cp("Своя"), "<p>x</p>"},
                  {"", 2, 2, 1001, cp("С сервера"), "<p>y</p>"}};
    const testing_support::TempDatabase file(&c);
    testing_support::AttachedDatabase attached(file.path());
    fb::Query q(attached.db, attached.tr);

    auto names = [](const std::vector<data::NamedNumber>& rows) {
        std::vector<std::string> out;
        out.reserve(rows.size());
        for (const auto& r : rows)
            out.push_back(r.name + "=" + r.num);
        return out;
    };
    data::SetCategoryList(q);
    EXPECT_EQ(names(data::ReadNamedNumbers(q)),
              (std::vector<std::string>{cp("Строки=2"), cp("Файлы=1")}));
    // The list is read again with the statement it keeps.
    EXPECT_EQ(data::ReadNamedNumbers(q).size(), 2u);
    EXPECT_EQ(names(authoring::Subcategories(q, "2")),
              (std::vector<std::string>{cp("Поиск=1"), cp("Разбор=2")}));
    EXPECT_TRUE(authoring::Subcategories(q, "3").empty());

    const data::ArticleCounts counts = data::CountArticles(q);
    EXPECT_EQ(counts.total, 2);
    EXPECT_EQ(counts.fromServer, 1);
}
