// SPDX-License-Identifier: GPL-3.0-or-later

#include "Catalogue.h"

#include "components/fb/Fb.h"
#include "components/text/Cp1251.h"
#include "data/DbBuild.h"

#include <array>
#include <filesystem>
#include <functional>
#include <vector>

namespace bench {
namespace {

std::string cp(const char* utf8) {
    return text::utf8ToCp1251(utf8, true);
}

std::vector<std::string> cpList(std::initializer_list<const char*> words) {
    std::vector<std::string> out;
    for (const char* w : words)
        out.push_back(cp(w));
    return out;
}

// Titles are "<action> <object> <place> (№ n)": 16 × 20 × 16 combinations,
// so that one word of the search finds a few per cent of the articles and
// three words together a fraction of one.
const std::vector<std::string>& actions() {
    static const auto v =
        cpList({"Как сохранить", "Как прочитать", "Как найти", "Как скопировать", "Как удалить",
                "Как изменить", "Как получить", "Как показать", "Как скрыть", "Как проверить",
                "Как сравнить", "Как отсортировать", "Как зашифровать", "Как перевести",
                "Как ускорить", "Как вывести"});
    return v;
}
const std::vector<std::string>& objects() {
    static const auto v =
        cpList({"файл",  "строку", "список",  "форму",        "кнопку", "таблицу", "запрос",
                "поток", "окно",   "рисунок", "ключ реестра", "меню",   "дерево",  "сетку",
                "дату",  "число",  "каталог", "компонент",    "шрифт",  "цвет"});
    return v;
}
const std::vector<std::string>& places() {
    static const auto v = cpList(
        {"в TMemo", "в TListView", "в TTreeView", "на форме", "в базе данных", "в реестре Windows",
         "по сети", "без VCL", "средствами WinAPI", "в фоновом потоке", "при запуске программы",
         "в буфере обмена", "в DBGrid", "через COM", "в консоли", "в TStringGrid"});
    return v;
}
const std::vector<std::string>& sentences() {
    static const auto v = cpList({
        "Эта задача встречается чаще, чем кажется, и решается несколькими строками кода. ",
        "Обратите внимание на обработку ошибок: без неё программа может завершиться аварийно. ",
        "Приведённый ниже пример проверен в Delphi 7 и в более поздних версиях среды. ",
        "Если компонент ещё не создан, обращение к его свойствам вызовет исключение. ",
        "Для больших объёмов данных лучше отключить перерисовку на время работы цикла. ",
        "Функции WinAPI объявлены в модуле Windows, его нужно добавить в раздел uses. ",
        "Не забудьте освободить выделенную память в блоке finally. ",
        "Строки в Delphi хранятся со счётчиком ссылок, поэтому копирование обходится дёшево. ",
        "Вместо цикла по всем элементам можно воспользоваться готовой функцией модуля SysUtils. ",
        "Результат удобно проверить в отладчике, поставив точку останова на последней строке. ",
        "Этот способ работает и в консольных приложениях, где форм нет вовсе. ",
        "Подробности можно найти в справке по соответствующему классу. ",
    });
    return v;
}

const char* const kCode = "<pre>procedure TForm1.Button1Click(Sender: TObject);\r\n"
                          "var\r\n  List: TStringList;\r\n  I: Integer;\r\nbegin\r\n"
                          "  List := TStringList.Create;\r\n  try\r\n"
                          "    for I := 0 to Memo1.Lines.Count - 1 do\r\n"
                          "      List.Add(Trim(Memo1.Lines[I]));\r\n"
                          "    List.Sort;\r\n    Memo1.Lines.Assign(List);\r\n"
                          "  finally\r\n    List.Free;\r\n  end;\r\nend;</pre>\r\n";

void insertCatalogueNames(fb::Database& db, fb::Transaction& tr) {
    fb::Query q(db, tr);
    q.setSQL("INSERT INTO CATEGORIES (CATEGORY_NAME, NUM) values (:Name, :ID)");
    for (int c = 1; c <= kCategories; ++c) {
        q.Params(0).setAsString(categoryName(c));
        q.Params(1).setAsInteger(c);
        q.ExecQuery();
    }
    q.setSQL("INSERT INTO SUB_CATEGORIES (SUB_CAT, CATNUM, NUM) values (:Name, :CNID, :ID)");
    for (int c = 1; c <= kCategories; ++c)
        for (int s = 1; s <= kSubcategoriesPerCategory; ++s) {
            q.Params(0).setAsString(subcategoryName(c, s));
            q.Params(1).setAsInteger(c);
            q.Params(2).setAsInteger(s);
            q.ExecQuery();
        }
    q.Close();
}

} // namespace

void placeOf(int n, int& cat, int& sub) {
    const int slot = n % (kCategories * kSubcategoriesPerCategory);
    cat = slot / kSubcategoriesPerCategory + 1;
    sub = slot % kSubcategoriesPerCategory + 1;
}

std::string categoryName(int cat) {
    static const auto names =
        cpList({"Система", "Файлы и папки", "Формы и окна", "Графика", "Базы данных",
                "Сеть и Интернет", "Строки", "Математика", "Компоненты VCL", "Реестр", "Потоки",
                "Печать", "Мультимедиа", "Безопасность", "Отладка", "Разное"});
    return cat >= 1 && cat <= static_cast<int>(names.size())
               ? names[static_cast<size_t>(cat - 1)]
               : cp("Категория ") + std::to_string(cat);
}

std::string subcategoryName(int cat, int sub) {
    return cp("Раздел ") + std::to_string(cat) + "." + std::to_string(sub) + " " +
           objects()[static_cast<size_t>(sub) % objects().size()];
}

std::string articleTitle(int n) {
    const auto& a = actions();
    const auto& o = objects();
    const auto& p = places();
    // Different strides, so that the three parts do not move in step.
    const size_t i = static_cast<size_t>(n);
    return a[i % a.size()] + " " + o[(i / 3 + i * 7) % o.size()] + " " +
           p[(i / 11 + i * 5) % p.size()] + cp(" (№ ") + std::to_string(n + 1) + ")";
}

std::string articleBody(int n, size_t bytes) {
    const std::string title = articleTitle(n);
    std::string body = "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; "
                       "charset=windows-1251\"><title>" +
                       title + "</title></head><body>\r\n<h2>" + title + "</h2>\r\n";
    const auto& s = sentences();
    for (size_t k = 0; body.size() + 40 < bytes; ++k) {
        body += "<p>";
        for (size_t j = 0; j < 4; ++j)
            body += s[(static_cast<size_t>(n) + k * 5 + j * 3) % s.size()];
        body += "</p>\r\n";
        if (k % 3 == 1)
            body += kCode;
    }
    body += "</body></html>\r\n";
    return body;
}

std::string largeArticleTitle() {
    return cp("Большая статья: справочник по VCL");
}

namespace {

// Makes a database at path, unless one is there, with the catalogue's names
// and the articles that fill adds through insert (prepared from insertSql),
// all in one transaction that fill may commit part of as it goes.
void makeWith(const std::string& path, const std::string& schema, const char* insertSql,
              const std::function<void(fb::Transaction&, fb::Query&)>& fill) {
    if (std::filesystem::exists(path))
        return;
    dbbuild::buildAtomically(path, schema, [&](fb::Database& db) {
        fb::Transaction tr(db);
        tr.TRParams = {"write", "nowait", "concurrency"};
        tr.StartTransaction();
        insertCatalogueNames(db, tr);
        fb::Query q(db, tr);
        q.setSQL(insertSql);
        q.Prepare();
        fill(tr, q);
        q.Close();
        tr.Commit();
    });
}

} // namespace

void makeLocal(const std::string& path, const std::string& schema, int articles) {
    makeWith(path, schema,
             "INSERT into HINTS (SERV_ID,NAME,CAT,SUBCAT,INFORMATION) "
             "values (:SERV_ID, :NAME, :CAT, :SUB_CAT, :INF)",
             [&](fb::Transaction& tr, fb::Query& q) {
                 for (int n = 0; n < articles; ++n) {
                     int cat = 0, sub = 0;
                     placeOf(n, cat, sub);
                     if (n < kShared)
                         q.Params(0).setAsInteger(n + 1);
                     else
                         q.Params(0).Clear();
                     q.Params(1).setAsString(articleTitle(n));
                     q.Params(2).setAsInteger(cat);
                     q.Params(3).setAsInteger(sub);
                     q.Params(4).setAsString(articleBody(n, 4096));
                     q.ExecQuery();
                     // Commits now and then keep the engine's undo log small.
                     if (n % 4000 == 3999) {
                         q.Close();
                         tr.Commit();
                         tr.StartTransaction();
                     }
                 }
                 q.Params(0).Clear();
                 q.Params(1).setAsString(largeArticleTitle());
                 q.Params(2).setAsInteger(1);
                 q.Params(3).setAsInteger(1);
                 q.Params(4).setAsString(articleBody(0, kLargeArticleBytes));
                 q.ExecQuery();
             });
}

void makeMaster(const std::string& path, const std::string& schema) {
    makeWith(path, schema,
             "INSERT INTO HINTS (ID, NAME, CAT, SUBCAT, INFORMATION) "
             "values (:ID, :NAME, :CAT, :SUBCAT, :INF)",
             [&](fb::Transaction&, fb::Query& q) {
                 auto add = [&](int32_t id, int n) {
                     int cat = 0, sub = 0;
                     placeOf(n, cat, sub);
                     q.Params(0).setAsInteger(id);
                     q.Params(1).setAsString(articleTitle(n));
                     q.Params(2).setAsInteger(cat);
                     q.Params(3).setAsInteger(sub);
                     q.Params(4).setAsString(articleBody(n, 4096));
                     q.ExecQuery();
                 };
                 for (int n = 0; n < kShared; ++n)
                     add(n + 1, n);
                 // The new ones take titles beyond any local article's.
                 for (int k = 0; k < kNewOnServer; ++k)
                     add(kFirstNewServerId + k, kFirstNewArticle + k);
             });
}

} // namespace bench
