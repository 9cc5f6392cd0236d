// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// Conversion between the Windows-1251 bytes that the program stores and
// exchanges everywhere, and UTF-8 (source files, the terminal, Qt), and of
// the C library's own texts into Windows-1251.

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace text {

struct ConversionError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The Unicode code point of a Windows-1251 byte; the one unassigned byte
// (0x98) gives U+FFFD.
char32_t cp1251CodePoint(unsigned char byte);

// Appends a code point's UTF-8.
void appendUtf8(std::string& out, char32_t codePoint);

// Windows-1251 -> UTF-8. Every byte value is accepted; the one unassigned
// code (0x98) becomes U+FFFD.
std::string cp1251ToUtf8(std::string_view cp1251);

// UTF-8 -> Windows-1251. U+0098 gives the unassigned byte 0x98 (the
// reversible form above). With strict, a character that the code page lacks
// or malformed UTF-8 throws ConversionError naming the offset; otherwise it
// becomes '?' (a malformed sequence one '?' for its lead and continuation
// bytes). Both directions are tables of this file, safe on any thread.
std::string utf8ToCp1251(std::string_view utf8, bool strict = false);

// UTF-8 -> Windows-1251 for HTML: a character that the code page lacks
// becomes its numeric reference (&#8364; for the euro sign), so nothing is
// lost; a malformed sequence becomes &#65533;.
std::string utf8ToCp1251Html(std::string_view utf8);

// True when the bytes are well-formed UTF-8 throughout.
bool isUtf8(std::string_view bytes);

// Windows-1251 -> UTF-8 that utf8ToCp1251 turns back into the same bytes,
// even strictly: the unassigned 0x98 becomes U+0098 rather than U+FFFD.
std::string cp1251ToUtf8Reversible(std::string_view cp1251);

// A text of the C library or of a library that uses it (strerror,
// gai_strerror, libzip's and libcurl's messages), which is in the codeset of
// the current locale (LC_CTYPE), as Windows-1251: the form every error text
// of the program has. A character the code page lacks becomes '?'. Qt's texts
// (errorString()) are QStrings and go through fromQ instead.
std::string fromLocale(std::string_view localeText);

// bytes in charset, any iconv knows, as UTF-8: each byte that does not
// convert becomes bad and the rest goes on. Empty when iconv does not know
// the name.
std::optional<std::string> charsetToUtf8(const std::string& charset, std::string_view bytes,
                                         std::string_view bad = "\xEF\xBF\xBD");

// The C library's description of an errno value, as Windows-1251.
std::string systemError(int errnum);

} // namespace text
