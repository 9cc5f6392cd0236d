// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// The main window: an MDI frame with the menu of commands, the progress
// indicator beside it, the MDI area for the article browser and the status bar.

#include "Request.h"
#include "components/http/Http.h"
#include "components/zip/UnZip.h"

#include <QMainWindow>
#include <QPointer>

#include <memory>
#include <vector>

class QAction;
class QMdiArea;
class QMenuBar;
class QProgressBar;
class QStatusBar;
namespace smtp {
class AntiFreeze;
}

// The caption of the window and of every error report.
QString applicationTitleText();

// The text of the count command's message box.
QString CountText(int total, int fromServer);

class TMain : public QMainWindow {
    Q_OBJECT
public:
    TMain();
    ~TMain() override;

    QWidget* ControlBar = nullptr;
    QMenuBar* MenuBar = nullptr;
    QProgressBar* Pr = nullptr;
    QMdiArea* MdiArea = nullptr;
    QStatusBar* SB = nullptr;
    std::vector<QIcon> IL;

    QAction* AExit = nullptr;
    QAction* AUpdate = nullptr;
    QAction* ASendHint = nullptr;
    QAction* AView = nullptr;
    QAction* ACount = nullptr;
    QAction* ASearch = nullptr;
    QAction* AAdd = nullptr;
    QAction* AEdit = nullptr;
    QAction* ADelete = nullptr;
    QAction* AImport = nullptr;
    QAction* AExportOwn = nullptr;
    QAction* AParams = nullptr;
    QAction* AAbout = nullptr;
    QAction* AHelp = nullptr;
    // Every command, in menu order.
    std::vector<QAction*> AM;

    void AExitExecute();
    void AUpdateExecute();
    void ASendHintExecute();
    void AViewExecute();
    void ACountExecute();
    void ASearchExecute();
    void AAddExecute();
    // On the browser's current node, when it is an article of one's own.
    void AEditExecute();
    void ADeleteExecute();
    // AEdit and ADelete follow the browser's current node.
    void FollowBrowser();
    void AImportExecute();
    void AExportOwnExecute();
    void AParamsExecute();
    void AAboutExecute();

    // Raises the window when a second start of the program asks for it.
    void BringToFront();
    // Carries out a look-up from outside: the search window with the words,
    // searched at once (in the texts when the user searches there), or the
    // browser at the article. A search window that is open takes the words;
    // any other window that waits for an answer keeps the look-up from
    // running, and the status line says so.
    void LookUp(const lookup::Request& request);

    // The HTTP objects of the update client, alive for the whole run; their
    // progress goes to InternetConnectionProgress.
    std::unique_ptr<http::TInternetSession> InternetSession;
    std::unique_ptr<http::TInternetConnection> InternetConnection;
    std::unique_ptr<http::TInternetHTTPRequest> InternetHTTPRequest;
    void InternetConnectionProgress(uint32_t position, uint32_t total);
    // Unpacks the article packages of the update run.
    std::unique_ptr<unzip::TUnZip> Zip;

    // Lets the windows repaint while the mail layer blocks on the network.
    smtp::AntiFreeze* AntiFreeze = nullptr;

    // The window's placement and the preferences, from and to the settings
    // store (USettings.cpp).
    void LoadSettings();
    void SaveSettings();

    // Closes the window for a quit signal. A failed save is reported on
    // standard error, not in a box: nobody may be there to answer one.
    // Returns whether the settings were saved.
    bool CloseForSignal();

protected:
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    void FormCreate();
    void WMGetMinMaxInfo();
    void FormShow();
    void FormClose();
    QAction* addCommand(QMenu* menu, const char* name, const char* caption, const char* shortcut,
                        int icon, const char* hint, void (TMain::*handler)());
    // The search command, with the words to search at once if any.
    void runSearch(const QString& words);
    bool shown_ = false;
    bool signalled_ = false;
};

extern TMain* Main;
