// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// The article search without a window: a search text, three modes (all
// words, any word, the exact text), one SELECT over the three tables with a
// name condition per word, and the hits in the list's order.

#include <QCollator>
#include <QString>
#include <QStringList>

#include <string>
#include <vector>

namespace fb {
class Query;
}

namespace search {

enum class Mode { AllWords, AnyWord, ExactText };

// The words of a search text (Windows-1251), in order. Quotation marks and
// apostrophes open stretches that the same character closes (or the end of
// the text); outside them only spaces separate words; the quote characters
// stay in the words; each word is trimmed of codes up to 32 and empty ones
// are dropped.
std::vector<std::string> SplitWords(const std::string& text);

// The select shared by all modes; the name conditions follow on a new line.
inline constexpr const char* BaseStatement =
    "SELECT A.ID, A.NAME, B.CATEGORY_NAME, C.SUB_CAT FROM HINTS A, CATEGORIES B, "
    "SUB_CATEGORIES C WHERE A.CAT=B.NUM AND A.SUBCAT=C.NUM AND B.NUM=C.CATNUM";

// The whole statement for a mode and a number of words (ignored in the exact
// mode). Needs at least one word in the word modes.
std::string BuildStatement(Mode mode, size_t wordCount);

// The parameter values, by position: the words, or in the exact mode the
// text as typed.
std::vector<std::string> StatementParams(Mode mode, const std::string& text,
                                         const std::vector<std::string>& words);

// One hit as the list shows it: the name, then the category, the subcategory
// and the article's ID as decimal text.
struct Hit {
    std::string name;
    std::string category;
    std::string subcategory;
    std::string id;
};

// Runs the search on q (IBSQL2) and returns its rows in the database's order.
// A text without words in a word mode finds nothing and runs no statement.
std::vector<Hit> Find(fb::Query& q, Mode mode, const std::string& text);

// The list's order: category, then name, then subcategory, each compared
// with collator. Negative, zero or positive like a three-way compare. The
// texts are in column order: name, category, subcategory.
int CompareHits(const QCollator& collator, const QStringList& a, const QStringList& b);

// The collation of the result list: the user's locale, case-sensitive,
// punctuation counted.
QCollator ListCollator();

// The hits as the list shows them (name, category, subcategory, ID), in the
// list's order; equal hits keep the database's order.
std::vector<QStringList> OrderedRows(const QCollator& collator, const std::vector<Hit>& hits);

} // namespace search
