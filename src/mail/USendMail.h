// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// The tip submission window: a subject, a proposed category and subcategory,
// a comment and optionally one file, mailed to the submissions mailbox
// through the user's SMTP server.

#include "components/smtp/MailMessage.h"
#include "components/smtp/SmtpClient.h"
#include "mail/Submission.h"

#include <QDialog>
#include <QIcon>
#include <QPixmap>

#include <string>
#include <utility>
#include <vector>

class QComboBox;
class QCompleter;
class QKeyEvent;
class QFileDialog;
class QLabel;
class QListWidget;
class QPlainTextEdit;
class QLineEdit;
class QPushButton;
class QStatusBar;

// Read from the preferences dialog's fields, the live settings of the run.
mail::MailSettings mailSettings();

class TSendMail : public QDialog {
    Q_OBJECT
public:
    explicit TSendMail(QWidget* parent = nullptr);
    ~TSendMail() override;

    QWidget* Panel = nullptr;
    QLineEdit* Title = nullptr;
    QComboBox* CB1 = nullptr;
    QComboBox* CB2 = nullptr;
    QPlainTextEdit* Body = nullptr;
    QListWidget* FileName = nullptr;
    QPushButton* GetFile = nullptr;
    QPushButton* SendBtn = nullptr;
    QPushButton* CloseBtn = nullptr;
    QStatusBar* SB = nullptr;
    QFileDialog* OD = nullptr; // made at the first GetFileClick
    std::vector<QIcon> IL;
    QPixmap BMP;
    smtp::Client SMTPSend;
    smtp::Message SMTPMsg;

    void FormShow();
    void CB1Select();
    // Enter in CB1: consumed, runs CB1Select. True when the key was taken.
    bool CB1KeyPress(QKeyEvent* e);
    void FileNameKeyUp(QKeyEvent* e);
    void GetFileClick();
    void SendBtnClick();
    void SMTPSendStatus(const std::string& text);
    void CloseBtnClick();

protected:
    void showEvent(QShowEvent* e) override;
    // Esc during a send stops the send and leaves the window open; closing
    // the window during a send stops it too.
    void keyPressEvent(QKeyEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void makeOpenDialog();
    QString chosenFile_; // the file last chosen with OD
    // OD's completers and their fields, parted while OD is closed.
    std::vector<std::pair<QCompleter*, QWidget*>> completedFields_;
    bool sending_ = false;
};

extern TSendMail* SendMail;
