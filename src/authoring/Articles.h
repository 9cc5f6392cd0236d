// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// The user's own articles without a window: the statements of the add
// window and the insert with its commit.

#include "data/Lists.h"

#include <cstdint>
#include <functional>
#include <optional>
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

// Runs change (statements on upd, such as those of OwnCatalogue.h) and
// commits it at once. A change that fails is rolled back whole, so that no
// half of it rides along with the next writer's commit; the update
// transaction is started again either way.
void CommitNow(fb::Query& upd, fb::Transaction& updTrans, const std::function<void()>& change);

// One article as the edit window shows it; texts in Windows-1251.
struct ArticleRecord {
    std::string name;
    int32_t cat = 0;
    int32_t subcat = 0;
    std::string text;
    // From the update server (it has a server identifier): never changed
    // or deleted by the user's commands.
    bool fromServer = false;
};

// The article id, or nothing when there is none. Leaves q closed.
std::optional<ArticleRecord> ReadArticleRecord(fb::Query& q, int32_t id);
// Whether id is an article of the user's own (one without a server
// identifier); false for one that is gone. Leaves q closed.
bool IsOwnArticle(fb::Query& q, int32_t id);

// Writes name, category, subcategory and text of the user's own article id
// in one statement and commits it; the update transaction is started again
// afterwards. An article from the update server, or one that is gone, is
// refused and nothing is written.
void UpdateArticle(fb::Query& upd, fb::Transaction& updTrans, int32_t id, int32_t cat,
                   int32_t subcat, const std::string& name, const std::string& content);
// Deletes the user's own article id and commits it; refused as above.
void DeleteArticle(fb::Query& upd, fb::Transaction& updTrans, int32_t id);

} // namespace authoring
