// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// The wait window of the update run: the four stages of the exchange with the
// server, the current one in bold with its radio button set, the finished
// ones ticked, and a progress bar along the bottom. Created and destroyed by
// each update run.

#include "UpdateWindow.h"

#include <array>

class QCheckBox;
class QLabel;
class QProgressBar;
class QRadioButton;

class TWait : public update::UpdateWindow {
public:
    static constexpr int kStages = 4;

    explicit TWait(QWidget* owner = nullptr);
    ~TWait() override;

    // Stage k, 1 to 4: BeginStage marks it current and repaints at once;
    // EndStage marks it done and leaves the repaint to the next BeginStage.
    void BeginStage(int k);
    void EndStage(int k);

    QLabel* Image = nullptr;
    QLabel* WaitLabel = nullptr;
    QWidget* Stages = nullptr; // the rows; disabled, so they take no clicks
    std::array<QCheckBox*, kStages> CB{};
    std::array<QRadioButton*, kStages> RB{};
    QProgressBar* PB = nullptr;

protected:
    void showEvent(QShowEvent* e) override;

private:
    void FormShow();
    void setCurrent(int k, bool current);
};

// The wait window of the update run in progress, or nullptr.
extern TWait* Wait;
