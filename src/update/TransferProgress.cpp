// SPDX-License-Identifier: GPL-3.0-or-later

#include "TransferProgress.h"

#include "components/widgets/PaintNow.h"

#include <QLayout>
#include <QProgressBar>
#include <QStatusBar>

#include <algorithm>

namespace update {
namespace {

// Shows or hides the bar and lays out its strip now, as the posted layout
// events would only run after the transfer.
void setBarVisible(QProgressBar* Pr, bool visible) {
    if (Pr->isVisibleTo(Pr->parentWidget()) == visible)
        return;
    Pr->setVisible(visible);
    if (QWidget* strip = Pr->parentWidget())
        if (QLayout* layout = strip->layout())
            layout->activate();
}

} // namespace

void ShowTransferProgress(QProgressBar* Pr, QStatusBar* SB, uint32_t position, uint32_t total) {
    // Each event's changes reach the screen together, in one painting of
    // what they changed: a painting is a round trip to the display, and
    // every request of an update run raises several events.
    if (position == total) {
        SB->clearMessage();
        setBarVisible(Pr, false);
        ui::paintNow(SB);
        return;
    }
    SB->showMessage(TransferText(position, total));
    setBarVisible(Pr, true);
    const int percent = TransferPercent(position, total);
    if (percent >= 0 && percent <= 100 && percent != Pr->value())
        Pr->setValue(percent);
    ui::paintNow(SB);
}

} // namespace update
