// SPDX-License-Identifier: GPL-3.0-or-later
// The pieces of the update run that need no server: the server-id list in
// pieces and the checks on the new-article entries.

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

} // namespace
