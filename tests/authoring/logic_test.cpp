// SPDX-License-Identifier: GPL-3.0-or-later
// The add window's article text and lists, without a window.

#include "authoring/Articles.h"
#include "authoring/OwnCatalogue.h"
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

// Categories of one's own are numbered from a million, within the category
// for subcategories, and only they (and only empty ones) can be renamed or
// deleted.
TEST(OwnCatalogue, NumberedFromAMillionAndOnlyOwnEmptyOnesChange) {
    dbbuild::Catalogue c;
    c.categories = {{1, cp("Строки")}};
    c.subcategories = {{1, 1, cp("Поиск")}};
    c.articles = {{"", 1, 1, 1001, cp("С сервера"), "<p>y</p>"}};
    const testing_support::TempDatabase file(&c);
    testing_support::AttachedDatabase attached(file.path());
    fb::Query q(attached.db, attached.tr);

    const int32_t mine = authoring::CreateCategory(q, cp("Мои <заметки> & код"));
    EXPECT_EQ(mine, authoring::FirstOwnNumber);
    EXPECT_EQ(authoring::CreateCategory(q, cp("Вторая")), authoring::FirstOwnNumber + 1);
    EXPECT_EQ(authoring::CreateSubcategory(q, 1, cp("Своя в чужой")), authoring::FirstOwnNumber);
    EXPECT_EQ(authoring::CreateSubcategory(q, mine, cp("Раз")), authoring::FirstOwnNumber);
    EXPECT_EQ(authoring::CreateSubcategory(q, mine, cp("Два")), authoring::FirstOwnNumber + 1);
    EXPECT_THROW(authoring::CreateSubcategory(q, 77, cp("Нет категории")), std::invalid_argument);
    EXPECT_THROW(authoring::CreateCategory(q, "  "), std::invalid_argument);
    EXPECT_THROW(authoring::CreateCategory(q, std::string(251, 'x')), std::invalid_argument);

    EXPECT_EQ(authoring::FindCategory(q, cp("Мои <заметки> & код")), mine);
    EXPECT_EQ(authoring::FindCategory(q, cp("мои <заметки> & код")), std::nullopt);
    EXPECT_EQ(authoring::FindSubcategory(q, mine, cp("Два")), authoring::FirstOwnNumber + 1);
    EXPECT_EQ(authoring::FindSubcategory(q, 1, cp("Два")), std::nullopt);

    authoring::RenameCategory(q, mine, cp("Заметки"));
    EXPECT_EQ(authoring::FindCategory(q, cp("Заметки")), mine);
    authoring::RenameSubcategory(q, mine, authoring::FirstOwnNumber, cp("Один"));
    EXPECT_EQ(authoring::FindSubcategory(q, mine, cp("Один")), authoring::FirstOwnNumber);
    EXPECT_THROW(authoring::RenameCategory(q, 1, cp("Чужая")), std::invalid_argument);
    EXPECT_THROW(authoring::RenameSubcategory(q, 1, 1, cp("Чужая")), std::invalid_argument);
    EXPECT_THROW(authoring::RenameCategory(q, mine + 5, cp("Нет")), std::invalid_argument);
    EXPECT_THROW(authoring::DeleteCategory(q, 1), std::invalid_argument);

    // An article in one's own subcategory keeps it and its category.
    q.Close();
    q.setSQL("insert into HINTS (CAT, SUBCAT, NAME) values (:c, :s, 'x')");
    q.Params(0).setAsInteger(1);
    q.Params(1).setAsInteger(authoring::FirstOwnNumber);
    q.ExecQuery();
    q.Close();
    EXPECT_THROW(authoring::DeleteSubcategory(q, 1, authoring::FirstOwnNumber),
                 std::invalid_argument);
    authoring::DeleteCategory(q, mine);
    EXPECT_EQ(authoring::FindCategory(q, cp("Заметки")), std::nullopt);
    EXPECT_EQ(authoring::FindSubcategory(q, mine, cp("Один")), std::nullopt);
    EXPECT_THROW(authoring::DeleteCategory(q, mine), std::invalid_argument);
}

TEST(OwnArticles, ChangedAndDeletedWhenOwnRefusedWhenFromTheServer) {
    dbbuild::Catalogue c;
    c.categories = {{1, cp("Строки")}, {2, cp("Файлы")}};
    c.subcategories = {{1, 1, cp("Поиск")}, {2, 1, cp("Чтение")}};
    c.articles = {{"", 1, 1, 1001, cp("С сервера"), "<p>server</p>"},
                  {"", 1, 1, std::nullopt, cp("Своя"), "<p>mine</p>"}};
    const testing_support::TempDatabase file(&c);
    testing_support::AttachedDatabase attached(file.path());
    fb::Query q(attached.db, attached.tr);
    const auto idOf = [&q](const char* name) {
        q.Close();
        q.setSQL("select ID from HINTS where NAME=:n");
        q.Params(0).setAsString(cp(name));
        q.ExecQuery();
        const int32_t id = q.Eof() ? 0 : q.Fields(0).AsInteger();
        q.Close();
        return id;
    };
    const int32_t server = idOf("С сервера");
    const int32_t mine = idOf("Своя");

    const std::optional<authoring::ArticleRecord> read = authoring::ReadArticleRecord(q, mine);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->name, cp("Своя"));
    EXPECT_EQ(read->text, "<p>mine</p>");
    EXPECT_FALSE(read->fromServer);
    EXPECT_TRUE(authoring::ReadArticleRecord(q, server)->fromServer);
    EXPECT_TRUE(authoring::IsOwnArticle(q, mine));
    EXPECT_FALSE(authoring::IsOwnArticle(q, server));

    // Moved to another category and renamed in one step; committed, so a
    // second connection sees it.
    authoring::UpdateArticle(q, attached.tr, mine, 2, 1, cp("Моя <b> & Co"), "<p>new</p>");
    {
        testing_support::AttachedDatabase other(file.path());
        fb::Query o(other.db, other.tr);
        const auto seen = authoring::ReadArticleRecord(o, mine);
        ASSERT_TRUE(seen);
        EXPECT_EQ(seen->name, cp("Моя <b> & Co"));
        EXPECT_EQ(seen->cat, 2);
        EXPECT_EQ(seen->subcat, 1);
        EXPECT_EQ(seen->text, "<p>new</p>");
    }

    // The server's article stays as it was, whatever is asked.
    EXPECT_THROW(authoring::UpdateArticle(q, attached.tr, server, 2, 1, "x", "y"),
                 std::invalid_argument);
    EXPECT_THROW(authoring::DeleteArticle(q, attached.tr, server), std::invalid_argument);
    EXPECT_EQ(authoring::ReadArticleRecord(q, server)->text, "<p>server</p>");

    authoring::DeleteArticle(q, attached.tr, mine);
    EXPECT_FALSE(authoring::ReadArticleRecord(q, mine));
    EXPECT_THROW(authoring::DeleteArticle(q, attached.tr, mine), std::invalid_argument);
    EXPECT_THROW(authoring::UpdateArticle(q, attached.tr, mine, 1, 1, "x", "y"),
                 std::invalid_argument);
}
