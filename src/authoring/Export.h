// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// Export of articles into a bundle (see Bundle.h): all of the user's own
// articles, or one article, subcategory or category, own or not. Reads on
// the query given; writes nothing to the database.

#include "data/DbBuild.h"

#include <cstdint>
#include <string>

namespace fb {
class Query;
}

namespace authoring {

struct ExportScope {
    enum class Kind { AllOwn, Category, Subcategory, Article };
    Kind kind = Kind::AllOwn;
    int32_t cat = 0;
    int32_t subcat = 0;
    int32_t article = 0; // the article's ID
};

// The articles of scope with their categories and subcategories (those the
// articles are filed under, and the category or subcategory exported, even
// when empty). Pages are named by the articles' IDs.
dbbuild::Catalogue CollectExport(fb::Query& q, const ExportScope& scope);

// Collects scope and writes it as a bundle at path (UTF-8); returns how many
// articles it holds. Fails with std::exception (Windows-1251 message),
// leaving an existing file at path as it was.
int ExportBundle(fb::Query& q, const ExportScope& scope, const std::string& path);

} // namespace authoring
