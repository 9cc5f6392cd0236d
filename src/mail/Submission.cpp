// SPDX-License-Identifier: GPL-3.0-or-later

#include "Submission.h"

#include "components/fb/Fb.h"
#include "components/text/Cp1251.h"
#include "components/text/QtText.h"
#include "data/Database.h"

#include <QFileInfo>

namespace mail {
namespace {

// The lines of a multi-line field, as a string list holds them: a final line
// break does not start another line.
std::vector<std::string> commentLines(const std::string& text) {
    std::vector<std::string> out;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        out.push_back(std::move(line));
        start = end + 1;
    }
    return out;
}

} // namespace

std::vector<Category> ReadCategories(fb::Query& q) {
    const fb::CloseOnFailure closer(q);
    std::vector<Category> out;
    RunReading(q);
    for (; !q.Eof(); q.Next())
        out.push_back({q.Fields(0).AsVariant().value_or(std::string()), q.Fields(1).AsInteger()});
    q.Close();
    return out;
}

std::string SubcategoryStatement(int32_t catNum) {
    return "select SUB_CAT,NUM from SUB_CATEGORIES where (CATNUM=" + std::to_string(catNum) + ")";
}

std::vector<std::string> ReadSubcategories(fb::Query& q, int32_t catNum) {
    q.setSQL(SubcategoryStatement(catNum));
    const fb::CloseOnFailure closer(q);
    std::vector<std::string> out;
    RunReading(q);
    for (; !q.Eof(); q.Next())
        out.push_back(q.Fields(0).AsVariant().value_or(std::string()));
    q.Close();
    return out;
}

smtp::Message ComposeSubmission(const MailSettings& s, const Submission& tip) {
    if (!smtp::isPlainAddress(s.FromAddress))
        throw smtp::Error(text::utf8ToCp1251(
            "В настройках, в поле \"Ваш E-mail\", указан неверный адрес отправителя. "
            "Укажите адрес вида имя@домен латинскими буквами, цифрами и знаками, без пробелов."));
    smtp::Message m;
    m.Recipients = {{SubmissionsName, SubmissionsMailbox}};
    m.From = {s.FromName, s.FromAddress};
    m.Subject = "Delphi-Hint: " + tip.Subject;
    m.Body = {"Category=" + tip.Category, "SubCategory=" + tip.Subcategory, "", ""};
    for (std::string& line : commentLines(tip.Comment))
        m.Body.push_back(std::move(line));
    if (!tip.File.isEmpty())
        m.File = smtp::Attachment{tip.File, text::fromQ(QFileInfo(tip.File).fileName())};
    return m;
}

} // namespace mail
