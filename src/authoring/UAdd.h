// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// The add window: the user's own article, filed under a chosen category and
// subcategory, inserted without a server identifier and committed at once.
// Long-lived: made at start-up, shown modally by the add command, keeping
// its fields between showings.

#include "Articles.h"

#include <QDialog>

#include <string>
#include <vector>

class QComboBox;
class QFrame;
class QGroupBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

class TAddFrm : public QDialog {
    Q_OBJECT
public:
    explicit TAddFrm(QWidget* parent = nullptr);
    ~TAddFrm() override;

    QGroupBox* GB1 = nullptr;
    QComboBox* CB1 = nullptr;
    QGroupBox* GB2 = nullptr;
    QComboBox* CB2 = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    QLineEdit* Name = nullptr;
    QGroupBox* GB3 = nullptr;
    QLabel* Label1 = nullptr;
    QPlainTextEdit* Memo = nullptr;
    QFrame* Bevel = nullptr;
    QPushButton* OkBtn = nullptr;
    QPushButton* ResetBtn = nullptr;
    QPushButton* CancelBtn = nullptr;

    // Entry i is the number of item i of CB1 (categories) and of CB2
    // (subcategories), as text.
    std::vector<std::string> CategoryNums;
    std::vector<std::string> SubCategoryNums;

    void FormShow();
    void FormDestroy();
    void CB1Select();
    // Enter in CB1: consumed, runs CB1Select. True when the key was taken.
    bool CB1KeyPress(QKeyEvent* e);
    void CB2Click();
    void MemoChange();
    // CB2 follows the category choice and its own items, Memo the name: run
    // at every change of those.
    void TimerTimer();
    void OkBtnClick();
    void ResetBtnClick();
    void CancelBtnClick();

protected:
    void showEvent(QShowEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void FormCreate();
};

extern TAddFrm* AddFrm;
