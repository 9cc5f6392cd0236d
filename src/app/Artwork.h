// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// The pictures of the splash and about windows: the emblem and the splash's
// ground from src/icons/artwork, the splash's texts in the fonts at hand.

#include <QPixmap>

namespace artwork {

// 512 x 256; the right half below the title is left quiet for the
// "Загрузка" line drawn over it at 296, 176.
QPixmap splashPicture();

// 64 x 64.
QPixmap logoPicture();

} // namespace artwork
