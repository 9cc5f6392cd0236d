// SPDX-License-Identifier: GPL-3.0-or-later
// The tip submission without its window: the lists it offers from the
// database and the message it composes.

#include "components/text/Strings.h"
#include "mail/Submission.h"
#include "support/TempDatabase.h"

#include <gtest/gtest.h>

#include <algorithm>

using text::cp;

namespace {

std::vector<std::string> names(const std::vector<mail::Category>& list) {
    std::vector<std::string> out;
    out.reserve(list.size());
    for (const mail::Category& c : list)
        out.push_back(c.Name);
    return out;
}

TEST(Submission, TheListsComeFromTheDatabase) {
    dbbuild::Catalogue c;
    c.categories = {{1, cp("Графика")}, {2, "Alpha"}, {3, cp("Пустая")}};
    c.subcategories = {{1, 1, "Canvas"}, {1, 2, cp("Растры")}, {2, 1, "BDE"}};
    const testing_support::TempDatabase file(&c);
    testing_support::AttachedDatabase attached(file.path());
    fb::Query q(attached.db, attached.tr);

    q.setSQL("select CATEGORY_NAME, NUM from CATEGORIES order by CATEGORY_NAME");
    const std::vector<mail::Category> categories = mail::ReadCategories(q);
    EXPECT_EQ(names(categories), (std::vector<std::string>{"Alpha", cp("Графика"), cp("Пустая")}));
    EXPECT_EQ(categories[1].Num, 1);
    EXPECT_FALSE(q.Open());

    std::vector<std::string> subs = mail::ReadSubcategories(q, 1);
    std::sort(subs.begin(), subs.end());
    EXPECT_EQ(subs, (std::vector<std::string>{"Canvas", cp("Растры")}));
    EXPECT_TRUE(mail::ReadSubcategories(q, 3).empty());
    EXPECT_FALSE(q.Open());
    attached.tr.Commit();
    attached.db.Close();
}

TEST(Submission, TheMessageCarriesTheFieldsTheCommentsLinesAndTheFile) {
    const mail::MailSettings s{"127.0.0.1:25", "ivan", "secret", cp("Иван"), "ivan@example.com"};
    mail::Submission tip{cp("Тема"), cp("Графика"), "", cp("Первая\r\n\nпоследняя\n"), {}};
    smtp::Message m = mail::ComposeSubmission(s, tip);
    EXPECT_EQ(m.Subject, cp("Delphi-Hint: Тема"));
    EXPECT_EQ(m.From.Name, cp("Иван"));
    EXPECT_EQ(m.From.Address, "ivan@example.com");
    ASSERT_EQ(m.Recipients.size(), 1u);
    EXPECT_EQ(m.Recipients[0].Address, mail::SubmissionsMailbox);
    // A final line break starts no further line.
    EXPECT_EQ(m.Body, (std::vector<std::string>{cp("Category=Графика"), "SubCategory=", "", "",
                                                cp("Первая"), "", cp("последняя")}));
    EXPECT_FALSE(m.File);

    tip.File = QString::fromUtf8("/tmp/папка/Исходники.zip");
    m = mail::ComposeSubmission(s, tip);
    ASSERT_TRUE(m.File);
    EXPECT_EQ(m.File->Path, tip.File);
    EXPECT_EQ(m.File->FileName, cp("Исходники.zip"));

    // The sender's address goes into a header and the envelope as it is.
    mail::MailSettings spaced = s;
    spaced.FromAddress = "ivan petrov@example.com";
    try {
        mail::ComposeSubmission(spaced, tip);
        ADD_FAILURE() << "composed";
    } catch (const smtp::Error& e) {
        EXPECT_NE(std::string(e.what()).find(cp("\"Ваш E-mail\"")), std::string::npos);
    }
}

} // namespace
