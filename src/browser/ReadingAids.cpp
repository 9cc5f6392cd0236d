// SPDX-License-Identifier: GPL-3.0-or-later

#include "ReadingAids.h"

#include "CodeColours.h"
#include "FindBar.h"
#include "UView.h"
#include "components/widgets/Controls.h"
#include "components/widgets/ErrorReport.h"
#include "components/widgets/PageView.h"
#include "settings/Store.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPointer>
#include <QScrollBar>
#include <QShortcut>
#include <QTextBrowser>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

namespace {

std::vector<int> pathOf(const QTreeWidgetItem* node) {
    std::vector<int> path;
    for (; node; node = node->parent()) {
        const QTreeWidgetItem* parent = node->parent();
        const int row =
            parent ? parent->indexOfChild(const_cast<QTreeWidgetItem*>(node))
                   : node->treeWidget()->indexOfTopLevelItem(const_cast<QTreeWidgetItem*>(node));
        path.insert(path.begin(), row);
    }
    return path;
}

QTreeWidgetItem* nodeAt(QTreeWidget* tv, const std::vector<int>& path) {
    QTreeWidgetItem* node = nullptr;
    for (size_t i = 0; i < path.size(); ++i) {
        node = i == 0 ? tv->topLevelItem(path[0]) : node->child(path[i]);
        if (!node)
            return nullptr;
    }
    return node;
}

} // namespace

ReadingAids::Offer::~Offer() {
    action->setVisible(false);
}

ReadingAids::ReadingAids(TViewFrm* frm, std::function<void(QTreeWidgetItem*)> show)
    : QObject(frm), frm_(frm), show_(std::move(show)) {
    setObjectName(QStringLiteral("ReadingAids"));
    // Beside the expand and collapse buttons of the top strip.
    BackBtn =
        ui::flatButton(frm->Panel, "BackBtn", QString::fromUtf8("◄"), "Назад (Alt+Влево)", 15, 14);
    BackBtn->move(34, 1);
    ForwardBtn = ui::flatButton(frm->Panel, "ForwardBtn", QString::fromUtf8("►"),
                                "Вперёд (Alt+Вправо)", 15, 14);
    ForwardBtn->move(50, 1);
    ui::connectGuarded(BackBtn, &QToolButton::clicked, this, [this] { Back(); });
    ui::connectGuarded(ForwardBtn, &QToolButton::clicked, this, [this] { Forward(); });
    updateButtons();

    auto key = [this, frm](const char* keys, auto handler) {
        auto* s = new QShortcut(QKeySequence(QString::fromLatin1(keys)), frm);
        s->setContext(Qt::WidgetWithChildrenShortcut);
        ui::connectGuarded(s, &QShortcut::activated, this, handler);
        return s;
    };
    key("Alt+Left", [this] { Back(); });
    key("Alt+Right", [this] { Forward(); });
    key("Ctrl+=", [this] { ZoomIn(); });
    key("Ctrl++", [this] { ZoomIn(); });
    key("Ctrl+-", [this] { ZoomOut(); });
    key("Ctrl+0", [this] { ZoomReset(); });

    ui::PageView* view = frm->Info;
    Find = new FindBar(view);
    key("F3", [this] {
        if (Find->IsOpen() && !Find->Text->text().isEmpty())
            Find->Next();
        else
            Find->Open();
    });
    key("Shift+F3", [this] {
        if (!Find->IsOpen())
            Find->Open();
        Find->Previous();
    });
    // Esc means nothing in the browser otherwise: it closes the bar only.
    QShortcut* esc = key("Esc", [this] { Find->Close(); });
    esc->setEnabled(false);
    Find->installEventFilter(this);
    findEsc_ = esc;

    Colours = new CodeColours(view->browser());
    CopyCode = new QAction(QString::fromUtf8("Копировать код"), frm->PMenu);
    CopyCode->setObjectName(QStringLiteral("CopyCode"));
    CopyCode->setVisible(false);
    frm->PMenu->addAction(CopyCode);
    ui::connectGuarded(CopyCode, &QAction::triggered, this,
                       [this] { QApplication::clipboard()->setText(code_); });

    ui::connectGuarded(view, &ui::PageView::ZoomWheel, this, [this](int notches) {
        int level = frm_->Info->Zoom();
        for (int i = 0; i < notches; ++i)
            level = reading::ZoomIn(level);
        for (int i = 0; i > notches; --i)
            level = reading::ZoomOut(level);
        setZoom(level);
    });
    connect(view, &ui::PageView::Leaving, this, [this] {
        if (!travelling_)
            history_.SetScroll(scroll());
    });
    view->SetZoom(reading::ValidZoom(settings::LoadZoom()));

    // The mouse's back and forward buttons anywhere in the window; after
    // the window's own filter, so they come here first.
    qApp->installEventFilter(this);
}

