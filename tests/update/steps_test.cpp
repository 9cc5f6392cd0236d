// SPDX-License-Identifier: GPL-3.0-or-later
// The pieces of the update run that need no server: the server-id list in
// pieces, the checks on the new-article entries and the names written.

#include "components/fb/Fb.h"
#include "components/text/Strings.h"
#include "support/TempDatabase.h"
#include "update/UpdateSteps.h"

#include <gtest/gtest.h>

namespace {

TEST(ServerIdList, LongListsArePiecesWithinTheLimitThatJoinBackToTheList) {
    EXPECT_EQ(update::SplitServerIdList(""), std::vector<std::string>{""});
    EXPECT_EQ(update::SplitServerIdList(std::string(1018, '1')).size(), 1u);

    std::string list;
    for (int id = 100000; id < 100400; ++id)
        list += (list.empty() ? "" : ",") + std::to_string(id);
    const auto pieces = update::SplitServerIdList(list);
    ASSERT_GT(pieces.size(), 2u);
    std::string joined;
    for (const std::string& p : pieces) {
        EXPECT_LE(p.size(), update::kMaxIdListChars);
        EXPECT_FALSE(p.empty());
        EXPECT_NE(p.front(), ',');
        EXPECT_NE(p.back(), ',');
        joined += (joined.empty() ? "" : ",") + p;
    }
    EXPECT_EQ(joined, list);
}

TEST(NewHintChecks, OnlyPlainIntegersPass) {
    EXPECT_EQ(update::PlainInteger("1055", false), 1055);
    EXPECT_EQ(update::PlainInteger("-3", true), -3);
    EXPECT_EQ(update::PlainInteger("2147483647", false), 2147483647);
    for (const char* bad :
         {"", "-3", "+3", " 3", "3 ", "1 OR 1=1", "../evil", "2147483648", "0x10", "１"})
        EXPECT_FALSE(update::PlainInteger(bad, false)) << bad;
    EXPECT_FALSE(update::PlainInteger("-", true));
    EXPECT_FALSE(update::PlainInteger("--1", true));
}

TEST(CatalogueNames, TheServersNamesNeverReplaceTheUsersOwn) {
    using text::cp;
    dbbuild::Catalogue c;
    c.categories = {{1, "Old"}, {1000000, cp("Мои")}};
    c.subcategories = {{1, 1000000, cp("Своя")}, {1000000, 1000000, cp("Раз")}};
    const testing_support::TempDatabase file(&c);
    testing_support::AttachedDatabase attached(file.path());
    fb::Query q(attached.db, attached.tr);
    const auto name = [&q](const std::string& sql) {
        q.Close();
        q.setSQL(sql);
        q.ExecQuery();
        std::string n = q.Eof() ? "-" : q.Fields(0).AsString();
        q.Close();
        return n;
    };

    // Even a server that strays into the user's numbers renames nothing.
    update::WriteCategory(q, 1, "New");
    update::WriteCategory(q, 1000000, "Server");
    update::WriteSubcategory(q, 1, 1000000, "Server");
    update::WriteSubcategory(q, 1000000, 1000000, "Server");
    EXPECT_EQ(name("select CATEGORY_NAME from CATEGORIES where NUM=1"), "New");
    EXPECT_EQ(name("select CATEGORY_NAME from CATEGORIES where NUM=1000000"), cp("Мои"));
    EXPECT_EQ(name("select SUB_CAT from SUB_CATEGORIES where CATNUM=1 and NUM=1000000"),
              cp("Своя"));
    EXPECT_EQ(name("select SUB_CAT from SUB_CATEGORIES where CATNUM=1000000 and NUM=1000000"),
              cp("Раз"));
    // One that is missing is still made.
    update::WriteCategory(q, 1000001, "Server");
    EXPECT_EQ(name("select CATEGORY_NAME from CATEGORIES where NUM=1000001"), "Server");
}

} // namespace
