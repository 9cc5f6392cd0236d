// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// The 23 command pictures of the main window, the program's own (SVG files in
// src/icons/commands) so that no command is ever without one, whatever icon
// themes are installed.

#include <QIcon>

#include <vector>

namespace icons {

constexpr int kCount = 23;

// Index 0..22 as the commands use them; each icon has 16, 24 and 32 pixel forms.
QIcon commandIcon(int index);
std::vector<QIcon> imageList();

} // namespace icons
