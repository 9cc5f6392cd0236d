// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// The small catalogue that the search and add window tests share, and a way
// to read back what the windows wrote.

#include "browser/UView.h"
#include "components/text/Strings.h"
#include "data/DbBuild.h"
#include "data/UData.h"
#include "support/ModalWindows.h"
#include "support/TempDatabase.h"

#include <QByteArray>
#include <QStringList>

#include <memory>

namespace testing_support {

using text::cp;

// Article identifiers follow the order of insertion, from 1.
enum : int { kCsv = 1, kFind, kConnect, kRead, kFindTwin, kStray, kQuoted, kUnquoted, kServer };

inline dbbuild::Catalogue catalogue() {
    dbbuild::Catalogue c;
    c.categories = {{1, cp("Строки")}, {2, cp("Базы данных")}, {3, cp("Файлы")}, {4, cp("Пустая")}};
    c.subcategories = {
        {1, 1, cp("Поиск")}, {1, 2, cp("Разбор")}, {2, 1, cp("Запросы")}, {3, 1, cp("Диски")}};
    const std::pair<std::pair<int, int>, const char*> rows[] = {
        {{1, 2}, "Разбор CSV-строки"},
        {{1, 2}, "Поиск подстроки в Строке"},
        {{2, 1}, "Строка подключения к базе"},
        {{3, 1}, "Чтение файла целиком"},
        {{1, 1}, "Поиск подстроки в Строке"}, // the same name, later, in an earlier subcategory
        {{3, 2}, "Строка без своей подкатегории"}, // subcategory 2 is category 1's
        {{3, 1}, "Имя \"Кавычки\" в тексте"},
        {{3, 1}, "Кавычки в тексте"},
        {{3, 1}, "Загрузка с сервера"}};
    for (const auto& [at, title] : rows)
        c.articles.push_back({"", at.first, at.second, std::nullopt, cp(title), "<p>x</p>"});
    c.articles.back().servId = 5001;
    return c;
}

// Runs one query on IBSQL4 and reads its first column of every row.
inline QStringList read(const std::string& sql) {
    fb::Query& r = DataFrm->IBSQL4;
    r.Close();
    r.setSQL(sql);
    r.ExecQuery();
    QStringList out;
    for (; !r.Eof(); r.Next())
        out << QString::fromLatin1(QByteArray::fromStdString(r.Fields(0).AsString()).toHex());
    r.Close();
    return out;
}

// A fresh database of the small catalogue, the data module on it and the
// main window shown; and all of it gone again, every window closed.
inline void openCatalogueWindows(std::unique_ptr<TempDatabase>& file) {
    ShowTopicID = 0;
    stuckModal = false;
    const dbbuild::Catalogue c = catalogue();
    file = std::make_unique<TempDatabase>(&c);
    DataFrm = new TDataFrm(file->path());
    showMainWindow();
}

inline void closeCatalogueWindows() {
    QVERIFY(!stuckModal);
    delete Main;
    QVERIFY(!AddFrm && !SearchFrm && !ViewFrm);
    delete DataFrm;
    DataFrm = nullptr;
}

} // namespace testing_support
