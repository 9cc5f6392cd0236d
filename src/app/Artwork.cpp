// SPDX-License-Identifier: GPL-3.0-or-later

#include "Artwork.h"

#include "components/widgets/Canvas.h"

#include <QFontMetrics>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <algorithm>

namespace artwork {
namespace {

const QColor kNavy(24, 52, 104);
const QColor kBlue(45, 110, 200);
const QColor kGold(240, 180, 40);

// A light bulb over an open book: a tip to read. Drawn in a 64 x 64 box.
void drawEmblem(QPainter& p) {
    p.setRenderHint(QPainter::Antialiasing);

    // The book.
    QPainterPath left;
    left.moveTo(4, 44);
    left.cubicTo(14, 40, 24, 41, 32, 47);
    left.lineTo(32, 60);
    left.cubicTo(24, 54, 14, 53, 4, 57);
    left.closeSubpath();
    QPainterPath right;
    right.moveTo(60, 44);
    right.cubicTo(50, 40, 40, 41, 32, 47);
    right.lineTo(32, 60);
    right.cubicTo(40, 54, 50, 53, 60, 57);
    right.closeSubpath();
    p.setPen(QPen(kNavy, 1.5));
    p.setBrush(QColor(250, 250, 244));
    p.drawPath(left);
    p.drawPath(right);
    p.setPen(QPen(QColor(150, 165, 190), 1));
    for (int i = 0; i < 3; ++i) {
        const double y = 48.5 + i * 3;
        p.drawLine(QPointF(9, y), QPointF(27, y + 1.5));
        p.drawLine(QPointF(37, y + 1.5), QPointF(55, y));
    }

    // The glow and the bulb.
    QRadialGradient glow(QPointF(32, 20), 22);
    glow.setColorAt(0, QColor(255, 230, 120, 200));
    glow.setColorAt(1, QColor(255, 230, 120, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(glow);
    p.drawEllipse(QPointF(32, 20), 22, 22);

    QRadialGradient glass(QPointF(28, 14), 16);
    glass.setColorAt(0, QColor(255, 250, 210));
    glass.setColorAt(1, kGold);
    p.setPen(QPen(kGold.darker(150), 1.5));
    p.setBrush(glass);
    QPainterPath bulb;
    bulb.moveTo(26, 34);
    bulb.cubicTo(26, 28, 18, 26, 18, 18);
    bulb.cubicTo(18, 10, 25, 5, 32, 5);
    bulb.cubicTo(39, 5, 46, 10, 46, 18);
    bulb.cubicTo(46, 26, 38, 28, 38, 34);
    bulb.closeSubpath();
    p.drawPath(bulb);
    p.setBrush(QColor(150, 155, 165));
    p.setPen(QPen(QColor(90, 95, 105), 1));
    p.drawRoundedRect(QRectF(26, 34, 12, 7), 2, 2);
    p.drawLine(QPointF(26, 37.5), QPointF(38, 37.5));
    p.setPen(QPen(kGold.darker(170), 1.2));
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(QPolygonF({{28, 33}, {29, 22}, {32, 26}, {35, 22}, {36, 33}}));
}

} // namespace

QPixmap splashPicture() {
    QPixmap pm = ui::canvas(QSize(512, 256));
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    QLinearGradient sky(0, 0, 512, 256);
    sky.setColorAt(0, QColor(255, 255, 255));
    sky.setColorAt(1, QColor(208, 224, 246));
    p.fillRect(QRect(0, 0, 512, 256), sky);

    // Faint lines of code across the background.
    QFont code(QStringLiteral("DejaVu Sans Mono"));
    code.setPixelSize(11);
    p.setFont(code);
    p.setPen(QColor(170, 190, 220));
    // Kept left of 280, clear of the loading line.
    const char* lines[] = {
        "procedure TForm1.ShowTip;",
        "var  S: string;",
        "begin",
        "  S := Tips[Random(Count)];",
        "  Memo1.Lines.Text := S;",
        "  Memo1.SelStart := 0;",
        "end;",
    };
    int y = 150;
    for (const char* line : lines) {
        p.drawText(QPointF(14, y), QString::fromLatin1(line));
        y += 14;
    }

    // The emblem, large, on the left.
    p.save();
    p.translate(36, 14);
    p.scale(2.0, 2.0);
    drawEmblem(p);
    p.restore();

    // The title, as large as fits right of the emblem in the font at hand.
    QFont title(QStringLiteral("Tahoma"));
    title.setBold(true);
    // One measurement: the advance grows with the size, near enough in
    // proportion (each size tried is another font to load, slow at start-up).
    title.setPixelSize(54);
    const int wide = QFontMetrics(title).horizontalAdvance(QStringLiteral("Tipsara"));
    if (wide > 200)
        title.setPixelSize(std::max(20, 54 * 200 / wide / 2 * 2));
    p.setFont(title);
    p.setPen(QColor(150, 165, 190));
    p.drawText(QPointF(293, 84), QStringLiteral("Tipsara"));
    p.setPen(kNavy);
    p.drawText(QPointF(290, 81), QStringLiteral("Tipsara"));

    QFont sub(QStringLiteral("Tahoma"));
    sub.setPixelSize(15);
    p.setFont(sub);
    p.setPen(kBlue);
    p.drawText(QPointF(293, 110), QString::fromUtf8("советы по Delphi"));
    p.setPen(QPen(kBlue, 2));
    p.drawLine(QPointF(293, 122), QPointF(490, 122));
    sub.setBold(true);
    p.setFont(sub);
    p.setPen(kNavy);
    p.drawText(QRectF(293, 128, 197, 20), Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("2.1"));
    return pm;
}

QPixmap logoPicture() {
    QPixmap pm = ui::canvas(QSize(64, 64));
    QPainter p(&pm);
    drawEmblem(p);
    return pm;
}

} // namespace artwork
