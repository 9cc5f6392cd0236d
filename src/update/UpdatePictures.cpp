// SPDX-License-Identifier: GPL-3.0-or-later

#include "UpdatePictures.h"

#include "components/widgets/Canvas.h"

namespace update {

QPixmap waitPicture() {
    return ui::picture(QStringLiteral(":/icons/update/wait.svg"), QSize(64, 64));
}

QPixmap downloadPicture() {
    return ui::picture(QStringLiteral(":/icons/update/download.svg"), QSize(64, 64));
}

QIcon loadIcon() {
    return QIcon(ui::picture(QStringLiteral(":/icons/update/load.svg"), QSize(16, 16)));
}

} // namespace update
