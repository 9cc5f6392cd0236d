// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// The tip submission without a window: the lists of categories and
// subcategories it offers, and the message it mails. Every text is
// Windows-1251.

#include "components/smtp/MailMessage.h"

#include <QString>

#include <cstdint>
#include <string>
#include <vector>

namespace fb {
class Query;
} // namespace fb

namespace mail {

// Where the tips go.
inline constexpr const char* SubmissionsName = "Marvek Delphi Hints";
inline constexpr const char* SubmissionsMailbox = "hints@marvek.ru";

// The SMTP settings as the sender reads them at the moment of sending.
struct MailSettings {
    std::string Host; // "host" or "host:port"
    std::string Login;
    std::string Password;
    std::string FromName;
    std::string FromAddress;
};

struct Category {
    std::string Name;
    int32_t Num = 0;
};

// Runs q, whose statement lists the categories by name and number (the data
// module's category list), and returns them in its order.
std::vector<Category> ReadCategories(fb::Query& q);

// The statement that lists a category's subcategories, name and number.
std::string SubcategoryStatement(int32_t catNum);
// The names of a category's subcategories, read on q.
std::vector<std::string> ReadSubcategories(fb::Query& q, int32_t catNum);

// What the user filled in.
struct Submission {
    std::string Subject;
    std::string Category;
    std::string Subcategory;
    std::string Comment; // the field's text, lines ended by LF or CR LF
    QString File;        // the file to attach; empty: none
};

// The message from the sender in s to the submissions mailbox. Throws
// smtp::Error, naming the preferences' field, when the sender's address is
// not a plain one: it goes into the header and the envelope as it is, and
// anything else would corrupt both.
smtp::Message ComposeSubmission(const MailSettings& s, const Submission& tip);

} // namespace mail
