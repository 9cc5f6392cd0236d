// SPDX-License-Identifier: GPL-3.0-or-later

#include "UpdatePictures.h"

#include "components/widgets/Canvas.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace update {
namespace {

QPixmap canvas() {
    return ui::canvas(QSize(64, 64));
}

} // namespace

QPixmap waitPicture() {
    QPixmap pixmap = canvas();
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor wood(150, 95, 45);
    const QColor ink(60, 45, 30);

    // Glass: two bulbs meeting at a narrow neck.
    QPainterPath glass;
    glass.moveTo(16, 10);
    glass.lineTo(48, 10);
    glass.cubicTo(48, 26, 35, 28, 34, 32);
    glass.cubicTo(35, 36, 48, 38, 48, 54);
    glass.lineTo(16, 54);
    glass.cubicTo(16, 38, 29, 36, 30, 32);
    glass.cubicTo(29, 28, 16, 26, 16, 10);
    QLinearGradient shine(16, 0, 48, 0);
    shine.setColorAt(0, QColor(235, 245, 255));
    shine.setColorAt(0.35, QColor(255, 255, 255));
    shine.setColorAt(1, QColor(200, 215, 235));
    p.setPen(QPen(QColor(110, 130, 160), 1.5));
    p.setBrush(shine);
    p.drawPath(glass);

    // Sand: what is left above, the heap below and the thread between.
    const QColor sand(230, 180, 70);
    p.setPen(Qt::NoPen);
    p.setBrush(sand);
    QPainterPath top;
    top.moveTo(22, 20);
    top.lineTo(42, 20);
    top.cubicTo(40, 26, 34, 28, 32, 31);
    top.cubicTo(30, 28, 24, 26, 22, 20);
    p.drawPath(top);
    QPainterPath heap;
    heap.moveTo(19, 53);
    heap.cubicTo(22, 44, 28, 42, 32, 41);
    heap.cubicTo(36, 42, 42, 44, 45, 53);
    heap.closeSubpath();
    p.drawPath(heap);
    p.setPen(QPen(sand, 1.5));
    p.drawLine(QPointF(32, 31), QPointF(32, 42));

    // Frame: two boards and two posts.
    p.setPen(QPen(ink, 1));
    p.setBrush(wood);
    p.drawRoundedRect(QRectF(10, 4, 44, 6), 2, 2);
    p.drawRoundedRect(QRectF(10, 54, 44, 6), 2, 2);
    p.setBrush(wood.lighter(115));
    p.drawRect(QRectF(12, 10, 3, 44));
    p.drawRect(QRectF(49, 10, 3, 44));
    return pixmap;
}

QPixmap downloadPicture() {
    QPixmap pixmap = canvas();
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);

    // Globe.
    const QRectF globe(6, 4, 40, 40);
    QRadialGradient sea(QPointF(18, 14), 40);
    sea.setColorAt(0, QColor(150, 200, 250));
    sea.setColorAt(1, QColor(30, 90, 170));
    p.setPen(QPen(QColor(20, 60, 120), 1.5));
    p.setBrush(sea);
    p.drawEllipse(globe);
    p.setPen(QPen(QColor(220, 235, 255, 170), 1));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRectF(16, 4, 20, 40));
    p.drawLine(QPointF(26, 4), QPointF(26, 44));
    p.drawLine(QPointF(6, 24), QPointF(46, 24));
    p.drawLine(QPointF(9, 14), QPointF(43, 14));
    p.drawLine(QPointF(9, 34), QPointF(43, 34));

    // Tray.
    p.setPen(QPen(QColor(60, 60, 70), 1.5));
    p.setBrush(QColor(200, 200, 205));
    QPainterPath tray;
    tray.moveTo(26, 50);
    tray.lineTo(30, 60);
    tray.lineTo(58, 60);
    tray.lineTo(62, 50);
    tray.lineTo(54, 50);
    tray.lineTo(52, 54);
    tray.lineTo(36, 54);
    tray.lineTo(34, 50);
    tray.closeSubpath();
    p.drawPath(tray);

    // Arrow down into it.
    QPainterPath arrow;
    arrow.moveTo(40, 24);
    arrow.lineTo(48, 24);
    arrow.lineTo(48, 40);
    arrow.lineTo(55, 40);
    arrow.lineTo(44, 52);
    arrow.lineTo(33, 40);
    arrow.lineTo(40, 40);
    arrow.closeSubpath();
    p.setPen(QPen(QColor(20, 100, 35), 1.5));
    p.setBrush(QColor(60, 175, 75));
    p.drawPath(arrow);
    return pixmap;
}

} // namespace update
