#pragma once
// The widget boundary: the program's Windows-1251 bytes become QString only
// here, and back.

#include "Cp1251.h"

#include <QByteArray>
#include <QString>

namespace text {

inline QString toQ(std::string_view cp1251) {
    return QString::fromStdString(cp1251ToUtf8(cp1251));
}

inline std::string fromQ(const QString& s) {
    return utf8ToCp1251(s.toStdString());
}

} // namespace text
