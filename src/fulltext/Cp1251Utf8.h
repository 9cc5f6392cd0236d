// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// Windows-1251 <-> UTF-8 for the index, by a fixed table rather than the
// program's shared converter, so that an index build on a worker thread and
// the windows on the GUI thread never share conversion state.

#include <string>
#include <string_view>

namespace fulltext {

// The Unicode code point of a Windows-1251 byte; the one unassigned byte
// (0x98) gives U+FFFD.
char32_t cp1251CodePoint(unsigned char byte);

void appendUtf8(std::string& out, char32_t codePoint);

std::string toUtf8(std::string_view cp1251);

// Characters the code page lacks, and malformed UTF-8, become '?'.
std::string toCp1251(std::string_view utf8);

} // namespace fulltext
