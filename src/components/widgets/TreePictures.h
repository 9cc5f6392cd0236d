// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// The browser tree's 18 pictures (src/icons/tree): 0 to 15 for
// the categories numbered 1 to 16, 16 for subcategories and articles, 17 for
// the selected node at every level.

#include <QPixmap>

#include <vector>

namespace treepictures {

constexpr int kCount = 18;
constexpr int kSize = 16;

// Each picture is kSize x kSize in layout units, its pixels as many more as
// the screen's device pixel ratio asks.
std::vector<QPixmap> imageList();

// A transparent picture of the same size, for a place kept blank.
QPixmap none();

} // namespace treepictures
