// SPDX-License-Identifier: GPL-3.0-or-later

#include "HtmlText.h"

#include "components/text/Cp1251.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace fulltext {

namespace {

struct Entity {
    const char* name;
    char32_t codePoint;
};

// The named character references of HTML 4 and &apos;, sorted by name
// (case matters: &Eacute; and &eacute; differ).
constexpr Entity kEntities[] = {
    {"AElig", 0xC6},     {"Aacute", 0xC1},   {"Acirc", 0xC2},     {"Agrave", 0xC0},
    {"Alpha", 0x391},    {"Aring", 0xC5},    {"Atilde", 0xC3},    {"Auml", 0xC4},
    {"Beta", 0x392},     {"Ccedil", 0xC7},   {"Chi", 0x3A7},      {"Dagger", 0x2021},
    {"Delta", 0x394},    {"ETH", 0xD0},      {"Eacute", 0xC9},    {"Ecirc", 0xCA},
    {"Egrave", 0xC8},    {"Epsilon", 0x395}, {"Eta", 0x397},      {"Euml", 0xCB},
    {"Gamma", 0x393},    {"Iacute", 0xCD},   {"Icirc", 0xCE},     {"Igrave", 0xCC},
    {"Iota", 0x399},     {"Iuml", 0xCF},     {"Kappa", 0x39A},    {"Lambda", 0x39B},
    {"Mu", 0x39C},       {"Ntilde", 0xD1},   {"Nu", 0x39D},       {"OElig", 0x152},
    {"Oacute", 0xD3},    {"Ocirc", 0xD4},    {"Ograve", 0xD2},    {"Omega", 0x3A9},
    {"Omicron", 0x39F},  {"Oslash", 0xD8},   {"Otilde", 0xD5},    {"Ouml", 0xD6},
    {"Phi", 0x3A6},      {"Pi", 0x3A0},      {"Prime", 0x2033},   {"Psi", 0x3A8},
    {"Rho", 0x3A1},      {"Scaron", 0x160},  {"Sigma", 0x3A3},    {"THORN", 0xDE},
    {"Tau", 0x3A4},      {"Theta", 0x398},   {"Uacute", 0xDA},    {"Ucirc", 0xDB},
    {"Ugrave", 0xD9},    {"Upsilon", 0x3A5}, {"Uuml", 0xDC},      {"Xi", 0x39E},
    {"Yacute", 0xDD},    {"Yuml", 0x178},    {"Zeta", 0x396},     {"aacute", 0xE1},
    {"acirc", 0xE2},     {"acute", 0xB4},    {"aelig", 0xE6},     {"agrave", 0xE0},
    {"alefsym", 0x2135}, {"alpha", 0x3B1},   {"amp", 0x26},       {"and", 0x2227},
    {"ang", 0x2220},     {"apos", 0x27},     {"aring", 0xE5},     {"asymp", 0x2248},
    {"atilde", 0xE3},    {"auml", 0xE4},     {"bdquo", 0x201E},   {"beta", 0x3B2},
    {"brvbar", 0xA6},    {"bull", 0x2022},   {"cap", 0x2229},     {"ccedil", 0xE7},
    {"cedil", 0xB8},     {"cent", 0xA2},     {"chi", 0x3C7},      {"circ", 0x2C6},
    {"clubs", 0x2663},   {"cong", 0x2245},   {"copy", 0xA9},      {"crarr", 0x21B5},
    {"cup", 0x222A},     {"curren", 0xA4},   {"dArr", 0x21D3},    {"dagger", 0x2020},
    {"darr", 0x2193},    {"deg", 0xB0},      {"delta", 0x3B4},    {"diams", 0x2666},
    {"divide", 0xF7},    {"eacute", 0xE9},   {"ecirc", 0xEA},     {"egrave", 0xE8},
    {"empty", 0x2205},   {"emsp", 0x2003},   {"ensp", 0x2002},    {"epsilon", 0x3B5},
    {"equiv", 0x2261},   {"eta", 0x3B7},     {"eth", 0xF0},       {"euml", 0xEB},
    {"euro", 0x20AC},    {"exist", 0x2203},  {"fnof", 0x192},     {"forall", 0x2200},
    {"frac12", 0xBD},    {"frac14", 0xBC},   {"frac34", 0xBE},    {"frasl", 0x2044},
    {"gamma", 0x3B3},    {"ge", 0x2265},     {"gt", 0x3E},        {"hArr", 0x21D4},
    {"harr", 0x2194},    {"hearts", 0x2665}, {"hellip", 0x2026},  {"iacute", 0xED},
    {"icirc", 0xEE},     {"iexcl", 0xA1},    {"igrave", 0xEC},    {"image", 0x2111},
    {"infin", 0x221E},   {"int", 0x222B},    {"iota", 0x3B9},     {"iquest", 0xBF},
    {"isin", 0x2208},    {"iuml", 0xEF},     {"kappa", 0x3BA},    {"lArr", 0x21D0},
    {"lambda", 0x3BB},   {"lang", 0x2329},   {"laquo", 0xAB},     {"larr", 0x2190},
    {"lceil", 0x2308},   {"ldquo", 0x201C},  {"le", 0x2264},      {"lfloor", 0x230A},
    {"lowast", 0x2217},  {"loz", 0x25CA},    {"lrm", 0x200E},     {"lsaquo", 0x2039},
    {"lsquo", 0x2018},   {"lt", 0x3C},       {"macr", 0xAF},      {"mdash", 0x2014},
    {"micro", 0xB5},     {"middot", 0xB7},   {"minus", 0x2212},   {"mu", 0x3BC},
    {"nabla", 0x2207},   {"nbsp", 0xA0},     {"ndash", 0x2013},   {"ne", 0x2260},
    {"ni", 0x220B},      {"not", 0xAC},      {"notin", 0x2209},   {"nsub", 0x2284},
    {"ntilde", 0xF1},    {"nu", 0x3BD},      {"oacute", 0xF3},    {"ocirc", 0xF4},
    {"oelig", 0x153},    {"ograve", 0xF2},   {"oline", 0x203E},   {"omega", 0x3C9},
    {"omicron", 0x3BF},  {"oplus", 0x2295},  {"or", 0x2228},      {"ordf", 0xAA},
    {"ordm", 0xBA},      {"oslash", 0xF8},   {"otilde", 0xF5},    {"otimes", 0x2297},
    {"ouml", 0xF6},      {"para", 0xB6},     {"part", 0x2202},    {"permil", 0x2030},
    {"perp", 0x22A5},    {"phi", 0x3C6},     {"pi", 0x3C0},       {"piv", 0x3D6},
    {"plusmn", 0xB1},    {"pound", 0xA3},    {"prime", 0x2032},   {"prod", 0x220F},
    {"prop", 0x221D},    {"psi", 0x3C8},     {"quot", 0x22},      {"rArr", 0x21D2},
    {"radic", 0x221A},   {"rang", 0x232A},   {"raquo", 0xBB},     {"rarr", 0x2192},
    {"rceil", 0x2309},   {"rdquo", 0x201D},  {"real", 0x211C},    {"reg", 0xAE},
    {"rfloor", 0x230B},  {"rho", 0x3C1},     {"rlm", 0x200F},     {"rsaquo", 0x203A},
    {"rsquo", 0x2019},   {"sbquo", 0x201A},  {"scaron", 0x161},   {"sdot", 0x22C5},
    {"sect", 0xA7},      {"shy", 0xAD},      {"sigma", 0x3C3},    {"sigmaf", 0x3C2},
    {"sim", 0x223C},     {"spades", 0x2660}, {"sub", 0x2282},     {"sube", 0x2286},
    {"sum", 0x2211},     {"sup", 0x2283},    {"sup1", 0xB9},      {"sup2", 0xB2},
    {"sup3", 0xB3},      {"supe", 0x2287},   {"szlig", 0xDF},     {"tau", 0x3C4},
    {"there4", 0x2234},  {"theta", 0x3B8},   {"thetasym", 0x3D1}, {"thinsp", 0x2009},
    {"thorn", 0xFE},     {"tilde", 0x2DC},   {"times", 0xD7},     {"trade", 0x2122},
    {"uArr", 0x21D1},    {"uacute", 0xFA},   {"uarr", 0x2191},    {"ucirc", 0xFB},
    {"ugrave", 0xF9},    {"uml", 0xA8},      {"upsih", 0x3D2},    {"upsilon", 0x3C5},
    {"uuml", 0xFC},      {"weierp", 0x2118}, {"xi", 0x3BE},       {"yacute", 0xFD},
    {"yen", 0xA5},       {"yuml", 0xFF},     {"zeta", 0x3B6},     {"zwj", 0x200D},
    {"zwnj", 0x200C},
};

// Tags that flow inside a line of text: they join what stands around them
// (T<b>String</b>List is one word). Every other tag breaks words.
constexpr const char* kInlineTags[] = {
    "a",    "abbr",   "acronym", "b",   "bdo",  "big", "cite", "code", "dfn",
    "em",   "font",   "i",       "kbd", "nobr", "q",   "s",    "samp", "small",
    "span", "strike", "strong",  "sub", "sup",  "tt",  "u",    "var",
};

bool isAlpha(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
bool isSpace(unsigned char c) {
    return c <= 32;
}
char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string lowerAscii(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(), lower);
    return out;
}

const Entity* findEntity(std::string_view name) {
    auto it = std::lower_bound(
        std::begin(kEntities), std::end(kEntities), name,
        [](const Entity& e, std::string_view n) { return std::string_view(e.name) < n; });
    return it != std::end(kEntities) && std::string_view(it->name) == name ? it : nullptr;
}

// Collects the visible text: runs of blanks become one space, none at the
// start or the end.
class Output {
public:
    void space() { pendingSpace_ = !out_.empty(); }
    void codePoint(char32_t cp) {
        // No-break spaces separate words like any other blank; control
        // characters and the soft hyphen are not seen.
        if (cp == 0xA0 || cp <= 32) {
            space();
            return;
        }
        if (cp == 0xAD || cp == 0x7F)
            return;
        flush();
        text::appendUtf8(out_, cp);
    }
    void byte(unsigned char b) {
        if (isSpace(b) || b == 0xA0) {
            space();
            return;
        }
        if (b == 0xAD || b == 0x7F)
            return;
        flush();
        if (b < 0x80)
            out_ += static_cast<char>(b);
        else
            text::appendUtf8(out_, text::cp1251CodePoint(b));
    }
    std::string take() { return std::move(out_); }

private:
    void flush() {
        if (pendingSpace_)
            out_ += ' ';
        pendingSpace_ = false;
    }
    std::string out_;
    bool pendingSpace_ = false;
};

// The character reference at html[i] == '&'. Returns the bytes it takes and
// its code point, or 0 when the text there is no reference (then the '&' is
// text).
size_t reference(std::string_view html, size_t i, char32_t& cp) {
    size_t j = i + 1;
    if (j < html.size() && html[j] == '#') {
        ++j;
        const bool hex = j < html.size() && (html[j] == 'x' || html[j] == 'X');
        if (hex)
            ++j;
        const size_t digits = j;
        unsigned long value = 0;
        while (j < html.size() &&
               (isDigit(html[j]) || (hex && std::strchr("abcdefABCDEF", html[j])))) {
            const char c = html[j];
            const unsigned d = isDigit(c) ? c - '0' : (lower(c) - 'a' + 10);
            if (value <= 0x10FFFF)
                value = value * (hex ? 16 : 10) + d;
            ++j;
        }
        if (j == digits)
            return 0;
        if (j < html.size() && html[j] == ';')
            ++j;
        // Browsers read the C1 range of a numeric reference as Windows-1252;
        // the few that matter in articles are the quotes and dashes.
        if (value >= 0x80 && value <= 0x9F) {
            static constexpr char16_t kC1[32] = {
                0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD,
                0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};
            cp = kC1[value - 0x80];
        } else if (value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
            cp = 0xFFFD;
        } else {
            cp = static_cast<char32_t>(value);
        }
        return j - i;
    }
    while (j < html.size() && (isAlpha(html[j]) || isDigit(html[j])))
        ++j;
    const Entity* e = findEntity(html.substr(i + 1, j - i - 1));
    if (!e)
        return 0;
    if (j < html.size() && html[j] == ';')
        ++j;
    cp = e->codePoint;
    return j - i;
}

// The end of the tag that starts at html[i] == '<' (one past its '>', or the
// end of the text), skipping '>' inside quoted attribute values.
size_t tagEnd(std::string_view html, size_t i) {
    char quote = 0;
    for (size_t j = i + 1; j < html.size(); ++j) {
        const char c = html[j];
        if (quote) {
            if (c == quote)
                quote = 0;
        } else if (c == '"' || c == '\'') {
            // A quote opens a value only after '='; elsewhere it is a stray
            // character that must not swallow the rest of the page.
            size_t k = j;
            while (k > i && isSpace(static_cast<unsigned char>(html[k - 1])))
                --k;
            if (k > i && html[k - 1] == '=')
                quote = c;
        } else if (c == '>') {
            return j + 1;
        }
    }
    return html.size();
}

// Position of the closing tag </name ...> from i on, case-insensitively, or
// the end of the text.
size_t closingTag(std::string_view html, size_t i, const std::string& name) {
    for (size_t j = i; j + 2 + name.size() <= html.size(); ++j) {
        if (html[j] != '<' || html[j + 1] != '/')
            continue;
        if (lowerAscii(html.substr(j + 2, name.size())) != name)
            continue;
        const size_t after = j + 2 + name.size();
        if (after == html.size() || !isAlpha(html[after]))
            return j;
    }
    return html.size();
}

bool isInline(const std::string& name) {
    for (const char* t : kInlineTags)
        if (name == t)
            return true;
    return false;
}

} // namespace

