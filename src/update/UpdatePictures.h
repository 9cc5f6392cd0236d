// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// The 64 x 64 pictures of the wait and download windows, drawn by the
// program itself on a transparent background.

#include <QPixmap>

namespace update {

QPixmap waitPicture();     // an hourglass
QPixmap downloadPicture(); // a globe with an arrow down into a tray

} // namespace update
