// SPDX-License-Identifier: GPL-3.0-or-later

#include "TreeView.h"

#include "components/widgets/Canvas.h"
#include "components/widgets/Controls.h"
#include "components/widgets/TreePictures.h"

#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHeaderView>
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
        // The blue of a light tree would hardly show on a dark one: there
        // the palette's own link colour, made for its background.
        const bool dark = opt->palette.color(QPalette::Base).lightness() < 128;
        if (!(opt->state & QStyle::State_Selected))
            opt->palette.setColor(QPalette::Text,
                                  dark ? opt->palette.color(QPalette::Link) : QColor(0, 102, 204));
    }
}

CategoryTree::CategoryTree(QWidget* parent) : QTreeWidget(parent) {
    setObjectName(QStringLiteral("TV"));
    setFont(ui::formFont());
    setColumnCount(1);
    setHeaderHidden(true);
    header()->setStretchLastSection(false);
    header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setAllColumnsShowFocus(true);
    setUniformRowHeights(true);
    setIndentation(19);
    setIconSize(QSize(treepictures::kSize, treepictures::kSize));
    setExpandsOnDoubleClick(true);
    setMouseTracking(true);
    viewport()->setAttribute(Qt::WA_Hover, true);
    auto* style = new FullRowStyle;
    style->setParent(this);
    setStyle(style);
    delegate_ = new TreeDelegate(this);
    setItemDelegate(delegate_);
    ui::keepSelectionVisible(this);
    setContextMenuPolicy(Qt::CustomContextMenu);
}

QFileDialog* makeSaveDialog(QWidget* parent) {
    auto* sd = new QFileDialog(parent, QString::fromUtf8("Сохранение совета в файл..."));
    sd->setObjectName(QStringLiteral("SD"));
    sd->setAcceptMode(QFileDialog::AcceptSave);
    sd->setFileMode(QFileDialog::AnyFile);
    // Qt's own dialog everywhere: the same overwrite question and
    // default-extension rule on every desktop.
    sd->setOption(QFileDialog::DontUseNativeDialog, true);
    sd->setOption(QFileDialog::DontConfirmOverwrite, false);
    sd->setNameFilter(QString::fromUtf8("HTML файлы (*.htm*)"));
    sd->setDefaultSuffix(QStringLiteral("html"));
    sd->setFilter(sd->filter() | QDir::Hidden);
    sd->setSizeGripEnabled(true);
    return sd;
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
    QPixmap pm = ui::canvas(QSize(9, 8));
    QPainter p(&pm);
    // In the buttons' text colour, which a dark desktop makes light.
    p.setPen(QPen(QGuiApplication::palette().color(QPalette::ButtonText), 1.6));
    p.setRenderHint(QPainter::Antialiasing);
    p.drawLine(QPointF(1, 0.5), QPointF(8, 7.5));
    p.drawLine(QPointF(8, 0.5), QPointF(1, 7.5));
    return QIcon(pm);
}