ReadingAids::~ReadingAids() = default;

int ReadingAids::scroll() const {
    return frm_->Info->browser()->verticalScrollBar()->value();
}

void ReadingAids::Shown(QTreeWidgetItem* node) {
    if (travelling_ || !node)
        return;
    history_.Visit(pathOf(node));
    updateButtons();
}

void ReadingAids::Back() {
    if (!history_.CanBack())
        return;
    history_.SetScroll(scroll());
    go(history_.Back());
}

void ReadingAids::Forward() {
    if (!history_.CanForward())
        return;
    history_.SetScroll(scroll());
    go(history_.Forward());
}

void ReadingAids::go(const reading::Page* page) {
    updateButtons();
    QTreeWidgetItem* node = nodeAt(frm_->TV, page->node);
    if (!node)
        return;
    struct Travel {
        bool& on;
        explicit Travel(bool& b) : on(b) { on = true; }
        ~Travel() { on = false; }
    } travel(travelling_);
    for (QTreeWidgetItem* p = node->parent(); p; p = p->parent())
        p->setExpanded(true);
    frm_->TV->setCurrentItem(node);
    frm_->TV->scrollToItem(node);
    show_(node);
    // Back where the reader left it, once the page has been laid out.
    const int to = page->scroll;
    QScrollBar* bar = frm_->Info->browser()->verticalScrollBar();
    bar->setValue(to);
    QTimer::singleShot(0, bar, [bar, to] { bar->setValue(to); });
}

void ReadingAids::updateButtons() {
    BackBtn->setEnabled(history_.CanBack());
    ForwardBtn->setEnabled(history_.CanForward());
}

void ReadingAids::setZoom(int percent) {
    if (percent == frm_->Info->Zoom())
        return;
    frm_->Info->SetZoom(percent);
    settings::SaveZoom(percent);
}

void ReadingAids::ZoomIn() {
    setZoom(reading::ZoomIn(frm_->Info->Zoom()));
}

void ReadingAids::ZoomOut() {
    setZoom(reading::ZoomOut(frm_->Info->Zoom()));
}

void ReadingAids::ZoomReset() {
    setZoom(reading::kNormalZoom);
}

std::unique_ptr<ReadingAids::Offer> ReadingAids::OfferCode(const QPoint& pos) {
    QTextBrowser* b = frm_->Info->browser();
    code_ = CodeAt(b->document(), b->cursorForPosition(pos).position());
    CopyCode->setVisible(!code_.isEmpty());
    return std::make_unique<Offer>(CopyCode);
}

bool ReadingAids::eventFilter(QObject* watched, QEvent* e) {
    if (watched == Find && (e->type() == QEvent::Show || e->type() == QEvent::Hide)) {
        findEsc_->setEnabled(e->type() == QEvent::Show);
        return false;
    }
    switch (e->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseButtonRelease: {
        const auto button = static_cast<QMouseEvent*>(e)->button();
        if (button != Qt::BackButton && button != Qt::ForwardButton)
            break;
        auto* w = qobject_cast<QWidget*>(watched);
        if (!w || (w != frm_ && !frm_->isAncestorOf(w)))
            break;
        // The press goes back or forward; the other events of the button
        // would select a node or a text under the mouse.
        if (e->type() == QEvent::MouseButtonPress)
            ui::guarded([this, button] { button == Qt::BackButton ? Back() : Forward(); });
        return true;
    }
    default:
        break;
    }
    return QObject::eventFilter(watched, e);
}
