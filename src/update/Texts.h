// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// The update windows' counts and figures as text, without a window.

#include <QString>

#include <cstdint>

// n, then " файл" with the ending its last decimal digit asks for:
// 1 файл, 2 файла, 5 файлов, 11 файл, 12 файла, 0 файлов.
QString FileCountText(int n);

namespace update {

// position × 100 / total, or -1 when total is 0. Worked out in 64 bits, so a
// transfer over 42 MB still shows the right figure.
int TransferPercent(uint32_t position, uint32_t total);

QString TransferText(uint32_t position, uint32_t total);

} // namespace update
