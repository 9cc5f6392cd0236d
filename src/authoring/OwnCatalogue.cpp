// SPDX-License-Identifier: GPL-3.0-or-later

#include "OwnCatalogue.h"

#include "components/fb/Fb.h"
#include "components/text/Cp1251.h"

#include <stdexcept>

namespace authoring {

namespace {

// The column holds 250 characters; a longer or empty name is refused here
// rather than by the engine's less helpful message.
void checkName(const std::string& name) {
    if (name.find_first_not_of(" \t") == std::string::npos)
        throw std::invalid_argument(text::utf8ToCp1251("Название не может быть пустым."));
    if (name.size() > 250)
        throw std::invalid_argument(text::utf8ToCp1251("Название длиннее 250 знаков."));
}

void checkOwn(int32_t num) {
    if (!IsOwnNumber(num))
        throw std::invalid_argument(text::utf8ToCp1251(
            "Категории из обновлений изменять нельзя: их названия задает сервер."));
}

int32_t nextOwn(fb::Query& q) {
    q.ExecQuery();
    const int32_t highest = q.Eof() || q.Fields(0).IsNull() ? 0 : q.Fields(0).AsInteger();
    q.Close();
    return highest >= FirstOwnNumber ? highest + 1 : FirstOwnNumber;
}

std::optional<int32_t> firstNumber(fb::Query& q) {
    q.ExecQuery();
    std::optional<int32_t> num;
    if (!q.Eof() && !q.Fields(0).IsNull())
        num = q.Fields(0).AsInteger();
    q.Close();
    return num;
}

int countOf(fb::Query& q) {
    q.ExecQuery();
    const int n = q.Eof() ? 0 : q.Fields(0).AsInteger();
    q.Close();
    return n;
}

// Runs q's statement and fails with message when it changed no row.
void changeOne(fb::Query& q, const char* message) {
    q.ExecQuery();
    const int rows = q.RowsAffected();
    q.Close();
    if (rows == 0)
        throw std::invalid_argument(text::utf8ToCp1251(message));
}

} // namespace

int32_t CreateCategory(fb::Query& q, const std::string& name) {
    checkName(name);
    q.Close();
    q.setSQL("select max(NUM) from CATEGORIES");
    const int32_t num = nextOwn(q);
    q.setSQL("insert into CATEGORIES (NUM, CATEGORY_NAME) values (:num, :name)");
    q.Params(0).setAsInteger(num);
    q.Params(1).setAsString(name);
    q.ExecQuery();
    q.Close();
    return num;
}

int32_t CreateSubcategory(fb::Query& q, int32_t catNum, const std::string& name) {
    checkName(name);
    q.Close();
    q.setSQL("select count(*) from CATEGORIES where NUM=:cat");
    q.Params(0).setAsInteger(catNum);
    if (countOf(q) == 0)
        throw std::invalid_argument(text::utf8ToCp1251("Такой категории нет."));
    q.setSQL("select max(NUM) from SUB_CATEGORIES where CATNUM=:cat");
    q.Params(0).setAsInteger(catNum);
    const int32_t num = nextOwn(q);
    q.setSQL("insert into SUB_CATEGORIES (CATNUM, NUM, SUB_CAT) values (:cat, :num, :name)");
    q.Params(0).setAsInteger(catNum);
    q.Params(1).setAsInteger(num);
    q.Params(2).setAsString(name);
    q.ExecQuery();
    q.Close();
    return num;
}

std::optional<int32_t> FindCategory(fb::Query& q, const std::string& name) {
    q.Close();
    q.setSQL("select min(NUM) from CATEGORIES where CATEGORY_NAME=:name");
    q.Params(0).setAsString(name);
    return firstNumber(q);
}

std::optional<int32_t> FindSubcategory(fb::Query& q, int32_t catNum, const std::string& name) {
    q.Close();
    q.setSQL("select min(NUM) from SUB_CATEGORIES where CATNUM=:cat and SUB_CAT=:name");
    q.Params(0).setAsInteger(catNum);
    q.Params(1).setAsString(name);
    return firstNumber(q);
}

void RenameCategory(fb::Query& q, int32_t catNum, const std::string& name) {
    checkOwn(catNum);
    checkName(name);
    q.Close();
    q.setSQL("update CATEGORIES set CATEGORY_NAME=:name where NUM=:num");
    q.Params(0).setAsString(name);
    q.Params(1).setAsInteger(catNum);
    changeOne(q, "Такой категории нет.");
}

void RenameSubcategory(fb::Query& q, int32_t catNum, int32_t subcatNum, const std::string& name) {
    checkOwn(subcatNum);
    checkName(name);
    q.Close();
    q.setSQL("update SUB_CATEGORIES set SUB_CAT=:name where CATNUM=:cat and NUM=:num");
    q.Params(0).setAsString(name);
    q.Params(1).setAsInteger(catNum);
    q.Params(2).setAsInteger(subcatNum);
    changeOne(q, "Такой подкатегории нет.");
}

void DeleteCategory(fb::Query& q, int32_t catNum) {
    checkOwn(catNum);
    q.Close();
    q.setSQL("select count(*) from HINTS where CAT=:cat");
    q.Params(0).setAsInteger(catNum);
    if (countOf(q) != 0)
        throw std::invalid_argument(
            text::utf8ToCp1251("В категории есть статьи: удалить можно только пустую."));
    q.setSQL("delete from SUB_CATEGORIES where CATNUM=:cat");
    q.Params(0).setAsInteger(catNum);
    q.ExecQuery();
    q.Close();
    q.setSQL("delete from CATEGORIES where NUM=:cat");
    q.Params(0).setAsInteger(catNum);
    changeOne(q, "Такой категории нет.");
}

void DeleteSubcategory(fb::Query& q, int32_t catNum, int32_t subcatNum) {
    checkOwn(subcatNum);
    q.Close();
    q.setSQL("select count(*) from HINTS where CAT=:cat and SUBCAT=:num");
    q.Params(0).setAsInteger(catNum);
    q.Params(1).setAsInteger(subcatNum);
    if (countOf(q) != 0)
        throw std::invalid_argument(
            text::utf8ToCp1251("В подкатегории есть статьи: удалить можно только пустую."));
    q.setSQL("delete from SUB_CATEGORIES where CATNUM=:cat and NUM=:num");
    q.Params(0).setAsInteger(catNum);
    q.Params(1).setAsInteger(subcatNum);
    changeOne(q, "Такой подкатегории нет.");
}

} // namespace authoring
