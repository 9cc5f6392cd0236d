// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// The browser's work without a window: the catalogue read into plain data,
// the catalogue pages, article files and file names.

#include <QString>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace fb {
class Query;
}

// The article waiting to be shown by the browser; 0 when none. The search
// command sets it, the browser serves it.
extern int ShowTopicID;
// The words to highlight in that article (Windows-1251, any case): those a
// full-text search matched in it; empty for none. Served with ShowTopicID.
extern std::vector<std::string> ShowTopicWords;
// Asks for an article (0: none) with its words, and tells TopicAsked, so that
// a browser window whose tree is in serves it at once.
void AskForTopic(int id, std::vector<std::string> words = {});
// Set by the browser window that serves the articles asked for, while it
// does; empty otherwise.
extern std::function<void()> TopicAsked;

// ---------------------------------------------------------------- catalogue

// Names are Windows-1251 bytes exactly as the database gave them.
struct CatalogueArticle {
    std::string name;
    int id = 0;
};
struct CatalogueSubcategory {
    std::string name;
    int num = 0;
    std::vector<CatalogueArticle> articles;
};
struct CatalogueCategory {
    std::string name;
    int num = 0;
    std::vector<CatalogueSubcategory> subcategories;
};
using Catalogue = std::vector<CatalogueCategory>;

// The data module's reading queries that the load borrows.
struct CatalogueQueries {
    fb::Query& categories;    // IBSQL1, its fixed category statement set
    fb::Query& subcategories; // IBSQL2
    fb::Query& articles;      // IBSQL3
    fb::Query& count;         // IBSQL4
};

// Reads every category with its subcategories and their articles (ordered by
// name) into out. After each subcategory, step is called with the number of
// subcategories and of articles read so far and the article total. A database
// error ends the load by an exception; out keeps what was read before it, the
// unfinished category with it, and the cursors are closed.
void LoadCatalogue(const CatalogueQueries& q, Catalogue& out,
                   const std::function<void(int subcategories, int articles, int total)>& step);

// What a change of one category or subcategory needs to show it without a
// whole load: the category's name (none when it is gone), the category
// numbers in the tree's order, and one subcategory with its articles by
// name (none when it is gone). Each leaves q closed.
std::optional<std::string> ReadCategoryName(fb::Query& q, int cat);
std::vector<int> CategoryOrder(fb::Query& q);
std::optional<CatalogueSubcategory> ReadSubcategory(fb::Query& q, int cat, int subcat);

// The position of the progress bar, 0 to 100: articles loaded against the
// total counted before the load (0 when the total is 0).
int LoadPosition(int articles, int total);

// --------------------------------------------------------------- pages

// The catalogue page of a category (level 0) or a subcategory (level 1) as
// an "about:" address, Windows-1251; the names show as plain text.
std::string BuildNodePage(int level, const std::string& categoryName,
                          const std::string& subcategoryName);

// Text made safe to put into HTML: &, <, > and " become entities.
std::string HtmlEscaped(const std::string& text);

// What the browser shows when the catalogue has no categories at all.
std::string EmptyCataloguePage();

// A name usable as a file name: every byte outside the kept codes becomes "_".
std::string MakeFileName(const std::string& name);

// A new, empty, uniquely named file in the system's temporary folder; when
// none can be made, "TemporaryHTMLFile.html" in that folder (not created).
QString GetTempHTMLFileName();

// The full name of the last temporary article file; shared by all browser
// windows, empty at start.
extern QString TempPageFileName;

// The article's text: its INFORMATION as the database gives it; NULL (or an
// article that is gone) gives nothing. Leaves q closed.
std::string ReadArticle(fb::Query& q, int id);

// Writes the bytes as the whole content of path. With fresh, a file there is
// first removed and the new one made exclusively, so that a link planted at
// a well-known name cannot send the text elsewhere.
void WriteWholeFile(const QString& path, const std::string& bytes, bool fresh);

// Writes the article into a new temporary file for the page view and
// returns its name (also kept in TempPageFileName).
QString WriteArticlePage(fb::Query& q, int id);
