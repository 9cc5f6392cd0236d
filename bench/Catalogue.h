// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// The benchmark's catalogues: a user's database of any size and the update
// server's master that goes with it. Made with the program's own database
// layer, streamed row by row so that even the largest never sits in memory.

#include <cstdint>
#include <string>

namespace bench {

inline constexpr int kCategories = 16;
inline constexpr int kSubcategoriesPerCategory = 50;
// Local articles that came from the server (SERV_ID 1..kShared); the master
// holds them too. Few enough for the list of them to go in one request, so
// that the update run makes the 835 requests of a 16 + 800 catalogue.
inline constexpr int kShared = 100;
// Articles only the master has: what an update run offers and imports. The
// n-th of them (from 0) is generated article kFirstNewArticle + n.
inline constexpr int kNewOnServer = 500;
inline constexpr int32_t kFirstNewServerId = 100001;
inline constexpr int kFirstNewArticle = 1000000;
// The size of the one large article that the display is measured on.
inline constexpr size_t kLargeArticleBytes = size_t{100} * 1024;

// Category and subcategory names, Windows-1251.
std::string categoryName(int cat);
std::string subcategoryName(int cat, int sub);
// The category and subcategory of the n-th generated article: the
// subcategories in turn, so that each holds about as many as the others.
void placeOf(int n, int& cat, int& sub);
// Title and body of the n-th generated article (n from 0), Windows-1251.
std::string articleTitle(int n);
std::string articleBody(int n, size_t bytes);

// The user's database: 16 categories, 800 subcategories and `articles`
// articles of about 4 KiB spread evenly over the subcategories, the first
// kShared with server identifiers, and one article of kLargeArticleBytes
// titled largeArticleTitle(). Made at path unless a complete one is there.
void makeLocal(const std::string& path, const std::string& schema, int articles);
std::string largeArticleTitle();

// The master: the same categories and subcategories, the kShared shared
// articles and kNewOnServer new ones.
void makeMaster(const std::string& path, const std::string& schema);

} // namespace bench
