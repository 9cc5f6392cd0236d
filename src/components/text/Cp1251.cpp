// SPDX-License-Identifier: GPL-3.0-or-later

#include "Cp1251.h"

#include <iconv.h>
#include <langinfo.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>

namespace text {
namespace {

// 0x80..0xBF; 0xC0..0xFF are U+0410..U+044F in order, below 0x80 ASCII.
constexpr char16_t kHigh[64] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, // 80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F, // 88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 90
    0xFFFD, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, // 98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, // A0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, // A8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7, // B0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457, // B8
};

// The UTF-8 of every byte (at most three bytes), made once; a local
// static's initialisation is safe against threads, and the table is only
// read afterwards, so the index build and the windows may convert at once.
struct Table {
    std::array<std::array<char, 3>, 256> utf8{};
    std::array<unsigned char, 256> length{};
    Table() {
        for (int b = 0; b < 256; ++b) {
            std::string s;
            appendUtf8(s, cp1251CodePoint(static_cast<unsigned char>(b)));
            std::copy(s.begin(), s.end(), utf8[static_cast<size_t>(b)].begin());
            length[static_cast<size_t>(b)] = static_cast<unsigned char>(s.size());
        }
    }
};

const Table& table() {
    static const Table t;
    return t;
}

// The Windows-1251 byte of a code point, or -1.
int byteOf(char32_t cp) {
    if (cp < 0x80)
        return static_cast<int>(cp);
    if (cp >= 0x0410 && cp <= 0x044F)
        return static_cast<int>(cp - 0x0410 + 0xC0);
    if (cp == 0xFFFD)
        return -1;
    if (cp == 0x98)
        return 0x98;
    for (int i = 0; i < 64; ++i)
        if (kHigh[i] == cp)
            return 0x80 + i;
    return -1;
}

// Decodes one UTF-8 sequence at in[pos]; returns its length and sets cp, or
// returns 0 for a malformed one (overlong forms, surrogates and values past
// U+10FFFF included).
size_t decodeUtf8(std::string_view in, size_t pos, char32_t& cp) {
    const unsigned char lead = static_cast<unsigned char>(in[pos]);
    size_t len;
    char32_t min;
    if (lead < 0x80) {
        cp = lead;
        return 1;
    }
    if ((lead & 0xE0) == 0xC0) {
        cp = lead & 0x1F;
        len = 2;
        min = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        cp = lead & 0x0F;
        len = 3;
        min = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        cp = lead & 0x07;
        len = 4;
        min = 0x10000;
    } else {
        return 0;
    }
    if (pos + len > in.size())
        return 0;
    for (size_t k = 1; k < len; ++k) {
        const unsigned char c = static_cast<unsigned char>(in[pos + k]);
        if ((c & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (c & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return len;
}

} // namespace

char32_t cp1251CodePoint(unsigned char byte) {
    if (byte < 0x80)
        return byte;
    if (byte >= 0xC0)
        return 0x0410 + (byte - 0xC0);
    return kHigh[byte - 0x80];
}

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::string cp1251ToUtf8(std::string_view cp1251) {
    // Whole article pages pass here: written through a pointer into room for
    // the longest case, not appended piece by piece.
    const Table& t = table();
    std::string out(cp1251.size() * 3, '\0');
    char* o = out.data();
    for (unsigned char b : cp1251) {
        if (b < 0x80) {
            *o++ = static_cast<char>(b);
        } else {
            const auto& u = t.utf8[b];
            o[0] = u[0];
            o[1] = u[1];
            o[2] = u[2];
            o += t.length[b];
        }
    }
    out.resize(static_cast<size_t>(o - out.data()));
    return out;
}

std::string utf8ToCp1251(std::string_view utf8, bool strict) {
    std::string out;
    out.reserve(utf8.size());
    size_t pos = 0;
    while (pos < utf8.size()) {
        char32_t cp = 0;
        const size_t len = decodeUtf8(utf8, pos, cp);
        const int b = len ? byteOf(cp) : -1;
        if (b >= 0) {
            out += static_cast<char>(b);
            pos += len;
            continue;
        }
        if (strict)
            throw ConversionError("text at byte " + std::to_string(pos) +
                                  " has no Windows-1251 form or is not UTF-8");
        out += '?';
        if (len) {
            pos += len;
        } else {
            // A malformed sequence: its lead and the continuation bytes that
            // follow it, but never a byte that could start the next character.
            ++pos;
            while (pos < utf8.size() && (static_cast<unsigned char>(utf8[pos]) & 0xC0) == 0x80)
                ++pos;
        }
    }
    return out;
}

std::string utf8ToCp1251Html(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    size_t pos = 0;
    while (pos < utf8.size()) {
        char32_t cp = 0;
        const size_t len = decodeUtf8(utf8, pos, cp);
        if (len == 0) {
            out += "&#65533;";
            ++pos;
            while (pos < utf8.size() && (static_cast<unsigned char>(utf8[pos]) & 0xC0) == 0x80)
                ++pos;
            continue;
        }
        const int b = byteOf(cp);
        if (b >= 0)
            out += static_cast<char>(b);
        else
            out += "&#" + std::to_string(static_cast<uint32_t>(cp)) + ";";
        pos += len;
    }
    return out;
}

bool isUtf8(std::string_view bytes) {
    size_t pos = 0;
    while (pos < bytes.size()) {
        char32_t cp = 0;
        const size_t len = decodeUtf8(bytes, pos, cp);
        if (len == 0)
            return false;
        pos += len;
    }
    return true;
}

std::string cp1251ToUtf8Reversible(std::string_view cp1251) {
    std::string out;
    for (size_t from = 0;;) {
        const size_t at = cp1251.find('\x98', from);
        out += cp1251ToUtf8(cp1251.substr(from, at == std::string_view::npos ? at : at - from));
        if (at == std::string_view::npos)
            return out;
        out += "\xC2\x98";
        from = at + 1;
    }
}

namespace {

// strerror_r comes in two forms; either way the result is the text.
[[maybe_unused]] const char* errorText(int rc, const char* buffer) {
    return rc == 0 ? buffer : nullptr;
}
[[maybe_unused]] const char* errorText(const char* text, const char*) {
    return text;
}

} // namespace

std::string fromLocale(std::string_view localeText) {
    const std::string codeset = nl_langinfo(CODESET);
    if (codeset == "UTF-8")
        return utf8ToCp1251(localeText);
    if (codeset == "CP1251" || codeset == "WINDOWS-1251")
        return std::string(localeText);
    // Any other codeset goes by way of UTF-8, so that what Windows-1251
    // lacks becomes '?' the same way.
    if (const std::optional<std::string> utf8 = charsetToUtf8(codeset, localeText, "?"))
        return utf8ToCp1251(*utf8);
    // An unknown codeset: ASCII is all that can be trusted.
    std::string out(localeText);
    for (char& c : out)
        if (static_cast<unsigned char>(c) >= 0x80)
            c = '?';
    return out;
}

std::optional<std::string> charsetToUtf8(const std::string& charset, std::string_view bytes,
                                         std::string_view bad) {
    // A converter of its own each time: safe on any thread, and the texts
    // converted (error texts, pages in old charsets) are few.
    iconv_t cd = iconv_open("UTF-8", charset.c_str());
    if (reinterpret_cast<std::intptr_t>(cd) == -1)
        return std::nullopt;
    std::string utf8;
    std::string input(bytes);
    char* src = input.data();
    size_t srcLeft = input.size();
    char buf[4096];
    while (srcLeft > 0) {
        char* dst = buf;
        size_t dstLeft = sizeof buf;
        const size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        utf8.append(buf, dst);
        if (rc != static_cast<size_t>(-1) || errno == E2BIG)
            continue;
        // An invalid or cut-off sequence: mark it and step over one byte.
        utf8 += bad;
        ++src;
        --srcLeft;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    char* dst = buf;
    size_t dstLeft = sizeof buf;
    iconv(cd, nullptr, nullptr, &dst, &dstLeft);
    utf8.append(buf, dst);
    iconv_close(cd);
    return utf8;
}

std::string systemError(int errnum) {
    char buffer[256] = {};
    const char* text = errorText(strerror_r(errnum, buffer, sizeof buffer), buffer);
    return fromLocale(text ? text : ("errno " + std::to_string(errnum)).c_str());
}

} // namespace text
