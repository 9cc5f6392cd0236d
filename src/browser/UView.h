// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// The article browser: the only MDI child of the main window, with the tree
// of categories, subcategories and articles on the left and the page of the
// chosen node on the right. It loads its tree once, when first shown, and
// ends itself when closed or when another window of the program takes the
// activation; the browser command then builds a new one.

#include "CatalogueTree.h"

#include <QPixmap>
#include <QString>
#include <QWidget>

#include <functional>
#include <string>
#include <vector>

class QAction;
class QFileDialog;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QSplitter;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;
class ReadingAids;
class TreeDelegate;

namespace ui {
class PageView;
}

// ---------------------------------------------------------------- window

class TViewFrm : public QWidget {
    Q_OBJECT
public:
    // Made as a child window of area, at its outer size, centred.
    explicit TViewFrm(QMdiArea* area);
    ~TViewFrm() override;

    QWidget* Panel = nullptr;
    QToolButton* SB1 = nullptr;
    QToolButton* SB2 = nullptr;
    QToolButton* CloseBtn = nullptr;
    QTreeWidget* TV = nullptr;
    QSplitter* Splitter = nullptr;
    QWidget* InfoPanel = nullptr;
    ui::PageView* Info = nullptr;
    std::vector<QPixmap> IL;
    QMenu* PMenu = nullptr;
    QAction* SaveFile = nullptr;
    // The tree's commands on the user's own articles and categories, shown
    // in the pop-up menu of a tree node (PMenu's items after the separator
    // named "TreeCommands" are shown for tree nodes only).
    QAction* EditArticle = nullptr;
    QAction* DeleteArticle = nullptr; // also the Delete key in the tree
    QAction* RenameNode = nullptr;
    QAction* DeleteNode = nullptr;
    QAction* ExportNode = nullptr;
    QFileDialog* SD = nullptr; // made at the first SaveFileClick
    // History, zoom, find and code: made last, with the window.
    ReadingAids* Aids = nullptr;

    // The MDI child window that frames this form.
    QMdiSubWindow* subWindow() const { return sub_; }

    // Brings the window to the front, shown and maximized (the browser
    // command); the first showing loads the tree.
    void BringUp();

    // The node that counts as selected: the one right-clicked while the
    // pop-up menu is shown, otherwise the tree's selection; null when none.
    QTreeWidgetItem* Selected() const;

    // The tree load (the first showing runs it).
    void FormShow();
    void SB1Click();
    void SB2Click();
    void CloseBtnClick();
    // A left click in the tree: the page of the node then selected.
    void TVClick();
    void InfoDocumentComplete();
    // Serves the article asked for (ShowTopicID): run when the tree is in
    // and at every request from then on, never by polling.
    void ShowTopicTimerTimer();
    // Whether articles asked for are served: from the end of the tree load
    // until the window is on its way out.
    bool ServesTopics() const { return servesTopics_; }
    // SaveFile follows the node that counts as selected: run at every
    // change of it.
    void TimerTimer();
    void SaveFileClick();
    // The commands on the node that counts as selected; each does nothing
    // where its menu item is disabled. The tree and the page show the
    // change at once.
    void EditArticleClick();
    void DeleteArticleClick();
    void RenameNodeClick();
    void DeleteNodeClick();
    // Writes the node's article, subcategory or category (own or not) into
    // a bundle.
    void ExportNodeClick();
    // What the commands may do on the selected node: kept here, since a
    // menu item out of sight reads as disabled. The main menu's article
    // commands follow ownArticle.
    struct Commands {
        bool ownArticle = false;
        bool ownGroup = false;   // a category or subcategory of one's own
        bool emptyGroup = false; // ... with no article under it
    };
    const Commands& CommandsFor() const { return commands_; }
    bool ArticleCommandsEnabled() const { return !dying_ && commands_.ownArticle; }
    // Runs the save dialog; by default SD's own exec. Tests answer it here.
    static std::function<int(QFileDialog&)> execSaveDialog;

    void LoadTreeWidth();
    void SaveTreeWidth();

signals:
    // The node the commands act on has changed, or the window is on its way
    // out.
    void commandsChanged();

protected:
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void FormCreate();
    void FormClose();
    void FormResize();
    void FormDeactivate();
    void TVChange(QTreeWidgetItem* current, QTreeWidgetItem* previous);
    void TVContextMenu(const QPoint& pos);
    void InfoContextMenu(const QPoint& pos);
    bool WMMouseActivate(QObject* watched, QEvent* e);
    void ShowNodePage(QTreeWidgetItem* node);
    // The tree's commands made fit for node (null: none), each enabled or
    // disabled with the reason in its status tip; one line per command.
    void FitCommandsTo(QTreeWidgetItem* node);
    void ShowTreeCommands(bool shown);
    // The node of the pop-up menu is forgotten before the tree changes under it.
    void ForgetMenuNode();
    // Makes node current, opened up to it, with its page shown.
    void GoTo(QTreeWidgetItem* node);
    // Marks the words in the page shown (a full-text search's hit).
    void highlightWords(const std::vector<std::string>& words);
    void layoutParts();
    void scheduleDestroy();
    void stopServingTopics();
    bool isOtherForm(const QWidget* w) const;
    // Destruction waits for a handler of this window still running.
    struct Busy;
    friend struct Busy;

    QMdiSubWindow* sub_ = nullptr;
    TreeDelegate* delegate_ = nullptr;
    QTreeWidgetItem* menuNode_ = nullptr;
    Commands commands_;
    int treeWidth_ = 150;
    int busy_ = 0;
    bool shown_ = false;
    bool dying_ = false;
    bool destroyPending_ = false;
    bool activationFresh_ = false;
    bool eatingRight_ = false;
    bool splitterSized_ = false;
    bool servesTopics_ = false;
};

// The browser window while one exists; null otherwise, also from the moment
// a closed or deactivated window is on its way out.
extern TViewFrm* ViewFrm;
