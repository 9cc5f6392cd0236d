// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// Painting at once while a long job holds the GUI thread.

class QWidget;

namespace ui {

// Waits until the display has mapped the window of w (it can be painted
// only then), handling no user input meanwhile; gives up after timeoutMs.
void waitExposed(QWidget* w, int timeoutMs);

// Brings the window of w up to date on screen now: paints what has changed
// since its last painting (the regions its widgets marked for update) and
// flushes them, without waiting for the event loop. Unlike QWidget::repaint
// it leaves alone what has not changed, so that a job can call it after
// every step at little cost.
void paintNow(QWidget* w);

// Both: a window just shown (or shown a moment ago) brought onto the screen
// at once, waiting a second at most for the display to map it.
void paintWhenExposed(QWidget* w);

} // namespace ui
