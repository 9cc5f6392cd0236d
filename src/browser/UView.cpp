// SPDX-License-Identifier: GPL-3.0-or-later

#include "UView.h"

#include "CatalogueTree.h"
#include "ReadingAids.h"
#include "TreeView.h"
#include "UProgress.h"
#include "authoring/Articles.h"
#include "authoring/OwnCatalogue.h"
#include "authoring/UAdd.h"
#include "authoring/UImport.h"
#include "components/text/QtText.h"
#include "components/widgets/BevelPanel.h"
#include "components/widgets/Controls.h"
#include "components/widgets/ErrorReport.h"
#include "components/widgets/MessageBox.h"
#include "components/widgets/PageView.h"
#include "components/widgets/TreePictures.h"
#include "data/UData.h"
#include "settings/Store.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QSplitter>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidgetItemIterator>

#include <memory>
#include <utility>

TViewFrm* ViewFrm = nullptr;

std::function<int(QFileDialog&)> TViewFrm::execSaveDialog = [](QFileDialog& d) { return d.exec(); };

struct TViewFrm::Busy {
    explicit Busy(TViewFrm* f) : f(f) { ++f->busy_; }
    ~Busy() {
        if (--f->busy_ == 0 && f->destroyPending_) {
            f->destroyPending_ = false;
            f->sub_->deleteLater();
        }
    }
    TViewFrm* f;
};

