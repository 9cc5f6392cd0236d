// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// The fragment column of the result list: the text as it is, its matched
// words in bold, cut with "…" where the column ends. The text is laid out
// as plain characters: whatever an article holds, nothing in it is read as
// markup.

#include <QList>
#include <QStyledItemDelegate>
#include <QTextLayout>

class FragmentDelegate : public QStyledItemDelegate {
public:
    // The role by which a row gives its marks: begin and end of each
    // matched word, in characters of the text, one pair after another.
    static constexpr int MarksRole = Qt::UserRole + 1;

    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

    // The bold stretches of a text of `length` characters: the marks that
    // lie within it, in order and apart; any other is left out.
    static QList<QTextLayout::FormatRange> boldRanges(qsizetype length, const QList<int>& marks);
};
