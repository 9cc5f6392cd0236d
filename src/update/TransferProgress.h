#pragma once
// What the main window shows of one HTTP transfer: the progress bar beside
// the menu and "Прочтено <position> из <total>" in the status bar, both gone
// when the transfer has ended (position equal to total).

#include <QString>

#include <cstdint>

class QProgressBar;
class QStatusBar;

namespace update {

// position × 100 / total, or -1 when total is 0. Worked out in 64 bits, so a
// transfer over 42 MB still shows the right figure.
int TransferPercent(uint32_t position, uint32_t total);

QString TransferText(uint32_t position, uint32_t total);

// The progress handler of the HTTP layer. Paints at once: no window messages
// are handled while a transfer runs.
void ShowTransferProgress(QProgressBar* Pr, QStatusBar* SB, uint32_t position, uint32_t total);

} // namespace update
