#include "Cp1251.h"

#include <algorithm>
#include <cerrno>
#include <iconv.h>

namespace text {
namespace {

// One converter per direction for the whole run: iconv_open is far dearer
// than a conversion of a title, and the tree load converts thousands.
class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {
        if (cd_ == reinterpret_cast<iconv_t>(-1))
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

} // namespace text
