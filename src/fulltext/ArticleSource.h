// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// The articles as the index reads them. The index knows no database: its
// owner gives it a source of the articles the database has committed.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace fulltext {

struct Article {
    int32_t id = 0;
    std::string name; // Windows-1251
    std::string html; // the text, Windows-1251 HTML
};

// One consistent view of the committed articles, for the length of one
// operation of the index (an opening, a build, a catch-up).
class ArticleReader {
public:
    virtual ~ArticleReader() = default;
    // Which database this is, as a text that a replaced file (made anew or
    // restored from a backup) does not share with the old one.
    virtual std::string identity() = 0;
    virtual int count() = 0;
    // Every article's ID, ascending.
    virtual std::vector<int32_t> ids() = 0;
    // The articles with an ID above `after`, in the database's order (the
    // index needs none), until `each` returns false.
    virtual void eachAfter(int32_t after, const std::function<bool(const Article&)>& each) = 0;
    // The article, or nothing when it is not committed.
    virtual std::optional<Article> article(int32_t id) = 0;
};

class ArticleSource {
public:
    virtual ~ArticleSource() = default;
    virtual std::unique_ptr<ArticleReader> read() = 0;
};

} // namespace fulltext
