// SPDX-License-Identifier: GPL-3.0-or-later

#include "Cp1251.h"

#include <iconv.h>
#include <langinfo.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

namespace text {
namespace {

// One converter per direction for the whole run: iconv_open is far dearer
// than a conversion of a title, and the tree load converts thousands.
class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {
        if (reinterpret_cast<std::intptr_t>(cd_) == -1)
            throw ConversionError(std::string("iconv cannot convert ") + from + " to " + to);
    }
    ~Converter() { iconv_close(cd_); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts the longest prefix it can; returns the number of input bytes used.
    size_t run(std::string_view in, std::string& out) {
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        char* src = const_cast<char*>(in.data());
        size_t srcLeft = in.size();
        char buf[4096];
        while (srcLeft > 0) {
            char* dst = buf;
            size_t dstLeft = sizeof buf;
            size_t rc = iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
            out.append(buf, dst);
            if (rc == static_cast<size_t>(-1) && errno != E2BIG)
                break;
        }
        return in.size() - srcLeft;
    }

private:
    iconv_t cd_;
};

size_t utf8SequenceLength(unsigned char lead) {
    if (lead < 0x80)
        return 1;
    if ((lead & 0xE0) == 0xC0)
        return 2;
    if ((lead & 0xF0) == 0xE0)
        return 3;
    if ((lead & 0xF8) == 0xF0)
        return 4;
    return 1;
}

} // namespace

std::string cp1251ToUtf8(std::string_view cp1251) {
    static Converter conv("UTF-8", "WINDOWS-1251");
    std::string out;
    out.reserve(cp1251.size() * 2);
    size_t pos = 0;
    while (pos < cp1251.size()) {
        pos += conv.run(cp1251.substr(pos), out);
        if (pos < cp1251.size()) {
            out += "\xEF\xBF\xBD";
            ++pos;
        }
    }
    return out;
}

std::string utf8ToCp1251(std::string_view utf8, bool strict) {
    static Converter conv("WINDOWS-1251", "UTF-8");
    std::string out;
    out.reserve(utf8.size());
    size_t pos = 0;
    while (pos < utf8.size()) {
        pos += conv.run(utf8.substr(pos), out);
        if (pos < utf8.size()) {
            if (strict)
                throw ConversionError("text at byte " + std::to_string(pos) +
                                      " has no Windows-1251 form or is not UTF-8");
            out += '?';
            pos += std::min(utf8SequenceLength(static_cast<unsigned char>(utf8[pos])),
                            utf8.size() - pos);
        }
    }
    return out;
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
    // lacks becomes '?' the same way. Error texts are rare: a converter of
    // their own costs nothing worth keeping one for, and is safe on any thread.
    iconv_t cd = iconv_open("UTF-8", codeset.c_str());
    if (reinterpret_cast<std::intptr_t>(cd) == -1) {
        // An unknown codeset: ASCII is all that can be trusted.
        std::string out(localeText);
        for (char& c : out)
            if (static_cast<unsigned char>(c) >= 0x80)
                c = '?';
        return out;
    }
    std::string utf8;
    char* src = const_cast<char*>(localeText.data());
    size_t srcLeft = localeText.size();
    char buf[1024];
    while (srcLeft > 0) {
        char* dst = buf;
        size_t dstLeft = sizeof buf;
        const size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        utf8.append(buf, dst);
        if (rc == static_cast<size_t>(-1) && errno != E2BIG) {
            // A byte the codeset does not know.
            utf8 += '?';
            ++src;
            --srcLeft;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    iconv_close(cd);
    return utf8ToCp1251(utf8);
}

std::string systemError(int errnum) {
    char buffer[256] = {};
    const char* text = errorText(strerror_r(errnum, buffer, sizeof buffer), buffer);
    return fromLocale(text ? text : ("errno " + std::to_string(errnum)).c_str());
}

} // namespace text
