#pragma once
// The main window: an MDI frame with the menu of commands, the progress
// indicator beside it, the MDI area for the article browser and the status bar.

#include <QMainWindow>
#include <QPointer>

#include <vector>

class QAction;
class QMdiArea;
class QMenuBar;
class QProgressBar;
class QStatusBar;

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
    void AParamsExecute();
    void AAboutExecute();

    // Raises the window when a second start of the program asks for it.
    void BringToFront();

protected:
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    void FormCreate();
    void FormShow();
    void FormClose();
    QAction* addCommand(QMenu* menu, const char* name, const char* caption, const char* shortcut,
                        int icon, const char* hint, void (TMain::*handler)());
    bool shown_ = false;
};

extern TMain* Main;

// The article waiting to be shown by the browser; 0 when none.
extern int ShowTopicID;