TViewFrm::TViewFrm(QMdiArea* area) {
    setObjectName(QStringLiteral("ViewFrm"));
    setWindowTitle(QString::fromUtf8("Просмотр советов по Delphi"));
    setFont(ui::formFont());

    Panel = new QWidget(this);
    Panel->setObjectName(QStringLiteral("Panel"));
    SB1 = ui::flatButton(Panel, "SB1", QStringLiteral("+"), "Развернуть все", 15, 14);
    SB1->move(0, 1);
    SB2 = ui::flatButton(Panel, "SB2", QString::fromUtf8("—"), "Свернуть все", 15, 14);
    SB2->move(16, 1);
    CloseBtn = ui::flatButton(Panel, "CloseBtn", QString(), "Закрыть окно", 17, 14);
    CloseBtn->setIcon(closeGlyph());
    CloseBtn->setIconSize(QSize(9, 8));
    ui::connectGuarded(SB1, &QToolButton::clicked, this, [this] { SB1Click(); });
    ui::connectGuarded(SB2, &QToolButton::clicked, this, [this] { SB2Click(); });
    ui::connectGuarded(CloseBtn, &QToolButton::clicked, this, [this] { CloseBtnClick(); });

    Splitter = new QSplitter(Qt::Horizontal, this);
    Splitter->setObjectName(QStringLiteral("Splitter"));
    Splitter->setOpaqueResize(true); // the page follows while dragging
    Splitter->setChildrenCollapsible(false);
    Splitter->setHandleWidth(3);

    auto* tree = new CategoryTree(Splitter);
    TV = tree;
    delegate_ = tree->delegate();
    ui::connectGuarded(TV, &QTreeWidget::customContextMenuRequested, this,
                       [this](const QPoint& pos) { TVContextMenu(pos); });
    // Expanding and collapsing wait until the selection change is done: a
    // press that selects a node must not have the rows move under it.
    // The nodes are held by their places: a change of one's own articles may
    // remove either node before the change is run.
    ui::connectGuarded(TV, &QTreeWidget::currentItemChanged, this,
                       [this](QTreeWidgetItem* current, QTreeWidgetItem* previous) {
                           const QPersistentModelIndex now(TV->indexFromItem(current));
                           const QPersistentModelIndex before(TV->indexFromItem(previous));
                           QTimer::singleShot(0, this, [this, now, before] {
                               TVChange(TV->itemFromIndex(now), TV->itemFromIndex(before));
                           });
                       });

    InfoPanel = new BevelPanel(BevelPanel::Bevel::Raised, BevelPanel::Bevel::Lowered, Splitter);
    InfoPanel->setObjectName(QStringLiteral("InfoPanel"));
    Info = new ui::PageView(InfoPanel);
    Info->setObjectName(QStringLiteral("Info"));
    Info->setFocusPolicy(Qt::ClickFocus); // not a tab stop
    Info->browser()->setFocusPolicy(Qt::ClickFocus);
    Info->browser()->setContextMenuPolicy(Qt::CustomContextMenu);
    ui::connectGuarded(Info->browser(), &QWidget::customContextMenuRequested, this,
                       [this](const QPoint& pos) { InfoContextMenu(pos); });
    ui::connectGuarded(Info, &ui::PageView::DocumentComplete, this,
                       [this] { InfoDocumentComplete(); });
    auto* infoLayout = new QHBoxLayout(InfoPanel);
    infoLayout->setContentsMargins(2, 2, 2, 2);
    infoLayout->addWidget(Info);

    Splitter->addWidget(TV);
    Splitter->addWidget(InfoPanel);
    Splitter->setStretchFactor(0, 0);
    Splitter->setStretchFactor(1, 1);

    IL = treepictures::imageList();

    PMenu = new QMenu(this);
    PMenu->setObjectName(QStringLiteral("PMenu"));
    SaveFile = PMenu->addAction(QString::fromUtf8("Сохранить как файл..."));
    SaveFile->setObjectName(QStringLiteral("SaveFile"));
    ui::connectGuarded(SaveFile, &QAction::triggered, this, [this] { SaveFileClick(); });
    PMenu->addSeparator()->setObjectName(QStringLiteral("TreeCommands"));
    const auto command = [this](const char* name, const char* caption, void (TViewFrm::*run)()) {
        QAction* a = PMenu->addAction(QString::fromUtf8(caption));
        a->setObjectName(QString::fromLatin1(name));
        ui::connectGuarded(a, &QAction::triggered, this, [this, run] { (this->*run)(); });
        return a;
    };
    EditArticle = command("EditArticle", "Изменить статью...", &TViewFrm::EditArticleClick);
    DeleteArticle = command("DeleteArticle", "Удалить статью", &TViewFrm::DeleteArticleClick);
    RenameNode = command("RenameNode", "Переименовать...", &TViewFrm::RenameNodeClick);
    DeleteNode = command("DeleteNode", "Удалить", &TViewFrm::DeleteNodeClick);
    ExportNode = command("ExportNode", "Экспортировать...", &TViewFrm::ExportNodeClick);
    PMenu->setToolTipsVisible(true);
    ShowTreeCommands(false);

    // The menu item follows the selection as it changes.
    ui::connectGuarded(TV, &QTreeWidget::itemSelectionChanged, this, [this] { TimerTimer(); });
    ui::connectGuarded(TV, &QTreeWidget::currentItemChanged, this, [this] { TimerTimer(); });

    FormCreate();

    // Only once the form is whole does it go into the area, so that a
    // failure above leaves no empty child window behind.
    sub_ = area->addSubWindow(this, Qt::SubWindow | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                                        Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    sub_->setObjectName(QStringLiteral("ViewFrmWindow"));
    // Destruction is ours (scheduleDestroy), so that it never comes while
    // a handler of this window is still running.
    sub_->setAttribute(Qt::WA_DeleteOnClose, false);
    sub_->resize(595, 428);
    const QWidget* main = area->window();
    const QPoint centre = area->mapFrom(main, main->rect().center());
    sub_->move(centre - QPoint(sub_->width() / 2, sub_->height() / 2));
    ui::connectGuarded(area, &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow* w) {
        if (w && w != sub_)
            FormDeactivate();
    });
    qApp->installEventFilter(this);
    Aids = new ReadingAids(this, [this](QTreeWidgetItem* node) {
        Busy busy(this);
        ShowNodePage(node);
    });
}

TViewFrm::~TViewFrm() {
    stopServingTopics();
    // The tree's own end must not run the handlers of a window half gone.
    disconnect(TV, nullptr, this, nullptr);
    if (ViewFrm == this)
        ViewFrm = nullptr;
}

void TViewFrm::FormCreate() {
    NodeImage = static_cast<int>(IL.size()) - 2;
    SelectedImage = static_cast<int>(IL.size()) - 1;
    LoadTreeWidth();
}

