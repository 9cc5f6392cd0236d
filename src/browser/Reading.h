// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// What makes the browser's pages easier to read, without a window: the
// history of pages shown, the zoom steps, the finding of a text in a page
// and the tokens of Delphi code for its colouring.

#include <QString>
#include <QStringView>

#include <cstddef>
#include <vector>

namespace reading {

// ---------------------------------------------------------------- history

// A page of the browser: the tree node it belongs to, as the row of each
// level from the top (the tree never changes while its window lives, and
// two nodes may carry the same name), with how far it was scrolled.
struct Page {
    std::vector<int> node;
    int scroll = 0;
};

// Back and forward between the pages shown, as a web browser has them:
// going to a new page drops the pages ahead of the current one.
class History {
public:
    // The page is shown. Showing the current page again adds nothing.
    void Visit(std::vector<int> node);
    bool CanBack() const { return at_ > 0; }
    bool CanForward() const { return at_ + 1 < pages_.size(); }
    // Steps back or forward and returns the page to show; null when there
    // is none that way.
    const Page* Back();
    const Page* Forward();
    // The page shown; null before the first.
    const Page* Current() const { return pages_.empty() ? nullptr : &pages_[at_]; }
    // Remembers how far the current page is scrolled, for coming back to it.
    void SetScroll(int scroll);
    std::size_t Size() const { return pages_.size(); }

    // The oldest pages go beyond this many.
    static constexpr std::size_t kLimit = 200;

private:
    std::vector<Page> pages_;
    std::size_t at_ = 0;
};

// ---------------------------------------------------------------- zoom

// The page text's scale in percent: the steps of zooming in and out, and
// the level that a stored value gives (100 for one that is no step).
int ZoomIn(int percent);
int ZoomOut(int percent);
int ValidZoom(int percent);
constexpr int kNormalZoom = 100;

// ---------------------------------------------------------------- find

// A stretch of a text: where it starts and how long it is.
struct Hit {
    int start = 0;
    int length = 0;
};

// Every occurrence of needle in text in any case, Cyrillic letters included
// ("Ё" finds "ё" but not "е"), left to right, not overlapping. None for an
// empty needle.
std::vector<Hit> FindAll(QStringView text, QStringView needle);

// The hit to go to from the one at index current (-1 for none) going
// forward or back, round from the last to the first and back; -1 when there
// are no hits.
int Step(int count, int current, bool forward);

// The first hit that starts at or after position, or the first of all when
// none does; -1 when there are no hits.
int FirstFrom(const std::vector<Hit>& hits, int position);

// ---------------------------------------------------------------- Delphi code

enum class Token { Plain, Keyword, String, Comment, Number, Directive };

struct Span {
    int start = 0;
    int length = 0;
    Token kind = Token::Plain;
};

// The states a line of code may end in: inside a comment that goes on.
enum class CodeState {
    Normal = 0,
    BraceComment = 1,
    ParenComment = 2,
    BraceDirective = 3,
    ParenDirective = 4
};

// The coloured stretches of one line of Delphi code (plain text between them
// is left out), given the state the line before ended in; state is updated
// to the state this line ends in.
std::vector<Span> Tokenize(QStringView line, CodeState& state);

} // namespace reading
