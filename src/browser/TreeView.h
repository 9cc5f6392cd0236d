// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// The parts of the browser window: its tree view (hot tracking, the
// right-clicked node standing out while its menu is shown, the selection over
// the whole row), the close button's cross and the save dialog.

#include <QIcon>
#include <QPersistentModelIndex>
#include <QProxyStyle>
#include <QStyledItemDelegate>
#include <QTreeWidget>

class QFileDialog;

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
    // One column of names without a header, one selection, hot tracking,
    // the selection kept visible without the focus, menus asked for by the
    // window.
    explicit CategoryTree(QWidget* parent);
    TreeDelegate* delegate() const { return delegate_; }

protected:
    void drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                 const QModelIndex& index) const override;

private:
    TreeDelegate* delegate_ = nullptr;
};

class FullRowStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* ret) const override;
};

// The cross of the browser's close button.
QIcon closeGlyph();

// The dialog that saves an article as an HTML file.
QFileDialog* makeSaveDialog(QWidget* parent);
