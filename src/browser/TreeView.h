// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// The parts of the browser's tree view: hot tracking, the right-clicked node
// standing out while its menu is shown, and the selection over the whole row.

#include <QIcon>
#include <QPersistentModelIndex>
#include <QProxyStyle>
#include <QStyledItemDelegate>
#include <QTreeWidget>

// Hot tracking (the node under the mouse underlined in the link colour) and
// the right-clicked node standing out as selected while its menu is shown.
class TreeDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QPersistentModelIndex drop;

protected:
    void initStyleOption(QStyleOptionViewItem* opt, const QModelIndex& index) const override;
};

// The selection covers the whole row: the branch area (FullRowStyle) and
// the width of the view beyond the names.
class CategoryTree : public QTreeWidget {
public:
    using QTreeWidget::QTreeWidget;
    void setDelegate(const TreeDelegate* d) { delegate_ = d; }

protected:
    void drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                 const QModelIndex& index) const override;

private:
    const TreeDelegate* delegate_ = nullptr;
};

class FullRowStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* ret) const override;
};

// The cross of the browser's close button.
QIcon closeGlyph();
