// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// Small byte-string helpers shared by every layer: the program's texts are
// Windows-1251 bytes, and a "blank" is any code up to the space.

#include "Cp1251.h"

#include <string>
#include <string_view>

namespace text {

inline bool isBlank(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

// True when s holds nothing but blanks (or nothing at all).
inline bool allBlank(std::string_view s) {
    for (char c : s)
        if (!isBlank(c))
            return false;
    return true;
}

// s without its leading and trailing blanks.
inline std::string_view trimmed(std::string_view s) {
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

// A UTF-8 literal of our sources as Windows-1251 bytes. Our literals always
// fit the code page; one that does not is a programming error and throws.
inline std::string cp(std::string_view utf8) {
    return utf8ToCp1251(utf8, true);
}

} // namespace text
