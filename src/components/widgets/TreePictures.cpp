// SPDX-License-Identifier: GPL-3.0-or-later

#include "TreePictures.h"

#include "Canvas.h"

namespace treepictures {
namespace {

QPixmap tree(const QString& name) {
    return ui::picture(QStringLiteral(":/icons/tree/%1.svg").arg(name), QSize(kSize, kSize));
}

} // namespace

QPixmap none() {
    return ui::canvas(QSize(kSize, kSize));
}

std::vector<QPixmap> imageList() {
    std::vector<QPixmap> list;
    list.reserve(kCount);
    // Each category's book has a colour and a white band of its own, so that
    // neighbours stay apart.
    for (int i = 1; i <= 16; ++i)
        list.push_back(tree(QStringLiteral("category%1").arg(i, 2, 10, QLatin1Char('0'))));
    list.push_back(tree(QStringLiteral("page")));
    list.push_back(tree(QStringLiteral("open")));
    return list;
}

} // namespace treepictures
