// SPDX-License-Identifier: GPL-3.0-or-later

#include "Cp1251Utf8.h"

#include <algorithm>
#include <array>

namespace fulltext {

namespace {

// 0x80..0xBF; 0xC0..0xFF are U+0410..U+044F in order.
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

// The UTF-8 of every byte (at most three bytes), made once; the
// initialisation of a local static is safe against threads.
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

int reverse(char32_t cp) {
    if (cp < 0x80)
        return static_cast<int>(cp);
    if (cp >= 0x0410 && cp <= 0x044F)
        return static_cast<int>(cp - 0x0410 + 0xC0);
    for (int i = 0; i < 64; ++i)
        if (kHigh[i] == cp && cp != 0xFFFD)
            return 0x80 + i;
    return -1;
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

std::string toUtf8(std::string_view cp1251) {
    // Every snippet's text passes here: written through a pointer into room
    // for the longest case, not appended piece by piece.
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

std::string toCp1251(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    size_t i = 0;
    while (i < utf8.size()) {
        const unsigned char lead = static_cast<unsigned char>(utf8[i]);
        char32_t cp;
        size_t len;
        if (lead < 0x80) {
            cp = lead;
            len = 1;
        } else if ((lead & 0xE0) == 0xC0) {
            cp = lead & 0x1F;
            len = 2;
        } else if ((lead & 0xF0) == 0xE0) {
            cp = lead & 0x0F;
            len = 3;
        } else if ((lead & 0xF8) == 0xF0) {
            cp = lead & 0x07;
            len = 4;
        } else {
            out += '?';
            ++i;
            continue;
        }
        bool ok = i + len <= utf8.size();
        for (size_t k = 1; ok && k < len; ++k) {
            const unsigned char c = static_cast<unsigned char>(utf8[i + k]);
            if ((c & 0xC0) != 0x80)
                ok = false;
            else
                cp = (cp << 6) | (c & 0x3F);
        }
        if (!ok) {
            out += '?';
            ++i;
            continue;
        }
        const int b = reverse(cp);
        out += b < 0 ? '?' : static_cast<char>(b);
        i += len;
    }
    return out;
}

} // namespace fulltext
