// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// The pictures of the update windows (src/icons/update), on a transparent
// background.

#include <QIcon>
#include <QPixmap>

namespace update {

QPixmap waitPicture();     // an hourglass
QPixmap downloadPicture(); // a globe with an arrow down into a tray
QIcon loadIcon();          // 16 x 16, an arrow down into a tray

} // namespace update