std::string htmlToText(std::string_view html) {
    Output out;
    size_t i = 0;
    while (i < html.size()) {
        const char c = html[i];
        if (c == '<') {
            const char next = i + 1 < html.size() ? html[i + 1] : '\0';
            if (html.substr(i, 4) == "<!--") {
                const size_t end = html.find("-->", i + 4);
                i = end == std::string_view::npos ? html.size() : end + 3;
                out.space();
                continue;
            }
            if (!(isAlpha(next) || next == '/' || next == '!' || next == '?')) {
                out.byte('<'); // "a < b" is text
                ++i;
                continue;
            }
            const size_t nameStart = i + 1 + (next == '/' ? 1 : 0);
            size_t nameEnd = nameStart;
            while (nameEnd < html.size() && (isAlpha(html[nameEnd]) || isDigit(html[nameEnd])))
                ++nameEnd;
            const std::string name = lowerAscii(html.substr(nameStart, nameEnd - nameStart));
            i = tagEnd(html, i);
            if (next != '/' && (name == "script" || name == "style")) {
                const size_t close = closingTag(html, i, name);
                i = close == html.size() ? close : tagEnd(html, close);
            }
            if (!isInline(name))
                out.space();
            continue;
        }
        if (c == '&') {
            char32_t cp = 0;
            if (const size_t n = reference(html, i, cp)) {
                out.codePoint(cp);
                i += n;
                continue;
            }
        }
        out.byte(static_cast<unsigned char>(c));
        ++i;
    }
    return out.take();
}

} // namespace fulltext
