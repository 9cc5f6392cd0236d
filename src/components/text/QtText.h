// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// The widget boundary: the program's Windows-1251 bytes become QString only
// here, and back.

#include "Cp1251.h"

#include <QByteArray>
#include <QString>

#include <array>

namespace text {

namespace detail {
// Every Windows-1251 byte's UTF-16 unit (all of them are in the BMP), so
// that the hot direction (names in lists and trees, whole article pages) is
// one table look-up a byte.
inline const std::array<char16_t, 256>& cp1251Units() {
    static const std::array<char16_t, 256> units = [] {
        std::array<char16_t, 256> t{};
        for (int b = 0; b < 256; ++b)
            t[static_cast<size_t>(b)] =
                static_cast<char16_t>(cp1251CodePoint(static_cast<unsigned char>(b)));
        return t;
    }();
    return units;
}
} // namespace detail

inline QString toQ(std::string_view cp1251) {
    const auto& units = detail::cp1251Units();
    QString out(static_cast<qsizetype>(cp1251.size()), Qt::Uninitialized);
    QChar* d = out.data();
    for (unsigned char b : cp1251)
        *d++ = QChar(units[b]);
    return out;
}

inline std::string fromQ(const QString& s) {
    return utf8ToCp1251(s.toStdString());
}

} // namespace text
