// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// The available-updates window: the server's new articles as a list with
// check boxes, from which the user picks those to download. Created at
// start-up and kept for the whole run; each update run fills the list and
// shows the window modally, and the downloads read the chosen entries back.

#include "UpdateSteps.h"

#include <QDialog>
#include <QIcon>

#include <string>
#include <vector>

class QCollator;
class QLabel;
class QStatusBar;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;

class TUpdFrm : public QDialog {
    Q_OBJECT
public:
    // The dialog results: "Загрузить" gives Yes, the close box Cancel.
    static constexpr int mrCancel = 2;
    static constexpr int mrYes = 6;
    static constexpr int kIcons = 16;

    explicit TUpdFrm(QWidget* parent = nullptr);
    ~TUpdFrm() override;

    QToolButton* SB1 = nullptr;
    QToolButton* LoadBtn = nullptr;
    QTreeWidget* LV = nullptr;
    QStatusBar* SB = nullptr;
    QLabel* SBPanel1 = nullptr;
    QLabel* SBPanel2 = nullptr;
    std::vector<QIcon> IL;
    QIcon NoPicture; // transparent, for categories above 16

    // Filling and reading back. Entries stay in LVCompare order: a new one
    // goes in after every entry that does not compare greater.
    void Clear();
    void AddEntry(const TUpdEntry& entry);
    int Count() const;
    bool Checked(int index) const;
    void setChecked(int index, bool checked);
    TUpdEntry Entry(int index) const;
    void DeleteEntry(int index);

    void LoadBtnClick();
    void SB1Click();
    // Category name, then title, then subcategory name; locale-aware and
    // case-sensitive. -1, 0 or 1.
    int LVCompare(const QTreeWidgetItem* item1, const QTreeWidgetItem* item2) const;
    // The buttons and the count follow the list: run at every change of it.
    void TimerTimer();

    // The text of the count panel.
    static QString CountText(int count);

public slots:
    void reject() override; // the close box and Esc: Cancel

private:
    QCollator* collator_ = nullptr;
};

extern TUpdFrm* UpdFrm;
