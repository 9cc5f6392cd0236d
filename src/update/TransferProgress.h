// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// What the main window shows of one HTTP transfer: the progress bar beside
// the menu and "Прочтено <position> из <total>" in the status bar, both gone
// when the transfer has ended (position equal to total).

#include "Texts.h"

#include <QString>

#include <cstdint>

class QProgressBar;
class QStatusBar;

namespace update {

// The progress handler of the HTTP layer. Paints at once: no window messages
// are handled while a transfer runs.
void ShowTransferProgress(QProgressBar* Pr, QStatusBar* SB, uint32_t position, uint32_t total);

} // namespace update
