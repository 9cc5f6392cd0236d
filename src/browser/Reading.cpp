// SPDX-License-Identifier: GPL-3.0-or-later

#include "Reading.h"

#include <QSet>

#include <algorithm>
#include <array>

namespace reading {

// ---------------------------------------------------------------- history

void History::Visit(std::vector<int> node) {
    if (!pages_.empty() && pages_[at_].node == node)
        return;
    if (!pages_.empty())
        pages_.erase(pages_.begin() + static_cast<std::ptrdiff_t>(at_) + 1, pages_.end());
    pages_.push_back(Page{std::move(node), 0});
    if (pages_.size() > kLimit)
        pages_.erase(pages_.begin());
    at_ = pages_.size() - 1;
}

const Page* History::Back() {
    if (!CanBack())
        return nullptr;
    return &pages_[--at_];
}

const Page* History::Forward() {
    if (!CanForward())
        return nullptr;
    return &pages_[++at_];
}

void History::SetScroll(int scroll) {
    if (!pages_.empty())
        pages_[at_].scroll = scroll;
}

// ---------------------------------------------------------------- zoom

namespace {
constexpr std::array<int, 13> kSteps{50, 67, 75, 80, 90, 100, 110, 125, 150, 175, 200, 250, 300};
} // namespace

int ZoomIn(int percent) {
    for (int s : kSteps)
        if (s > percent)
            return s;
    return kSteps.back();
}

int ZoomOut(int percent) {
    for (auto it = kSteps.rbegin(); it != kSteps.rend(); ++it)
        if (*it < percent)
            return *it;
    return kSteps.front();
}

int ValidZoom(int percent) {
    return std::find(kSteps.begin(), kSteps.end(), percent) != kSteps.end() ? percent : kNormalZoom;
}

// ---------------------------------------------------------------- find

std::vector<Hit> FindAll(QStringView text, QStringView needle) {
    std::vector<Hit> hits;
    if (needle.isEmpty())
        return hits;
    const auto length = static_cast<int>(needle.size());
    for (qsizetype at = text.indexOf(needle, 0, Qt::CaseInsensitive); at >= 0;
         at = text.indexOf(needle, at + length, Qt::CaseInsensitive))
        hits.push_back({static_cast<int>(at), length});
    return hits;
}

int Step(int count, int current, bool forward) {
    if (count <= 0)
        return -1;
    if (current < 0 || current >= count)
        return forward ? 0 : count - 1;
    return (current + (forward ? 1 : count - 1)) % count;
}

int FirstFrom(const std::vector<Hit>& hits, int position) {
    if (hits.empty())
        return -1;
    const auto it = std::find_if(hits.begin(), hits.end(),
                                 [position](const Hit& h) { return h.start >= position; });
    return it == hits.end() ? 0 : static_cast<int>(it - hits.begin());
}

// ---------------------------------------------------------------- Delphi code

namespace {

bool isKeyword(QStringView word) {
    static const QSet<QString> words = [] {
        QSet<QString> s;
        for (const char* w : {"and",
                              "array",
                              "as",
                              "asm",
                              "begin",
                              "case",
                              "class",
                              "const",
                              "constructor",
                              "destructor",
                              "dispinterface",
                              "div",
                              "do",
                              "downto",
                              "else",
                              "end",
                              "except",
                              "exports",
                              "file",
                              "finalization",
                              "finally",
                              "for",
                              "function",
                              "goto",
                              "if",
                              "implementation",
                              "in",
                              "inherited",
                              "initialization",
                              "inline",
                              "interface",
                              "is",
                              "label",
                              "library",
                              "mod",
                              "nil",
                              "not",
                              "object",
                              "of",
                              "or",
                              "out",
                              "packed",
                              "procedure",
                              "program",
                              "property",
                              "raise",
                              "record",
                              "repeat",
                              "resourcestring",
                              "set",
                              "shl",
                              "shr",
                              "string",
                              "then",
                              "threadvar",
                              "to",
                              "try",
                              "type",
                              "unit",
                              "until",
                              "uses",
                              "var",
                              "while",
                              "with",
                              "xor",
                              "private",
                              "protected",
                              "public",
                              "published",
                              "override",
                              "virtual",
                              "overload",
                              "abstract",
                              "dynamic",
                              "reintroduce",
                              "stdcall",
                              "cdecl",
                              "safecall",
                              "forward",
                              "external"})
            s.insert(QString::fromLatin1(w));
        return s;
    }();
    return words.contains(word.toString().toLower());
}

bool isHex(QChar c) {
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}
bool isDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}
bool isWordStart(QChar c) {
    return c == u'_' || c.isLetter();
}
bool isWordPart(QChar c) {
    return c == u'_' || c.isLetterOrNumber();
}

} // namespace

