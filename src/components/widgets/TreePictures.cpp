// SPDX-License-Identifier: GPL-3.0-or-later

#include "TreePictures.h"

#include "Canvas.h"

#include <QPainter>
#include <QPainterPath>

namespace treepictures {
namespace {

const QColor kInk(40, 40, 60);
const QColor kPaper(252, 252, 246);

QPixmap blank() {
    return ui::canvas(QSize(kSize, kSize));
}

// A closed book in its category's colour, with a white band whose place
// differs from one category to the next, so that neighbours stay apart.
QPixmap categoryBook(int index) {
    QPixmap pm = blank();
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor cover =
        QColor::fromHsv((index * 137) % 360, 170 + (index % 3) * 30, 150 + (index % 4) * 25);
    // Pages showing at the bottom edge.
    p.setPen(QPen(kInk, 1));
    p.setBrush(kPaper);
    p.drawRect(QRectF(3.5, 12.5, 10, 2));
    p.setBrush(cover);
    p.setPen(QPen(cover.darker(160), 1));
    p.drawRoundedRect(QRectF(2.5, 1.5, 11, 11.5), 1.2, 1.2);
    // The spine.
    p.setPen(QPen(cover.darker(200), 1));
    p.drawLine(QPointF(4.5, 2), QPointF(4.5, 12.5));
    // The band.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 220));
    const double y = 3.0 + (index % 4) * 2.0;
    p.drawRect(QRectF(6, y, 6, 1.6));
    if (index >= 8)
        p.drawRect(QRectF(6, y + 3.2 > 11 ? y - 3.2 : y + 3.2, 6, 1.0));
    return pm;
}

// A written page: subcategories and articles.
QPixmap page() {
    QPixmap pm = blank();
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.moveTo(3.5, 1.5);
    path.lineTo(9.5, 1.5);
    path.lineTo(12.5, 4.5);
    path.lineTo(12.5, 14.5);
    path.lineTo(3.5, 14.5);
    path.closeSubpath();
    p.setPen(QPen(kInk, 1));
    p.setBrush(kPaper);
    p.drawPath(path);
    p.drawLine(QPointF(9.5, 1.5), QPointF(9.5, 4.5));
    p.drawLine(QPointF(9.5, 4.5), QPointF(12.5, 4.5));
    p.setPen(QPen(QColor(90, 120, 170), 1));
    for (int y = 6; y <= 12; y += 2)
        p.drawLine(QPointF(5, y + 0.5), QPointF(11, y + 0.5));
    return pm;
}

// The selected node: an open book with a marker.
QPixmap openBook() {
    QPixmap pm = blank();
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(kInk, 1));
    p.setBrush(kPaper);
    QPainterPath left;
    left.moveTo(8, 4);
    left.cubicTo(6, 2.5, 3, 2.5, 0.5, 3.5);
    left.lineTo(0.5, 13.5);
    left.cubicTo(3, 12.5, 6, 12.5, 8, 14);
    left.closeSubpath();
    QPainterPath right;
    right.moveTo(8, 4);
    right.cubicTo(10, 2.5, 13, 2.5, 15.5, 3.5);
    right.lineTo(15.5, 13.5);
    right.cubicTo(13, 12.5, 10, 12.5, 8, 14);
    right.closeSubpath();
    p.drawPath(left);
    p.drawPath(right);
    p.setPen(QPen(QColor(90, 120, 170), 1));
    for (int line = 0; line < 3; ++line) {
        const double y = 6 + 2.5 * line;
        p.drawLine(QPointF(2.5, y), QPointF(6.5, y + 0.5));
        p.drawLine(QPointF(9.5, y + 0.5), QPointF(13.5, y));
    }
    // A red ribbon down the fold.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(210, 50, 45));
    p.drawPolygon(QPolygonF({{7, 0.5}, {9, 0.5}, {9, 7}, {8, 6}, {7, 7}}));
    return pm;
}

} // namespace

QPixmap none() {
    return blank();
}

std::vector<QPixmap> imageList() {
    std::vector<QPixmap> list;
    list.reserve(kCount);
    for (int i = 0; i < 16; ++i)
        list.push_back(categoryBook(i));
    list.push_back(page());
    list.push_back(openBook());
    return list;
}

} // namespace treepictures
