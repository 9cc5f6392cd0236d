// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// The window on screen while the full-text index is built (or catches up
// with many articles): how many articles are done out of how many, and
// "Отмена", which stops the build and leaves the index as it was before.
//
// It is application-modal and keeps the windows painted: the build calls
// Step now and then, and Step lets the pending window messages through.

#include "fulltext/Index.h"

#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;

class TIndexProgress : public QDialog {
    Q_OBJECT
public:
    // Centred on owner; not shown until the first Step.
    explicit TIndexProgress(QWidget* owner);
    ~TIndexProgress() override;

    QLabel* Label1 = nullptr;
    QProgressBar* PB = nullptr;
    QLabel* Count = nullptr;
    QPushButton* CancelBtn = nullptr;

    // done articles of total: shows the window (the first time), brings the
    // count up to date and processes the pending messages. False once the
    // user has cancelled.
    bool Step(int done, int total);
    // Step as the index's progress callback.
    fulltext::Progress callback();

    bool Cancelled() const { return cancelled_; }
    void CancelBtnClick();

protected:
    void closeEvent(QCloseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    bool cancelled_ = false;
};

// The text of the count: "<done> из <total>".
QString IndexCountText(int done, int total);
