// SPDX-License-Identifier: GPL-3.0-or-later

#include "Artwork.h"

#include "components/widgets/Canvas.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>

namespace artwork {
namespace {

const QColor kNavy(24, 52, 104);
const QColor kBlue(45, 110, 200);

QPixmap emblem(QSize size) {
    return ui::picture(QStringLiteral(":/icons/artwork/emblem.svg"), size);
}

} // namespace

QPixmap splashPicture() {
    QPixmap pm = ui::picture(QStringLiteral(":/icons/artwork/splash.svg"), QSize(512, 256));
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

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
    p.drawPixmap(36, 14, emblem(QSize(128, 128)));

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
    sub.setBold(true);
    p.setFont(sub);
    p.setPen(kNavy);
    p.drawText(QRectF(293, 128, 197, 20), Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("2.1"));
    return pm;
}

QPixmap logoPicture() {
    return emblem(QSize(64, 64));
}

} // namespace artwork
