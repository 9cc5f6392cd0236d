// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// The user's own articles without a window: the statements of the add
// window and the insert with its commit.

#include "data/Lists.h"

#include <string>
#include <vector>

class QString;

namespace fb {
class Query;
class Transaction;
} // namespace fb

namespace authoring {

inline constexpr const char* InsertStatement = "INSERT INTO hints (cat, subcat, name, information) "
                                               "values (:cat_id, :scat_id, :name, :content)";

// The statement that lists a category's subcategories; catNum is pasted in
// as it is kept in the number list.
std::string SubcategoryStatement(const std::string& catNum);
// A category's subcategories by name, read with that statement on q.
std::vector<data::NamedNumber> Subcategories(fb::Query& q, const std::string& catNum);

// Entry index of a number list; fails, naming what is missing, when no item
// is chosen (index out of the list).
const std::string& NumberAt(const std::vector<std::string>& list, int index, const char* what);

// A multi-line field's raw text (paragraph and line separators, or line
// feeds) as the article stores it: lines joined by carriage return and line
// feed, nothing added at the end, every other character kept.
std::string ArticleText(const QString& raw);

// Inserts one article on upd and commits it; the update transaction is
// started again afterwards. A failed insert commits nothing.
void InsertArticle(fb::Query& upd, fb::Transaction& updTrans, const std::string& catNum,
                   const std::string& subcatNum, const std::string& name,
                   const std::string& content);

} // namespace authoring
