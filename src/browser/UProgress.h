// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// The small window on screen while the browser loads its tree: a line of
// text, a progress bar and a counter of the subcategories loaded so far.

#include <QWidget>

class QLabel;
class QProgressBar;

class TProgress : public QWidget {
public:
    // Centred on owner (the main window), or on the primary screen without one.
    explicit TProgress(QWidget* owner);
    ~TProgress() override;

    QWidget* Panel = nullptr;
    QLabel* Label1 = nullptr;
    QProgressBar* pb = nullptr;
    QLabel* c = nullptr;

    // The counter's value, kept with the label; 0 when the window is made.
    int Counter() const;

    // Shows the window without taking the activation from the browser, and
    // waits until the display has mapped it, so that the repaints below are
    // seen. Input is not processed meanwhile.
    void ShowAndPaint();

    // One subcategory more: the counter goes up by 1, the bar to position,
    // and the window is repainted at once.
    void Step(int position);
};

extern TProgress* Progress;
