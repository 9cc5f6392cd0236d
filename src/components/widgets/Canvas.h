// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// The program's own pictures, SVG files among its resources (src/icons),
// drawn on transparent pixmaps made for the screen's device pixel ratio: at
// 200 % a 16 x 16 picture has 32 x 32 pixels and is drawn as sharply as at
// 100 %, instead of being a small bitmap blown up.

#include <QIcon>
#include <QPixmap>
#include <QSize>
#include <QString>

namespace ui {

// The ratio the pictures are made for: the highest of the screens, so that
// none of them shows a picture scaled up.
qreal pictureRatio();

// A transparent pixmap of `logical` size (in the units the widgets lay out
// in) at `ratio` (pictureRatio() when 0). A QPainter on it draws in logical
// units; the pixels are logical × ratio.
QPixmap canvas(QSize logical, qreal ratio = 0);

// The picture in the SVG resource `file` (":/icons/…"), drawn to fill a
// canvas(logical, ratio). A missing or broken file gives a blank canvas.
QPixmap picture(const QString& file, QSize logical, qreal ratio = 0);

// The same picture as an icon of any square size, drawn when a size is
// first asked for: icons are made at start-up but seen only when a menu
// opens.
QIcon pictureIcon(const QString& file);

} // namespace ui
