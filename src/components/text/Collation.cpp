// SPDX-License-Identifier: GPL-3.0-or-later

#include "Collation.h"

#include <QLocale>

namespace text {

QCollator listCollator() {
    QCollator c{QLocale()};
    c.setCaseSensitivity(Qt::CaseSensitive);
    c.setIgnorePunctuation(false);
    c.setNumericMode(false);
    return c;
}

} // namespace text
