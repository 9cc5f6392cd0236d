// SPDX-License-Identifier: GPL-3.0-or-later

#include "Exchange.h"

#include "SingleInstance.h"
#include "authoring/Export.h"
#include "authoring/Import.h"
#include "authoring/OwnCatalogue.h"
#include "components/text/Cp1251.h"
#include "data/UData.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace exchange {
namespace {

constexpr int kDone = 0;
constexpr int kPartly = 1;
constexpr int kFailed = 2;

// Our texts are Windows-1251; the terminal takes UTF-8.
void out(const std::string& cp1251) {
    std::fputs(text::cp1251ToUtf8(cp1251).c_str(), stdout);
}
void outUtf8(const std::string& utf8) {
    std::fputs(utf8.c_str(), stdout);
}
int fail(const std::string& utf8) {
    std::fprintf(stderr, "tipsara: %s\n", utf8.c_str());
    return kFailed;
}

int usage() {
    return fail("использование:\n"
                "  tipsara --import ПУТЬ... [--category НАЗВАНИЕ --subcategory НАЗВАНИЕ] "
                "[--subfolders]\n"
                "  tipsara --export ФАЙЛ [--all | --category НАЗВАНИЕ [--subcategory НАЗВАНИЕ]]");
}

struct Arguments {
    bool import = false;
    std::vector<std::string> paths; // import: the files; export: the one file
    std::string category, subcategory;
    bool all = false, subfolders = false;
};

// False on a malformed command line.
bool parse(int argc, char** argv, Arguments& a) {
    a.import = std::strcmp(argv[1], "--import") == 0;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--category" && hasValue)
            a.category = argv[++i];
        else if (arg == "--subcategory" && hasValue)
            a.subcategory = argv[++i];
        else if (arg == "--all" && !a.import)
            a.all = true;
        else if (arg == "--subfolders" && a.import)
            a.subfolders = true;
        else if (arg.rfind("--", 0) == 0)
            return false;
        else
            a.paths.push_back(arg);
    }
    if (a.paths.empty() || (!a.import && a.paths.size() != 1))
        return false;
    if (a.import)
        return a.category.empty() == a.subcategory.empty();
    return !(a.all && !a.category.empty()) && (a.subcategory.empty() || !a.category.empty());
}

void list(const char* headingUtf8, const std::vector<authoring::ImportReport::Entry>& entries) {
    outUtf8(std::string(headingUtf8) + ": " + std::to_string(entries.size()) + "\n");
    for (const auto& e : entries) {
        outUtf8("  " + e.source);
        if (!e.name.empty())
            out(" \xAB" + e.name + "\xBB");
        if (!e.reason.empty())
            out(": " + e.reason);
        outUtf8("\n");
    }
}

int runImport(fb::Query& upd, fb::Transaction& updTrans, const Arguments& a) {
    authoring::ImportTarget target;
    target.given = !a.category.empty();
    target.subfolders = a.subfolders;
    if (target.given) {
        const authoring::ImportTarget named = authoring::TargetByName(
            upd, text::utf8ToCp1251(a.category), text::utf8ToCp1251(a.subcategory));
        target.cat = named.cat;
        target.subcat = named.subcat;
    }
    authoring::Importer importer(upd, a.paths, target);
    authoring::RunImport(upd, updTrans, importer);
    const authoring::ImportReport& r = importer.report();
    list("Импортировано", r.imported);
    list("Пропущено (уже есть в базе)", r.skipped);
    list("Отклонено", r.refused);
    return r.refused.empty() ? kDone : kPartly;
}

int runExport(fb::Query& q, const Arguments& a) {
    authoring::ExportScope scope;
    if (!a.category.empty()) {
        const auto cat = authoring::FindCategory(q, text::utf8ToCp1251(a.category));
        if (!cat)
            return fail("категории «" + a.category + "» нет");
        scope.kind = authoring::ExportScope::Kind::Category;
        scope.cat = *cat;
        if (!a.subcategory.empty()) {
            const auto sub = authoring::FindSubcategory(q, *cat, text::utf8ToCp1251(a.subcategory));
            if (!sub)
                return fail("подкатегории «" + a.subcategory + "» в категории «" + a.category +
                            "» нет");
            scope.kind = authoring::ExportScope::Kind::Subcategory;
            scope.subcat = *sub;
        }
    }
    const int n = authoring::ExportBundle(q, scope, a.paths.front());
    outUtf8("Экспортировано статей: " + std::to_string(n) + " в " + a.paths.front() + "\n");
    return kDone;
}

} // namespace

std::optional<int> RunFromCommandLine(int argc, char** argv) {
    if (argc < 2 ||
        (std::strcmp(argv[1], "--import") != 0 && std::strcmp(argv[1], "--export") != 0))
        return std::nullopt;
    // No window is made: the core application is enough for the paths and
    // the look for a running copy.
    QCoreApplication app(argc, argv);
    Arguments a;
    if (!parse(argc, argv, a))
        return usage();
    const std::string dbName = TDataFrm::DefaultDBName();
    // The engine lets one process at a time open the database.
    if (SingleInstance(SingleInstance::keyFor(QString::fromStdString(dbName))).isRunning())
        return fail("программа запущена; закройте ее и повторите команду");
    try {
        std::unique_ptr<authoring::StandaloneDatabase> db;
        try {
            db = std::make_unique<authoring::StandaloneDatabase>(dbName);
        } catch (const std::exception& e) {
            return fail("база данных " + dbName +
                        " не открывается: " + text::cp1251ToUtf8(e.what()));
        }
        return a.import ? runImport(db->upd(), db->updTrans(), a) : runExport(db->upd(), a);
    } catch (const std::exception& e) {
        return fail(
            (a.import ? "импорт не выполнен, ничего не добавлено: " : "экспорт не выполнен: ") +
            text::cp1251ToUtf8(e.what()));
    }
}

} // namespace exchange