void TViewFrm::LoadTreeWidth() {
    treeWidth_ = settings::LoadTreeWidth();
    TV->resize(treeWidth_, TV->height());
    if (Splitter->width() > 0)
        Splitter->setSizes({treeWidth_, std::max(1, Splitter->width() - treeWidth_)});
}

void TViewFrm::SaveTreeWidth() {
    settings::SaveTreeWidth(splitterSized_ ? TV->width() : treeWidth_);
}

void TViewFrm::BringUp() {
    sub_->show();
    sub_->showMaximized();
    sub_->raise();
    if (QMdiArea* area = sub_->mdiArea())
        area->setActiveSubWindow(sub_);
}

void TViewFrm::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    if (!shown_) {
        shown_ = true;
        ui::guarded([this] { FormShow(); });
    }
}

void TViewFrm::FormShow() {
    Busy busy(this);
    // Gone when the load ends, however it ends.
    std::unique_ptr<TProgress> progress(new TProgress(window()));
    Progress = progress.get();
    progress->ShowAndPaint();

    LoadTree(*TV, IL, [&progress](int, int articles, int total) {
        progress->Step(LoadPosition(articles, total));
    });

    if (QTreeWidgetItem* first = TV->topLevelItem(0)) {
        TV->setCurrentItem(first);
        ShowNodePage(first);
    } else {
        Info->Navigate(text::toQ(EmptyCataloguePage()));
    }
    ProcessMessagesFor(50);
    // Where the platform activated the progress window all the same, the
    // activation goes back to where it was.
    const bool tookActivation = progress->isActiveWindow();
    progress.reset();
    if (tookActivation)
        window()->activateWindow();
    // Closed or deactivated during the pause: it is on its way out.
    if (dying_)
        return;
    servesTopics_ = true;
    TopicAsked = [this] { ui::guarded([this] { ShowTopicTimerTimer(); }); };
    // An article asked for before the window was made: served once the
    // showing is done, from the event loop.
    QMetaObject::invokeMethod(
        this, [this] { ui::guarded([this] { ShowTopicTimerTimer(); }); }, Qt::QueuedConnection);
}

void TViewFrm::stopServingTopics() {
    if (!servesTopics_)
        return;
    servesTopics_ = false;
    TopicAsked = nullptr;
}

void TViewFrm::closeEvent(QCloseEvent* e) {
    // A width that cannot be stored is reported and keeps the window open.
    bool saved = false;
    ui::guarded([this, &saved] {
        FormClose();
        saved = true;
    });
    if (!saved) {
        e->ignore();
        return;
    }
    e->accept();
    scheduleDestroy();
}

void TViewFrm::FormClose() {
    SaveTreeWidth();
}

void TViewFrm::scheduleDestroy() {
    if (dying_)
        return;
    dying_ = true;
    if (ViewFrm == this)
        ViewFrm = nullptr;
    stopServingTopics();
    emit commandsChanged(); // none from now on
    if (busy_ > 0)
        destroyPending_ = true;
    else
        sub_->deleteLater();
}

void TViewFrm::FormDeactivate() {
    scheduleDestroy();
}

void TViewFrm::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    layoutParts();
}

void TViewFrm::layoutParts() {
    Panel->setGeometry(0, 0, width(), 17);
    Splitter->setGeometry(0, 17, width(), std::max(0, height() - 17));
    if (!splitterSized_ && Splitter->width() > 0) {
        splitterSized_ = true;
        Splitter->setSizes({treeWidth_, std::max(1, Splitter->width() - treeWidth_)});
    }
    FormResize();
}

void TViewFrm::FormResize() {
    CloseBtn->move(Panel->width() - CloseBtn->width() - 2, 1);
}

void TViewFrm::SB1Click() {
    TV->expandAll();
}

void TViewFrm::SB2Click() {
    TV->collapseAll();
}

void TViewFrm::CloseBtnClick() {
    sub_->close();
}

QTreeWidgetItem* TViewFrm::Selected() const {
    if (menuNode_)
        return menuNode_;
    QTreeWidgetItem* current = TV->currentItem();
    return current && current->isSelected() ? current : nullptr;
}

