// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// Transparent pixmaps to draw the program's own pictures on, made for the
// screen's device pixel ratio: at 200 % a 16 x 16 picture has 32 x 32 pixels
// and is drawn as sharply as at 100 %, instead of being a small bitmap
// blown up.

#include <QPixmap>
#include <QSize>

namespace ui {

// The ratio the pictures are made for: the highest of the screens, so that
// none of them shows a picture scaled up.
qreal pictureRatio();

// A transparent pixmap of `logical` size (in the units the widgets lay out
// in) at `ratio` (pictureRatio() when 0). A QPainter on it draws in logical
// units; the pixels are logical × ratio.
QPixmap canvas(QSize logical, qreal ratio = 0);

} // namespace ui
