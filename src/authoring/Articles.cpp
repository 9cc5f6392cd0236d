// SPDX-License-Identifier: GPL-3.0-or-later

#include "Articles.h"

#include "components/fb/Fb.h"
#include "components/text/QtText.h"
#include "data/ArticlesChanged.h"
#include "data/Database.h"

#include <QString>

#include <stdexcept>

namespace authoring {

std::string SubcategoryStatement(const std::string& catNum) {
    return "select SUB_CAT,NUM from SUB_CATEGORIES where (CATNUM=" + catNum + ") ORDER BY SUB_CAT";
}

std::vector<data::NamedNumber> Subcategories(fb::Query& q, const std::string& catNum) {
    q.Close();
    q.setSQL(SubcategoryStatement(catNum));
    return data::ReadNamedNumbers(q);
}

const std::string& NumberAt(const std::vector<std::string>& list, int index, const char* what) {
    if (index < 0 || static_cast<size_t>(index) >= list.size())
        throw std::out_of_range(text::utf8ToCp1251(what));
    return list[static_cast<size_t>(index)];
}

std::string ArticleText(const QString& raw) {
    QString lines;
    lines.reserve(raw.size() + raw.size() / 32);
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const QChar c = raw[i];
        if (c == QChar::ParagraphSeparator || c == QChar::LineSeparator || c == QLatin1Char('\n')) {
            lines += QLatin1String("\r\n");
        } else if (c == QLatin1Char('\r') && i + 1 < raw.size() &&
                   raw[i + 1] == QLatin1Char('\n')) {
            lines += QLatin1String("\r\n");
            ++i;
        } else {
            lines += c;
        }
    }
    return text::fromQ(lines);
}

void InsertArticle(fb::Query& upd, fb::Transaction& updTrans, const std::string& catNum,
                   const std::string& subcatNum, const std::string& name,
                   const std::string& content) {
    upd.Close();
    upd.setSQL(InsertStatement);
    upd.Params(0).setAsString(catNum);
    upd.Params(1).setAsString(subcatNum);
    upd.Params(2).setAsString(name);
    upd.Params(3).setAsString(content);
    upd.Prepare();
    upd.ExecQuery();
    data::commit(upd, updTrans);
    // Committed: searchable in its text from now on.
    data::ArticlesChanged::notify({&updTrans.database(), data::ArticlesChange::Kind::Added, {}});
}

} // namespace authoring