void TViewFrm::TVChange(QTreeWidgetItem* current, QTreeWidgetItem* previous) {
    // Single-expand: the new node opens, the branch of the one before
    // closes up to where the two meet.
    if (!current)
        return;
    auto isAncestorOrSelf = [](const QTreeWidgetItem* a, const QTreeWidgetItem* n) {
        for (; n; n = n->parent())
            if (n == a)
                return true;
        return false;
    };
    for (QTreeWidgetItem* p = previous; p && !isAncestorOrSelf(p, current); p = p->parent())
        p->setExpanded(false);
    current->setExpanded(true);
}

void TViewFrm::TVClick() {
    Busy busy(this);
    if (QTreeWidgetItem* node = Selected())
        ShowNodePage(node);
}

void TViewFrm::ShowNodePage(QTreeWidgetItem* node) {
    if (NodeLevel(node) >= 2)
        Info->Navigate(WriteArticlePage(DataFrm->IBSQL4, NodeArticleID(node)));
    else
        Info->Navigate(text::toQ(BuildNodePage(node)));
    Aids->Shown(node);
}

void TViewFrm::InfoDocumentComplete() {
    if (!TempPageFileName.isEmpty())
        QFile::remove(TempPageFileName); // already gone: nothing to do
}

void TViewFrm::ShowTopicTimerTimer() {
    if (!servesTopics_ || ShowTopicID == 0)
        return;
    QTreeWidgetItem* found = nullptr;
    for (QTreeWidgetItemIterator it(TV); *it; ++it) {
        if (NodeLevel(*it) == 2 && NodeArticleID(*it) == ShowTopicID) {
            found = *it;
            break;
        }
    }
    // One not in the tree stays asked for; the tree does not change once
    // loaded, so only the next request looks again.
    if (!found)
        return;
    Busy busy(this);
    for (QTreeWidgetItem* p = found->parent(); p; p = p->parent())
        p->setExpanded(true);
    TV->setCurrentItem(found);
    TV->scrollToItem(found);
    // Served before the page is shown: a page that fails is reported once.
    ShowTopicID = 0;
    const std::vector<std::string> words = std::exchange(ShowTopicWords, {});
    ShowNodePage(found);
    highlightWords(words);
}

void TViewFrm::highlightWords(const std::vector<std::string>& words) {
    if (words.empty())
        return;
    QStringList marks;
    for (const std::string& w : words)
        marks << text::toQ(w);
    Info->Highlight(marks);
}

void TViewFrm::TimerTimer() {
    QTreeWidgetItem* node = Selected();
    if (node)
        SaveFile->setEnabled(NodeLevel(node) == 2);
    FitCommandsTo(node);
    emit commandsChanged();
}

void TViewFrm::FitCommandsTo(QTreeWidgetItem* node) {
    const int level = node ? NodeLevel(node) : -1;
    Commands& c = commands_;
    c.ownArticle = level == 2 && authoring::IsOwnArticle(DataFrm->IBSQL4, NodeArticleID(node));
    c.ownGroup = (level == 0 || level == 1) && authoring::IsOwnNumber(NodeNumber(node));
    // Empty: no article under it (a category's empty subcategories go with it).
    c.emptyGroup = c.ownGroup && (level == 0 || node->childCount() == 0);
    for (int i = 0; c.emptyGroup && level == 0 && i < node->childCount(); ++i)
        c.emptyGroup = node->child(i)->childCount() == 0;

    const auto fit = [](QAction* a, bool enabled, const char* why) {
        a->setEnabled(enabled);
        const QString tip = enabled ? QString() : QString::fromUtf8(why);
        a->setStatusTip(tip);
        a->setToolTip(tip.isEmpty() ? a->text() : tip);
    };
    const char* fromServer = "Статьи из обновлений изменять нельзя";
    fit(EditArticle, c.ownArticle, fromServer);
    fit(DeleteArticle, c.ownArticle, fromServer);
    const char* serverGroup = "Категории из обновлений изменять нельзя";
    fit(RenameNode, c.ownGroup, serverGroup);
    fit(DeleteNode, c.emptyGroup, c.ownGroup ? "Удалить можно только пустую" : serverGroup);
}

