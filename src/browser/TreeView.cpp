// SPDX-License-Identifier: GPL-3.0-or-later

#include "TreeView.h"

#include <QPainter>

void TreeDelegate::initStyleOption(QStyleOptionViewItem* opt, const QModelIndex& index) const {
    QStyledItemDelegate::initStyleOption(opt, index);
    if (drop.isValid()) {
        if (index == drop)
            opt->state |= QStyle::State_Selected;
        else
            opt->state &= ~QStyle::State_Selected;
    }
    if (opt->state & QStyle::State_MouseOver) {
        opt->font.setUnderline(true);
        if (!(opt->state & QStyle::State_Selected))
            opt->palette.setColor(QPalette::Text, QColor(0, 102, 204));
    }
}

void CategoryTree::drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                           const QModelIndex& index) const {
    const bool selected = delegate_ && delegate_->drop.isValid()
                              ? index == delegate_->drop
                              : selectionModel()->isSelected(index);
    if (selected) {
        const QPalette::ColorGroup group = hasFocus() ? QPalette::Active : QPalette::Inactive;
        painter->fillRect(QRect(0, option.rect.y(), viewport()->width(), option.rect.height()),
                          palette().brush(group, QPalette::Highlight));
    }
    QTreeWidget::drawRow(painter, option, index);
}

int FullRowStyle::styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                            QStyleHintReturn* ret) const {
    if (hint == SH_ItemView_ShowDecorationSelected)
        return 1;
    return QProxyStyle::styleHint(hint, option, widget, ret);
}

QIcon closeGlyph() {
    QPixmap pm(9, 8);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setPen(QPen(Qt::black, 1.6));
    p.setRenderHint(QPainter::Antialiasing);
    p.drawLine(QPointF(1, 0.5), QPointF(8, 7.5));
    p.drawLine(QPointF(8, 0.5), QPointF(1, 7.5));
    return QIcon(pm);
}
