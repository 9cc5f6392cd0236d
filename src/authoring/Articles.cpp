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

namespace {

// The statements carry the guard themselves: a server article is never
// touched, whatever the window believed when it offered the command.
[[noreturn]] void refuse(fb::Query& q, int32_t id) {
    const bool server = !IsOwnArticle(q, id) && ReadArticleRecord(q, id).has_value();
    throw std::invalid_argument(
        text::utf8ToCp1251(server ? "Статьи из обновлений изменять нельзя: их текст задает сервер."
                                  : "Такой статьи нет: возможно, она уже удалена."));
}

// Runs upd's statement on the update transaction and commits when it
// changed the article; otherwise rolls nothing into the next commit.
void changeOwn(fb::Query& upd, fb::Transaction& updTrans, int32_t id) {
    upd.ExecQuery();
    const int rows = upd.RowsAffected();
    upd.Close();
    if (rows == 0)
        refuse(upd, id);
    data::commit(upd, updTrans);
}

} // namespace

void CommitNow(fb::Query& upd, fb::Transaction& updTrans, const std::function<void()>& change) {
    try {
        change();
    } catch (...) {
        upd.Close();
        if (updTrans.Active())
            updTrans.Rollback();
        updTrans.setActive(true);
        throw;
    }
    data::commit(upd, updTrans);
}

std::optional<ArticleRecord> ReadArticleRecord(fb::Query& q, int32_t id) {
    fb::CloseOnFailure guard(q);
    q.Close();
    q.setSQL("select NAME, CAT, SUBCAT, INFORMATION, SERV_ID from HINTS where ID=:id");
    q.Params(0).setAsInteger(id);
    q.ExecQuery();
    std::optional<ArticleRecord> record;
    if (!q.Eof()) {
        record.emplace();
        record->name = q.Fields(0).AsString();
        record->cat = q.Fields(1).AsInteger();
        record->subcat = q.Fields(2).AsInteger();
        record->text = q.Fields(3).AsString();
        record->fromServer = !q.Fields(4).IsNull();
    }
    q.Close();
    return record;
}

bool IsOwnArticle(fb::Query& q, int32_t id) {
    fb::CloseOnFailure guard(q);
    q.Close();
    q.setSQL("select count(*) from HINTS where ID=:id and SERV_ID is null");
    q.Params(0).setAsInteger(id);
    q.ExecQuery();
    const bool own = !q.Eof() && q.Fields(0).AsInteger() > 0;
    q.Close();
    return own;
}

void UpdateArticle(fb::Query& upd, fb::Transaction& updTrans, int32_t id, int32_t cat,
                   int32_t subcat, const std::string& name, const std::string& content) {
    upd.Close();
    upd.setSQL("update HINTS set NAME=:name, CAT=:cat, SUBCAT=:subcat, INFORMATION=:content "
               "where ID=:id and SERV_ID is null");
    upd.Params(0).setAsString(name);
    upd.Params(1).setAsInteger(cat);
    upd.Params(2).setAsInteger(subcat);
    upd.Params(3).setAsString(content);
    upd.Params(4).setAsInteger(id);
    changeOwn(upd, updTrans, id);
    data::ArticlesChanged::notify(
        {&updTrans.database(), data::ArticlesChange::Kind::Changed, {id}});
}

void DeleteArticle(fb::Query& upd, fb::Transaction& updTrans, int32_t id) {
    upd.Close();
    upd.setSQL("delete from HINTS where ID=:id and SERV_ID is null");
    upd.Params(0).setAsInteger(id);
    changeOwn(upd, updTrans, id);
    data::ArticlesChanged::notify(
        {&updTrans.database(), data::ArticlesChange::Kind::Deleted, {id}});
}

} // namespace authoring