void TViewFrm::ShowTreeCommands(bool shown) {
    // Everything after the separator "TreeCommands" is the tree's: shown for
    // any node, except the commands that fit only articles or only groups.
    const int level = shown && Selected() ? NodeLevel(Selected()) : -1;
    bool tree = false;
    for (QAction* a : PMenu->actions()) {
        if (a->objectName() == QLatin1String("TreeCommands"))
            tree = true;
        if (!tree)
            continue;
        if (a == EditArticle || a == DeleteArticle)
            a->setVisible(level == 2);
        else if (a == RenameNode || a == DeleteNode)
            a->setVisible(level == 0 || level == 1);
        else
            a->setVisible(level >= 0);
    }
}

void TViewFrm::TVContextMenu(const QPoint& pos) {
    Busy busy(this);
    // The node under the mouse counts as selected while the menu is shown;
    // the page stays as it is.
    menuNode_ = TV->itemAt(pos);
    delegate_->drop =
        menuNode_ ? QPersistentModelIndex(TV->indexFromItem(menuNode_)) : QPersistentModelIndex();
    TV->viewport()->update();
    TimerTimer();
    struct Restore {
        TViewFrm* f;
        ~Restore() {
            f->menuNode_ = nullptr;
            f->delegate_->drop = QPersistentModelIndex();
            f->TV->viewport()->update();
            f->TimerTimer(); // back to the selected node
            f->ShowTreeCommands(false);
        }
    } restore{this};
    ShowTreeCommands(true);
    PMenu->exec(TV->viewport()->mapToGlobal(pos));
}

void TViewFrm::InfoContextMenu(const QPoint& pos) {
    Busy busy(this);
    TimerTimer();
    const auto code = Aids->OfferCode(pos);
    PMenu->exec(Info->browser()->viewport()->mapToGlobal(pos));
}

void TViewFrm::SaveFileClick() {
    Busy busy(this);
    QTreeWidgetItem* node = Selected();
    if (!node)
        return;
    // Made at the first save: a file dialog costs more to make than the rest
    // of the window, and the browser is made anew every time it is opened.
    if (!SD)
        SD = makeSaveDialog(this);
    SD->selectFile(text::toQ(MakeFileName(NodeName(node))));
    if (execSaveDialog(*SD) != QDialog::Accepted)
        return;
    node = Selected();
    const QStringList chosen = SD->selectedFiles();
    if (!node || NodeLevel(node) != 2 || chosen.isEmpty())
        return;
    WriteWholeFile(chosen.first(), ReadArticle(DataFrm->IBSQL4, NodeArticleID(node)), false);
}

void TViewFrm::ForgetMenuNode() {
    menuNode_ = nullptr;
    delegate_->drop = QPersistentModelIndex();
}

void TViewFrm::GoTo(QTreeWidgetItem* node) {
    if (!node) {
        if (QTreeWidgetItem* first = TV->topLevelItem(0))
            GoTo(first);
        else
            Info->Navigate(text::toQ(EmptyCataloguePage()));
        return;
    }
    for (QTreeWidgetItem* p = node->parent(); p; p = p->parent())
        p->setExpanded(true);
    TV->setCurrentItem(node);
    TV->scrollToItem(node);
    ShowNodePage(node);
    TimerTimer();
}

void TViewFrm::EditArticleClick() {
    Busy busy(this);
    QTreeWidgetItem* node = Selected();
    if (!node || NodeLevel(node) != 2 || !commands_.ownArticle)
        return;
    const int id = NodeArticleID(node);
    const int cat = NodeNumber(node->parent()->parent());
    const int subcat = NodeNumber(node->parent());
    ForgetMenuNode();
    // A window of this one: opening it does not end the browser.
    TAddFrm edit(this, TAddFrm::Mode::Edit);
    edit.EditArticle(id);
    const bool saved = edit.exec() == QDialog::Accepted;
    // Categories made in the window show whether or not it saved.
    for (const auto& [c, s] : edit.Created)
        RefreshNodes(*TV, IL, c, s);
    if (!saved)
        return;
    RefreshNodes(*TV, IL, cat, subcat);
    RefreshNodes(*TV, IL, edit.EditedCat(), edit.EditedSubcat());
    GoTo(FindArticleNode(*TV, id));
}

