// SPDX-License-Identifier: GPL-3.0-or-later

#include "Icons.h"

#include "components/widgets/Canvas.h"

namespace icons {
namespace {

// The pictures in src/icons/commands, in the order of their indexes.
const char* const kNames[kCount] = {
    "new",  "open", "exit",  "save",   "print",   "help", "copy",   "paste",
    "info", "book", "mail",  "delete", "refresh", "tree", "add",    "edit",
    "star", "gear", "globe", "count",  "lock",    "user", "search",
};

} // namespace

QIcon commandIcon(int index) {
    if (index < 0 || index >= kCount)
        return QIcon();
    return ui::pictureIcon(
        QStringLiteral(":/icons/commands/%1.svg").arg(QLatin1String(kNames[index])));
}

std::vector<QIcon> imageList() {
    std::vector<QIcon> list;
    list.reserve(kCount);
    for (int i = 0; i < kCount; ++i)
        list.push_back(commandIcon(i));
    return list;
}

} // namespace icons
