// SPDX-License-Identifier: GPL-3.0-or-later

#include "Texts.h"

#include <algorithm>
#include <cstdint>

QString FileCountText(int n) {
    const QString number = QString::number(n);
    const QChar last = number.back();
    const char* ending = "ов";
    if (last == QLatin1Char('1'))
        ending = "";
    else if (last >= QLatin1Char('2') && last <= QLatin1Char('4'))
        ending = "а";
    return number + QString::fromUtf8(" файл") + QString::fromUtf8(ending);
}

namespace update {

int TransferPercent(uint32_t position, uint32_t total) {
    if (total == 0)
        return -1;
    const uint64_t percent = uint64_t(position) * 100 / total;
    return static_cast<int>(std::min<uint64_t>(percent, INT32_MAX));
}

QString TransferText(uint32_t position, uint32_t total) {
    return QString::fromUtf8("Прочтено %1 из %2").arg(position).arg(total);
}

} // namespace update