void TViewFrm::DeleteArticleClick() {
    Busy busy(this);
    QTreeWidgetItem* node = Selected();
    if (!node || NodeLevel(node) != 2 ||
        !authoring::IsOwnArticle(DataFrm->IBSQL4, NodeArticleID(node)))
        return;
    const int id = NodeArticleID(node);
    const int cat = NodeNumber(node->parent()->parent());
    const int subcat = NodeNumber(node->parent());
    const QString question =
        QString::fromUtf8("Удалить статью «%1»?").arg(text::toQ(NodeName(node)));
    if (ui::askYesNo(this, QString::fromUtf8("Удаление статьи"), question, QMessageBox::No) !=
        QMessageBox::Yes)
        return;
    ForgetMenuNode();
    authoring::DeleteArticle(DataFrm->UpdQ, DataFrm->FBTransUpd, id);
    RefreshNodes(*TV, IL, cat, subcat);
    GoTo(FindSubcategoryNode(*TV, cat, subcat));
}

void TViewFrm::RenameNodeClick() {
    Busy busy(this);
    QTreeWidgetItem* node = Selected();
    if (!node || NodeLevel(node) > 1 || !commands_.ownGroup)
        return;
    const bool category = NodeLevel(node) == 0;
    const int cat = NodeNumber(category ? node : node->parent());
    const int subcat = NodeNumber(node);
    const std::optional<QString> name =
        AskName(this, category ? "Переименование категории" : "Переименование подкатегории",
                category ? "Новое название категории:" : "Новое название подкатегории:",
                text::toQ(NodeName(node)));
    if (!name)
        return;
    ForgetMenuNode();
    fb::Query& upd = DataFrm->UpdQ;
    authoring::CommitNow(upd, DataFrm->FBTransUpd, [&] {
        if (category)
            authoring::RenameCategory(upd, cat, text::fromQ(*name));
        else
            authoring::RenameSubcategory(upd, cat, subcat, text::fromQ(*name));
    });
    RefreshNodes(*TV, IL, cat, category ? std::nullopt : std::optional<int>(subcat));
    GoTo(category ? FindCategoryNode(*TV, cat) : FindSubcategoryNode(*TV, cat, subcat));
}

void TViewFrm::DeleteNodeClick() {
    Busy busy(this);
    QTreeWidgetItem* node = Selected();
    if (!node || NodeLevel(node) > 1 || !commands_.emptyGroup)
        return;
    const bool category = NodeLevel(node) == 0;
    const int cat = NodeNumber(category ? node : node->parent());
    const int subcat = NodeNumber(node);
    const QString question =
        QString::fromUtf8(category ? "Удалить категорию «%1»?" : "Удалить подкатегорию «%1»?")
            .arg(text::toQ(NodeName(node)));
    if (ui::askYesNo(this, QString::fromUtf8("Удаление"), question, QMessageBox::No) !=
        QMessageBox::Yes)
        return;
    ForgetMenuNode();
    fb::Query& upd = DataFrm->UpdQ;
    authoring::CommitNow(upd, DataFrm->FBTransUpd, [&] {
        if (category)
            authoring::DeleteCategory(upd, cat);
        else
            authoring::DeleteSubcategory(upd, cat, subcat);
    });
    RefreshNodes(*TV, IL, cat, category ? std::nullopt : std::optional<int>(subcat));
    GoTo(category ? nullptr : FindCategoryNode(*TV, cat));
}

void TViewFrm::ExportNodeClick() {
    Busy busy(this);
    QTreeWidgetItem* node = Selected();
    if (!node)
        return;
    using Kind = authoring::ExportScope::Kind;
    authoring::ExportScope scope;
    switch (NodeLevel(node)) {
    case 0:
        scope = {Kind::Category, NodeNumber(node), 0, 0};
        break;
    case 1:
        scope = {Kind::Subcategory, NodeNumber(node->parent()), NodeNumber(node), 0};
        break;
    default:
        scope = {Kind::Article, NodeNumber(node->parent()->parent()), NodeNumber(node->parent()),
                 NodeArticleID(node)};
        break;
    }
    // The node's name, made fit for a file name, is the name offered.
    const QString file = text::toQ(MakeFileName(NodeName(node))) + QStringLiteral(".zip");
    ForgetMenuNode();
    importwindows::ExportNode(this, scope, file);
}
