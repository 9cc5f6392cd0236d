// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// A look-up asked of the program from outside: from its command line
// ("--search WORDS", "--article ID") or a "tipsara:" link ("tipsara:search?
// q=WORDS", "tipsara:article/ID") that a browser or xdg-open hands over. It
// is read strictly, and whatever it does not say exactly is refused with a
// message for the caller, so that a running copy only ever gets requests it
// can carry out. The same request travels to a running copy as one line.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>
#include <string>
#include <variant>

namespace lookup {

struct Search {
    std::string words; // Windows-1251, trimmed, never empty
    bool operator==(const Search&) const = default;
};
struct Article {
    int id = 0; // positive
    bool operator==(const Article&) const = default;
};
using Request = std::variant<Search, Article>;

// The longest search text taken, in characters: a look-up is a word or a
// few, and the line to a running copy stays short.
inline constexpr int MaxWords = 1000;

struct Parsed {
    std::optional<Request> request; // none for a plain start
    QString error;                  // for standard error; empty when the arguments are sound
};

// The program's arguments after its name. A plain start (no arguments) asks
// nothing; arguments that are not a look-up are left to the caller
// (isLookup tells them apart). Words arrive as Unicode and must fit
// Windows-1251: a character it lacks refuses the request, naming it.
bool isLookup(const QStringList& arguments);
Parsed fromArguments(const QStringList& arguments);
Parsed fromUrl(const QString& url);

// The request as the line sent to a running copy, and back; nothing for a
// line that is not exactly one.
QByteArray toLine(const Request& request);
std::optional<Request> fromLine(const QByteArray& line);

} // namespace lookup
