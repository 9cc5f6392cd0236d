// SPDX-License-Identifier: GPL-3.0-or-later

// How the browser window takes and loses the activation: it ends itself when
// another form of the program is activated, and a right click that activates
// it is eaten, like the window system's mouse activation.

#include "UProgress.h"
#include "UView.h"
#include "components/widgets/ErrorReport.h"
#include "components/widgets/PageView.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QTimer>
#include <QTreeWidget>

bool TViewFrm::isOtherForm(const QWidget* w) const {
    if (w == window() || w->windowType() == Qt::Popup || w->windowType() == Qt::ToolTip ||
        w->windowType() == Qt::SplashScreen)
        return false;
    // Message boxes (error reports among them) and the progress window are
    // no forms of their own; the save dialog and its questions belong to
    // this window.
    if (qobject_cast<const QMessageBox*>(w) || dynamic_cast<const TProgress*>(w))
        return false;
    for (const QWidget* p = w; p; p = p->parentWidget())
        if (p == this)
            return false;
    return true;
}

bool TViewFrm::WMMouseActivate(QObject* watched, QEvent* e) {
    if (watched != TV->viewport() && watched != Info->browser()->viewport())
        return false;
    switch (e->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
        const auto* me = static_cast<QMouseEvent*>(e);
        eatingRight_ = me->button() == Qt::RightButton && (!isActiveWindow() || activationFresh_);
        return eatingRight_;
    }
    case QEvent::MouseButtonRelease:
        return eatingRight_ && static_cast<QMouseEvent*>(e)->button() == Qt::RightButton;
    case QEvent::ContextMenu:
        return eatingRight_ &&
               static_cast<QContextMenuEvent*>(e)->reason() == QContextMenuEvent::Mouse;
    default:
        return false;
    }
}

bool TViewFrm::eventFilter(QObject* watched, QEvent* e) {
    switch (e->type()) {
    case QEvent::WindowActivate: {
        if (!watched->isWidgetType())
            break;
        auto* w = static_cast<QWidget*>(watched);
        if (!w->isWindow())
            break;
        if (w == window()) {
            // A press that activates the window arrives with or right after
            // its activation; until the events at hand are done it counts as
            // a press on an inactive window.
            activationFresh_ = true;
            QTimer::singleShot(0, this, [this] { activationFresh_ = false; });
        } else if (!dying_ && isOtherForm(w)) {
            FormDeactivate();
        }
        break;
    }
    case QEvent::KeyPress:
        // The Delete key in the tree deletes the article (one's own only).
        if (watched == TV && static_cast<QKeyEvent*>(e)->key() == Qt::Key_Delete &&
            static_cast<QKeyEvent*>(e)->modifiers() == Qt::NoModifier) {
            ui::guarded([this] { DeleteArticleClick(); });
            return true;
        }
        break;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseButtonRelease:
    case QEvent::ContextMenu:
        if (WMMouseActivate(watched, e))
            return true;
        // A right click selects nothing: the menu alone follows the node.
        if (watched == TV->viewport() && e->type() != QEvent::ContextMenu &&
            static_cast<QMouseEvent*>(e)->button() == Qt::RightButton)
            return true;
        if (e->type() == QEvent::MouseButtonRelease && watched == TV->viewport() &&
            static_cast<QMouseEvent*>(e)->button() == Qt::LeftButton)
            ui::guarded([this] { TVClick(); });
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, e);
}
