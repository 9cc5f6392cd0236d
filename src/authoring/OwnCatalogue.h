// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// The user's own categories and subcategories. Their numbers start at
// FirstOwnNumber, far above any the update server gives, so that the update
// run, which takes the server's names for the numbers it knows, never
// renames them. Nothing here commits: the caller's transaction decides (the
// windows commit at once, an import once at its end).

#include <cstdint>
#include <optional>
#include <string>

namespace fb {
class Query;
}

namespace authoring {

inline constexpr int32_t FirstOwnNumber = 1000000;

inline bool IsOwnNumber(int32_t num) {
    return num >= FirstOwnNumber;
}

// Makes a category of one's own named name (Windows-1251) and gives its
// number: one above the highest own number, or FirstOwnNumber.
int32_t CreateCategory(fb::Query& q, const std::string& name);
// The same for a subcategory of catNum (numbered within its category).
int32_t CreateSubcategory(fb::Query& q, int32_t catNum, const std::string& name);

// The number of the category named name (exactly), own or not, if any; the
// lowest number when several share the name.
std::optional<int32_t> FindCategory(fb::Query& q, const std::string& name);
std::optional<int32_t> FindSubcategory(fb::Query& q, int32_t catNum, const std::string& name);

// Renames an own category or subcategory; fails for the server's numbers
// and for numbers that do not exist.
void RenameCategory(fb::Query& q, int32_t catNum, const std::string& name);
void RenameSubcategory(fb::Query& q, int32_t catNum, int32_t subcatNum, const std::string& name);

// Deletes an own category (with its subcategories) or subcategory; fails
// for the server's numbers and while any article is filed under it.
void DeleteCategory(fb::Query& q, int32_t catNum);
void DeleteSubcategory(fb::Query& q, int32_t catNum, int32_t subcatNum);

} // namespace authoring
