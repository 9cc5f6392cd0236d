// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// The preferences dialog: the update server and the data for mailing tips.
// Its fields are the live settings of the whole run; the update run and the
// mail sender read them (and the update run may write root) while it is
// hidden. LoadSettings and SaveSettings move them to and from the store.

#include <QDialog>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

class TPrefsFrm : public QDialog {
    Q_OBJECT
public:
    explicit TPrefsFrm(QWidget* parent = nullptr);
    ~TPrefsFrm() override;

    QGroupBox* RG1 = nullptr;
    QLineEdit* root = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    QLabel* FIOL = nullptr;
    QLineEdit* FIO = nullptr;
    QLabel* EmailL = nullptr;
    QLineEdit* Email = nullptr;
    QLabel* SMTPL = nullptr;
    QLineEdit* SMTP = nullptr;
    QCheckBox* Auth = nullptr;
    QLabel* LoginL = nullptr;
    QLineEdit* Login = nullptr;
    QLabel* PswL = nullptr;
    QLineEdit* Psw = nullptr;
    QPushButton* BtnOk = nullptr;
    QPushButton* BtnCancel = nullptr;

    // Login and password can be edited only while Auth is ticked; their texts
    // stay either way.
    void AuthClick();

protected:
    void showEvent(QShowEvent* e) override;
};

extern TPrefsFrm* PrefsFrm;
