// SPDX-License-Identifier: GPL-3.0-or-later

#include "FragmentDelegate.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>
#include <QTextLine>

QList<QTextLayout::FormatRange> FragmentDelegate::boldRanges(qsizetype length,
                                                             const QList<int>& marks) {
    QList<QTextLayout::FormatRange> ranges;
    QTextCharFormat bold;
    bold.setFontWeight(QFont::Bold);
    int after = 0;
    for (qsizetype i = 0; i + 1 < marks.size(); i += 2) {
        const int begin = marks[i];
        const int end = marks[i + 1];
        if (begin < after || end <= begin || end > length)
            continue;
        ranges.append({begin, end - begin, bold});
        after = end;
    }
    return ranges;
}

namespace {

// One line of the text with its bold stretches, no wider than `width`.
void layOut(QTextLayout& layout, const QList<QTextLayout::FormatRange>& ranges) {
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    layout.setTextOption(option);
    layout.setFormats(ranges);
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
}

} // namespace

void FragmentDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const {
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QString text = opt.text;
    opt.text.clear();
    const QWidget* widget = opt.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    // The row's background, selection and focus as any cell has them.
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);
    if (text.isEmpty())
        return;

    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
    const QRect area = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, widget)
                           .adjusted(margin, 0, -margin, 0);
    const QList<QTextLayout::FormatRange> ranges =
        boldRanges(text.size(), index.data(MarksRole).value<QList<int>>());

    QTextLayout layout(text, opt.font);
    layOut(layout, ranges);
    if (layout.lineAt(0).naturalTextWidth() > area.width()) {
        // Cut where the rest and "…" fit; the bold stretches keep to it.
        const QString ellipsis(QChar(0x2026));
        const qreal room = area.width() - QFontMetricsF(opt.font).horizontalAdvance(ellipsis) * 1.2;
        const int cut =
            qMax(0, layout.lineAt(0).xToCursor(qMax<qreal>(0, room), QTextLine::CursorOnCharacter));
        QList<QTextLayout::FormatRange> kept;
        for (QTextLayout::FormatRange r : ranges) {
            if (r.start >= cut)
                break;
            r.length = qMin(r.length, cut - r.start);
            kept.append(r);
        }
        layout.setText(text.left(cut) + ellipsis);
        layOut(layout, kept);
    }

    painter->save();
    painter->setClipRect(area);
    const bool selected = opt.state & QStyle::State_Selected;
    const QPalette::ColorGroup group =
        opt.state & QStyle::State_Enabled ? QPalette::Normal : QPalette::Disabled;
    painter->setPen(
        opt.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
    const QTextLine line = layout.lineAt(0);
    layout.draw(painter, QPointF(area.left(), area.top() + (area.height() - line.height()) / 2));
    painter->restore();
}
