// SPDX-License-Identifier: GPL-3.0-or-later

#include "UpdateSteps.h"

#include "authoring/OwnCatalogue.h"
#include "components/fb/Fb.h"
#include "components/http/Http.h"
#include "components/text/Strings.h"
#include "components/zip/UnZip.h"
#include "data/ArticlesChanged.h"
#include "data/Database.h"

#include <QDir>
#include <QUrl>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <unordered_set>

namespace update {

using text::cp;

void WriteName(fb::Query& upd, const char* updateSql, const char* insertSql,
               const std::string& name, std::initializer_list<int32_t> numbers) {
    auto execute = [&](const char* sql) {
        upd.Close();
        upd.setSQL(sql);
        upd.Params(0).setAsString(name);
        int i = 1;
        for (int32_t number : numbers)
            upd.Params(i++).setAsInteger(number);
        upd.Prepare();
        upd.ExecQuery();
    };
    execute(updateSql);
    if (upd.RowsAffected() < 1)
        execute(insertSql);
}

namespace {

bool Exists(fb::Query& upd, const char* sql, std::initializer_list<int32_t> numbers) {
    upd.Close();
    upd.setSQL(sql);
    int i = 0;
    for (int32_t number : numbers)
        upd.Params(i++).setAsInteger(number);
    upd.ExecQuery();
    const bool found = !upd.Eof();
    upd.Close();
    return found;
}

} // namespace

// The user's own numbers keep the user's names, whatever the server calls
// them; only a missing one is made.
void WriteCategory(fb::Query& upd, int32_t cat, const std::string& name) {
    if (authoring::IsOwnNumber(cat) &&
        Exists(upd, "select NUM from CATEGORIES where NUM=:ID", {cat}))
        return;
    WriteName(upd, "UPDATE CATEGORIES SET CATEGORY_NAME=:Name where NUM=:ID",
              "INSERT INTO CATEGORIES (CATEGORY_NAME, NUM) values (:Name, :ID)", name, {cat});
}

void WriteSubcategory(fb::Query& upd, int32_t cat, int32_t sub, const std::string& name) {
    if ((authoring::IsOwnNumber(sub) || authoring::IsOwnNumber(cat)) &&
        Exists(upd, "select NUM from SUB_CATEGORIES where CATNUM=:CNID and NUM=:ID", {cat, sub}))
        return;
    WriteName(upd, "UPDATE SUB_CATEGORIES SET SUB_CAT=:Name where CATNUM=:CNID and NUM=:ID",
              "INSERT INTO SUB_CATEGORIES (SUB_CAT, CATNUM, NUM) values (:Name, :CNID, :ID)", name,
              {cat, sub});
}

std::string LocalServerIdList(fb::Query& q) {
    q.Close();
    q.setSQL("select SERV_ID from HINTS where SERV_ID is NOT NULL");
    RunReading(q);
    std::vector<int32_t> ids;
    while (!q.Eof()) {
        ids.push_back(q.Fields(0).AsInteger());
        q.Next();
    }
    q.Close();
    return ServerIdList(ids);
}

TUpdEntry EntryFor(fb::Query& q, const NewHint& h, int icons) {
    q.Close();
    q.setSQL("select A.CATEGORY_NAME, B.SUB_CAT from CATEGORIES A, SUB_CATEGORIES B where "
             "A.NUM=B.CATNUM AND A.NUM=" +
             h.cat + " AND B.NUM=" + h.subcat);
    RunReading(q);
    TUpdEntry entry;
    entry.title = h.title;
    entry.catName = q.Fields(0).AsString();
    entry.subName = q.Fields(1).AsString();
    q.Close();
    entry.cat = h.cat;
    entry.subcat = h.subcat;
    entry.servId = h.serverId;
    const int32_t cat = *PlainInteger(h.cat, true);
    entry.icon = cat >= 1 && cat <= icons ? cat - 1 : -1;
    return entry;
}

namespace {

int32_t number(const std::string& text) {
    const std::optional<int32_t> n = PlainInteger(text, true);
    if (!n)
        throw ReplyError("\"" + text + cp("\" - недопустимое целое значение"));
    return *n;
}

} // namespace

void InsertPackageArticle(fb::Query& upd, const TUpdEntry& entry, const std::string& package,
                          const std::string& article) {
    upd.Close();
    upd.setSQL("INSERT into HINTS (SERV_ID,NAME,CAT,SUBCAT,INFORMATION) values (:SERV_ID, :NAME, "
               ":CAT, :SUB_CAT, :INF)");
    upd.Params(0).setAsString(entry.servId);
    upd.Params(1).setAsString(entry.title);
    upd.Params(2).setAsInteger(number(entry.cat));
    upd.Params(3).setAsInteger(number(entry.subcat));
    if (!std::filesystem::exists(article))
        throw std::runtime_error(cp("Не удаётся открыть файл \"") + text::utf8ToCp1251(article) +
                                 cp("\": файл не найден (в пакете \"") +
                                 text::utf8ToCp1251(package) + cp("\" нет файла статьи)"));
    upd.Params(4).setAsString(ReadArticleFile(article));
    upd.ExecQuery();
}

void ImportPackages(const std::vector<TUpdEntry>& chosen, const ImportParts& p) {
    const int n = static_cast<int>(chosen.size());
    for (int i = 0; i < n; ++i) {
        const TUpdEntry& entry = chosen[static_cast<size_t>(i)];
        const std::string temp = TempFolder();
        const std::string package = temp + "/" + entry.servId + ".zip";
        const std::string article = temp + "/" + entry.servId + ".html";

        FetchFile(*p.request, p.root(), PackagePath(entry.servId), package);
        if (p.progress)
            p.progress(i + 1, n);

        p.zip->DestDir = temp;
        p.zip->ZipName = package;
        p.zip->UnZip();

        InsertPackageArticle(*p.upd, entry, package, article);

        std::error_code ignored;
        std::filesystem::remove(package, ignored);
        std::filesystem::remove(article, ignored);
    }
    data::commit(*p.upd, *p.updTrans);
    // Only now, committed, are the articles searchable in their texts.
    data::ArticlesChanged::notify({&p.updTrans->database(), data::ArticlesChange::Kind::Added, {}});
}

std::string TempFolder() {
    const char* temp = std::getenv("TEMP");
    std::string folder = temp && *temp ? temp : QDir::tempPath().toStdString();
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return folder;
}

std::vector<std::string> SplitServerIdList(const std::string& list, size_t maxChars) {
    std::vector<std::string> pieces;
    size_t start = 0;
    while (list.size() - start > maxChars) {
        // The last comma that keeps the piece within the limit.
        size_t cut = list.rfind(',', start + maxChars);
        if (cut == std::string::npos || cut < start)
            cut = list.find(',', start); // one identifier longer than the limit
        if (cut == std::string::npos)
            break;
        pieces.push_back(list.substr(start, cut - start));
        start = cut + 1;
    }
    pieces.push_back(list.substr(start));
    return pieces;
}

std::vector<NewHint> FetchNewHints(http::TInternetHTTPRequest& request,
                                   const std::function<std::string()>& root,
                                   const std::string& serverIdList) {
    const std::vector<std::string> pieces = SplitServerIdList(serverIdList);
    std::vector<NewHint> hints = ParseNewHints(FetchText(request, root(), NewHintsPath(pieces[0])));
    // Each reply names every article outside its own piece; the new ones are
    // outside all of them.
    for (size_t i = 1; i < pieces.size() && !hints.empty(); ++i) {
        std::unordered_set<std::string> named;
        for (const NewHint& h : ParseNewHints(FetchText(request, root(), NewHintsPath(pieces[i]))))
            named.insert(h.serverId);
        std::erase_if(hints, [&](const NewHint& h) { return !named.count(h.serverId); });
    }
    return hints;
}

void CheckNewHints(const std::vector<NewHint>& hints) {
    for (const NewHint& h : hints) {
        struct {
            const std::string& text;
            size_t line;
            bool sign;
            const char* what;
        } fields[] = {{h.serverId, h.line, false, "идентификатор статьи"},
                      {h.cat, h.line + 2, true, "номер категории"},
                      {h.subcat, h.line + 3, true, "номер подкатегории"}};
        for (const auto& f : fields)
            if (!PlainInteger(f.text, f.sign))
                throw ReplyError(cp("Ответ сервера о новых статьях, строка ") +
                                 std::to_string(f.line) + ": \"" + f.text +
                                 cp("\" - не целое десятичное число (") + cp(f.what) +
                                 cp("). Обновление прервано"));
    }
}

std::string ReadArticleFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error(
            cp("Не удаётся открыть файл \"") + text::utf8ToCp1251(path) +
            "\": " + (errno == ENOENT ? cp("файл не найден") : text::systemError(errno)));
    std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        throw std::runtime_error(cp("Ошибка чтения файла \"") + text::utf8ToCp1251(path) + "\"");
    // The lines are joined with CR LF between them: joined with nothing, the
    // code of a <pre> block ran together on one line and words at line ends
    // stuck to the next line's.
    std::string joined;
    joined.reserve(content.size() + content.size() / 32);
    bool first = true;
    for (const std::string& line : SplitLines(content)) {
        if (!first)
            joined += "\r\n";
        joined += line;
        first = false;
    }
    return joined;
}

} // namespace update
