// SPDX-License-Identifier: GPL-3.0-or-later

#include "Export.h"

#include "Bundle.h"
#include "components/fb/Fb.h"

#include <set>
#include <utility>

namespace authoring {

dbbuild::Catalogue CollectExport(fb::Query& q, const ExportScope& scope) {
    using Kind = ExportScope::Kind;
    dbbuild::Catalogue c;
    q.Close();
    std::string where;
    switch (scope.kind) {
    case Kind::AllOwn:
        where = "SERV_ID is null";
        break;
    case Kind::Category:
        where = "CAT=" + std::to_string(scope.cat);
        break;
    case Kind::Subcategory:
        where = "CAT=" + std::to_string(scope.cat) + " and SUBCAT=" + std::to_string(scope.subcat);
        break;
    case Kind::Article:
        where = "ID=" + std::to_string(scope.article);
        break;
    }
    q.setSQL("select ID, CAT, SUBCAT, SERV_ID, NAME, INFORMATION from HINTS where " + where +
             " order by CAT, SUBCAT, ID");
    q.ExecQuery();
    std::set<int32_t> cats;
    std::set<std::pair<int32_t, int32_t>> subs;
    for (; !q.Eof(); q.Next()) {
        dbbuild::Article a;
        a.file = std::to_string(q.Fields(0).AsInteger()) + ".html";
        a.cat = q.Fields(1).AsInteger();
        a.subcat = q.Fields(2).AsInteger();
        if (!q.Fields(3).IsNull())
            a.servId = q.Fields(3).AsInteger();
        a.title = q.Fields(4).AsString();
        a.body = q.Fields(5).AsString();
        cats.insert(a.cat);
        subs.insert({a.cat, a.subcat});
        c.articles.push_back(std::move(a));
    }
    q.Close();
    if (scope.kind == Kind::Category || scope.kind == Kind::Subcategory)
        cats.insert(scope.cat);
    if (scope.kind == Kind::Subcategory)
        subs.insert({scope.cat, scope.subcat});

    q.setSQL("select NUM, CATEGORY_NAME from CATEGORIES order by NUM");
    q.ExecQuery();
    for (; !q.Eof(); q.Next())
        if (cats.count(q.Fields(0).AsInteger()))
            c.categories.push_back({q.Fields(0).AsInteger(), q.Fields(1).AsString()});
    q.Close();
    q.setSQL("select CATNUM, NUM, SUB_CAT from SUB_CATEGORIES order by CATNUM, NUM");
    q.ExecQuery();
    for (; !q.Eof(); q.Next()) {
        const std::pair<int32_t, int32_t> place{q.Fields(0).AsInteger(), q.Fields(1).AsInteger()};
        if (subs.count(place) || (scope.kind == Kind::Category && place.first == scope.cat))
            c.subcategories.push_back({place.first, place.second, q.Fields(2).AsString()});
    }
    q.Close();
    return c;
}

int ExportBundle(fb::Query& q, const ExportScope& scope, const std::string& path) {
    const dbbuild::Catalogue c = CollectExport(q, scope);
    WriteBundle(path, c);
    return static_cast<int>(c.articles.size());
}

} // namespace authoring
