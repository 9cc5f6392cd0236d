// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// What the wait and download windows share: a borderless window of a fixed
// size, centred on the window that owns it, with the hourglass cursor, that
// takes no input and does not let itself be hidden behind the program's
// other windows while the update runs.

#include <QWidget>

namespace update {

class UpdateWindow : public QWidget {
public:
    UpdateWindow(QWidget* owner, int width, int height);

    // Paints the window now, first waiting for a window just shown to be on
    // screen. The update run keeps the GUI thread to itself, so a change is
    // seen only when painted this way.
    void repaintNow();

protected:
    void showEvent(QShowEvent* e) override;
    void changeEvent(QEvent* e) override;
    // Brings the window back in front when it loses activation while shown,
    // unless a modal window of the program (a question to the user) took it.
    void FormDeactivate();
};

} // namespace update
