// SPDX-License-Identifier: GPL-3.0-or-later

// The fragment of a hit's text that the result list shows.
//
// The list's column is narrow: a fragment must begin near a matched word,
// not merely contain one somewhere along its length, so it is cut here
// rather than by Xapian's snippet, which may leave the words found at the
// far end of the fragment or, on a long page, outside it.

#include "Analysis.h"

#include <algorithm>
#include <map>
#include <unordered_set>

namespace fulltext::detail {

namespace {

// How long a fragment is, and how much of it may come before the first
// matched word, in characters.
constexpr size_t kFragmentLength = 160;
constexpr size_t kLead = 20;
// The stretch in which the fragment looks for as many of the query's terms
// as it can show together.
constexpr size_t kSpan = 120;

const char* const kEllipsis = "\xE2\x80\xA6";

// "ё" stems as "е": a word and a term are compared by their first letters
// with that folded, before the dearer comparison of the whole word.
unsigned firstLetter(unsigned ch) {
    ch = Xapian::Unicode::tolower(ch);
    return ch == 0x451 ? 0x435 : ch;
}

struct Word {
    size_t begin = 0; // in bytes
    size_t end = 0;
    size_t at = 0; // in characters
    size_t length = 0;
};

struct Match {
    size_t word = 0;
    int term = 0;
};

} // namespace

Fragment fragment(const std::string& text, const std::vector<std::string>& terms,
                  const Xapian::Stem& stemmer) {
    // The terms as the index makes them: the word as written, or its stem
    // after "Z". Their first letters sift the words cheaply.
    std::map<std::string, int> termIds;
    std::unordered_set<unsigned> firsts;
    for (const std::string& t : terms) {
        const bool stem = !t.empty() && t[0] == 'Z';
        const std::string word = stem ? t.substr(1) : t;
        if (word.empty())
            continue;
        termIds.try_emplace(t, static_cast<int>(termIds.size()));
        firsts.insert(firstLetter(*Xapian::Utf8Iterator(word)));
    }

    std::vector<Word> words;
    std::vector<Match> matches;
    // Where each term was last seen: once a stretch holds them all, the
    // scan goes on only for the words of the fragment.
    std::map<int, size_t> lastSeen;
    size_t stopAt = std::string::npos;
    size_t chars = 0;
    const Xapian::Utf8Iterator end;
    for (Xapian::Utf8Iterator it(text); it != end && chars <= stopAt;) {
        if (!Xapian::Unicode::is_wordchar(*it)) {
            ++it, ++chars;
            continue;
        }
        Word w;
        w.begin = it.raw() - text.data();
        w.at = chars;
        const unsigned first = *it;
        while (it != end && Xapian::Unicode::is_wordchar(*it))
            ++it, ++chars;
        w.end = it.raw() - text.data();
        w.length = chars - w.at;
        words.push_back(w);
        if (!firsts.count(firstLetter(first)))
            continue;
        const std::string lower = Xapian::Unicode::tolower(text.substr(w.begin, w.end - w.begin));
        auto term = termIds.find(lower);
        if (term == termIds.end())
            term = termIds.find("Z" + stemmer(lower));
        if (term == termIds.end())
            continue;
        matches.push_back({words.size() - 1, term->second});
        lastSeen[term->second] = w.at;
        if (stopAt == std::string::npos && lastSeen.size() == termIds.size()) {
            size_t first = w.at;
            for (const auto& seen : lastSeen)
                first = std::min(first, seen.second);
            if (w.at < first + kSpan)
                stopAt = w.at + kSpan + kFragmentLength;
        }
    }

    // The earliest stretch with the most different terms.
    size_t chosen = 0;
    if (!matches.empty()) {
        std::map<int, int> inSpan;
        size_t best = 0;
        size_t last = 0;
        for (size_t first = 0; first < matches.size(); ++first) {
            while (last < matches.size() &&
                   words[matches[last].word].at < words[matches[first].word].at + kSpan)
                ++inSpan[matches[last++].term];
            if (inSpan.size() > best) {
                best = inSpan.size();
                chosen = matches[first].word;
            }
            if (--inSpan[matches[first].term] == 0)
                inSpan.erase(matches[first].term);
        }
    }

    if (words.empty())
        return {};
    // A few words before it, whole words to the end.
    size_t from = chosen;
    if (words[chosen].at <= kLead)
        from = 0;
    else
        while (from > 0 && words[chosen].at - words[from - 1].at <= kLead)
            --from;
    size_t to = from + 1;
    while (to < words.size() && words[to].at + words[to].length <= words[from].at + kFragmentLength)
        ++to;

    Fragment shown;
    std::string& out = shown.text;
    const size_t begin = from == 0 ? 0 : words[from].begin;
    size_t stop = to == words.size() ? text.size() : words[to - 1].end;
    // With what closes the last word: a full stop, a bracket, a semicolon.
    for (int k = 0; k < 3 && stop < text.size(); ++k) {
        const auto c = static_cast<unsigned char>(text[stop]);
        if (c >= 0x80 || c <= ' ')
            break;
        ++stop;
    }
    if (begin > 0)
        out += kEllipsis;
    // The matched words of the fragment, by their bytes in the text; the
    // marks count the characters written, blanks folded as they are.
    auto match = std::find_if(matches.begin(), matches.end(),
                              [&](const Match& m) { return words[m.word].begin >= begin; });
    size_t written = begin > 0 ? 1 : 0;
    bool blank = false;
    for (size_t i = begin; i < stop; ++i) {
        const char c = text[i];
        if (c == ' ' || c == '\n' || c == '\r' || c == '\t') {
            blank = true;
            continue;
        }
        if (blank && !out.empty() && out != kEllipsis) {
            out += ' ';
            ++written;
        }
        blank = false;
        if (match != matches.end() && words[match->word].begin == i)
            shown.marks.push_back({written, written});
        out += c;
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80)
            ++written;
        if (match != matches.end() && words[match->word].end == i + 1) {
            shown.marks.back().end = written;
            ++match;
        }
    }
    // A word cut by the end of the fragment is not marked.
    if (!shown.marks.empty() && shown.marks.back().end == shown.marks.back().begin)
        shown.marks.pop_back();
    if (stop < text.size())
        out += kEllipsis;
    return shown;
}

} // namespace fulltext::detail
