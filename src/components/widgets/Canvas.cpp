// SPDX-License-Identifier: GPL-3.0-or-later

#include "Canvas.h"

#include <QGuiApplication>

#include <cmath>

namespace ui {

qreal pictureRatio() {
    return qGuiApp ? qGuiApp->devicePixelRatio() : 1.0;
}

QPixmap canvas(QSize logical, qreal ratio) {
    if (ratio <= 0)
        ratio = pictureRatio();
    QPixmap pm(static_cast<int>(std::ceil(logical.width() * ratio)),
               static_cast<int>(std::ceil(logical.height() * ratio)));
    pm.setDevicePixelRatio(ratio);
    pm.fill(Qt::transparent);
    return pm;
}

} // namespace ui
