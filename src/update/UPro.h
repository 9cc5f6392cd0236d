// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// The download window: how many article packages have arrived out of how
// many, with a progress bar. Created at start-up and kept for the whole run;
// shown by the update run while it downloads.

#include "Texts.h"
#include "UpdateWindow.h"

#include <QString>

class QLabel;
class QProgressBar;

class TPro : public update::UpdateWindow {
public:
    explicit TPro(QWidget* owner = nullptr);
    ~TPro() override;

    QLabel* Title = nullptr;
    QLabel* loaded = nullptr;
    QLabel* overall = nullptr;
    QLabel* Image = nullptr;
    QProgressBar* PB = nullptr;
};

extern TPro* Pro;
