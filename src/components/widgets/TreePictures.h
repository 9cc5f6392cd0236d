// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// The browser tree's 18 pictures, drawn by the program itself: 0 to 15 for
// the categories numbered 1 to 16, 16 for subcategories and articles, 17 for
// the selected node at every level.

#include <QPixmap>

#include <vector>

namespace treepictures {

constexpr int kCount = 18;
constexpr int kSize = 16;

std::vector<QPixmap> imageList();

} // namespace treepictures