std::vector<Span> Tokenize(QStringView line, CodeState& state) {
    std::vector<Span> spans;
    const auto n = static_cast<int>(line.size());
    int i = 0;
    auto add = [&spans](int start, int end, Token kind) {
        if (end > start)
            spans.push_back({start, end - start, kind});
    };
    // A comment or directive from start up to its closing text, or to the
    // end of the line, where the state carries it to the next.
    auto closeAt = [&](int start, int from, QStringView close, Token kind, CodeState open) {
        const auto end = line.indexOf(close, from);
        if (end < 0) {
            add(start, n, kind);
            state = open;
            i = n;
        } else {
            i = static_cast<int>(end + close.size());
            add(start, i, kind);
            state = CodeState::Normal;
        }
    };
    switch (state) {
    case CodeState::BraceComment:
        closeAt(0, 0, u"}", Token::Comment, state);
        break;
    case CodeState::ParenComment:
        closeAt(0, 0, u"*)", Token::Comment, state);
        break;
    case CodeState::BraceDirective:
        closeAt(0, 0, u"}", Token::Directive, state);
        break;
    case CodeState::ParenDirective:
        closeAt(0, 0, u"*)", Token::Directive, state);
        break;
    case CodeState::Normal:
        break;
    }
    while (i < n) {
        const QChar c = line[i];
        const QChar next = i + 1 < n ? line[i + 1] : QChar();
        const int start = i;
        if (c == u'/' && next == u'/') {
            add(start, n, Token::Comment);
            i = n;
        } else if (c == u'{') {
            if (next == u'$')
                closeAt(start, i + 1, u"}", Token::Directive, CodeState::BraceDirective);
            else
                closeAt(start, i + 1, u"}", Token::Comment, CodeState::BraceComment);
        } else if (c == u'(' && next == u'*') {
            if (i + 2 < n && line[i + 2] == u'$')
                closeAt(start, i + 2, u"*)", Token::Directive, CodeState::ParenDirective);
            else
                closeAt(start, i + 2, u"*)", Token::Comment, CodeState::ParenComment);
        } else if (c == u'\'') {
            // Two quotes in a row stand for one inside the string.
            ++i;
            while (i < n) {
                if (line[i] == u'\'') {
                    if (i + 1 < n && line[i + 1] == u'\'') {
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                ++i;
            }
            add(start, i, Token::String);
        } else if (c == u'#' &&
                   (isDigit(next) || (next == u'$' && i + 2 < n && isHex(line[i + 2])))) {
            // A character by its code: #13, #$0A.
            i += next == u'$' ? 2 : 1;
            while (i < n && isHex(line[i]))
                ++i;
            add(start, i, Token::String);
        } else if (c == u'$' && isHex(next)) {
            ++i;
            while (i < n && isHex(line[i]))
                ++i;
            add(start, i, Token::Number);
        } else if (isDigit(c)) {
            while (i < n && isDigit(line[i]))
                ++i;
            // A fraction, but not the ".." of a range such as 1..10.
            if (i + 1 < n && line[i] == u'.' && isDigit(line[i + 1])) {
                ++i;
                while (i < n && isDigit(line[i]))
                    ++i;
            }
            if (i < n && (line[i] == u'e' || line[i] == u'E')) {
                int j = i + 1;
                if (j < n && (line[j] == u'+' || line[j] == u'-'))
                    ++j;
                if (j < n && isDigit(line[j])) {
                    i = j;
                    while (i < n && isDigit(line[i]))
                        ++i;
                }
            }
            add(start, i, Token::Number);
        } else if (isWordStart(c)) {
            while (i < n && isWordPart(line[i]))
                ++i;
            // After a dot a word names a member, whatever it is called.
            const bool member = start > 0 && line[start - 1] == u'.';
            if (!member && isKeyword(line.mid(start, i - start)))
                add(start, i, Token::Keyword);
        } else {
            ++i;
        }
    }
    return spans;
}

} // namespace reading
