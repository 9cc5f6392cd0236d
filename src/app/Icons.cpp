// SPDX-License-Identifier: GPL-3.0-or-later

#include "Icons.h"

#include <QApplication>
#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QStyle>
#include <QStyleOption>

#include <algorithm>
#include <cmath>
#include <map>

namespace icons {
namespace {

// Every picture is drawn on a 16 x 16 grid and scaled.
using Draw = void (*)(QPainter&);

const QColor kInk(40, 40, 60);
const QColor kBlue(45, 110, 200);
const QColor kGreen(40, 150, 60);
const QColor kRed(200, 50, 45);
const QColor kGold(225, 170, 40);
const QColor kPaper(250, 250, 245);

void page(QPainter& p, const QColor& fill = kPaper) {
    QPainterPath path;
    path.moveTo(3, 1.5);
    path.lineTo(10, 1.5);
    path.lineTo(13, 4.5);
    path.lineTo(13, 14.5);
    path.lineTo(3, 14.5);
    path.closeSubpath();
    p.setPen(QPen(kInk, 1));
    p.setBrush(fill);
    p.drawPath(path);
    p.drawLine(QPointF(10, 1.5), QPointF(10, 4.5));
    p.drawLine(QPointF(10, 4.5), QPointF(13, 4.5));
}

void lines(QPainter& p, int from, int to) {
    p.setPen(QPen(QColor(120, 130, 150), 1));
    for (int y = from; y <= to; y += 2)
        p.drawLine(QPointF(5, y + 0.5), QPointF(11, y + 0.5));
}

void disc(QPainter& p, const QColor& c) {
    p.setPen(QPen(c.darker(130), 1));
    p.setBrush(c);
    p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
}

void letter(QPainter& p, const QString& s, const QColor& c, int px = 10, bool bold = true) {
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(px);
    f.setBold(bold);
    p.setFont(f);
    p.setPen(c);
    p.drawText(QRectF(0, 0, 16, 16), Qt::AlignCenter, s);
}

void plus(QPainter& p, QPointF c, const QColor& col) {
    p.setPen(Qt::NoPen);
    p.setBrush(col);
    p.drawRect(QRectF(c.x() - 3.5, c.y() - 1, 7, 2));
    p.drawRect(QRectF(c.x() - 1, c.y() - 3.5, 2, 7));
}

void drawNew(QPainter& p) {
    page(p);
}
void drawOpen(QPainter& p) {
    p.setPen(QPen(kInk, 1));
    p.setBrush(kGold.darker(110));
    p.drawRect(QRectF(1.5, 3.5, 12, 10));
    p.setBrush(kGold);
    QPolygonF front({{1.5, 13.5}, {4.5, 7.5}, {15.5, 7.5}, {12.5, 13.5}});
    p.drawPolygon(front);
}
void drawExit(QPainter& p) {
    p.setPen(QPen(kInk, 1));
    p.setBrush(QColor(170, 110, 60));
    p.drawRect(QRectF(2.5, 1.5, 7, 13));
    p.setBrush(kGold);
    p.drawEllipse(QRectF(7, 7.5, 1.5, 1.5));
    p.setPen(QPen(kRed, 2));
    p.drawLine(QPointF(9, 8), QPointF(15, 8));
    p.drawLine(QPointF(12.5, 5.5), QPointF(15, 8));
    p.drawLine(QPointF(12.5, 10.5), QPointF(15, 8));
}
void drawSave(QPainter& p) {
    p.setPen(QPen(kInk, 1));
    p.setBrush(kBlue);
    p.drawRect(QRectF(1.5, 1.5, 13, 13));
    p.setBrush(kPaper);
    p.drawRect(QRectF(4.5, 1.5, 7, 5));
    p.setBrush(QColor(200, 200, 210));
    p.drawRect(QRectF(4.5, 9.5, 7, 5));
}
void drawPrint(QPainter& p) {
    p.setPen(QPen(kInk, 1));
    p.setBrush(kPaper);
    p.drawRect(QRectF(4.5, 1.5, 7, 5));
    p.setBrush(QColor(170, 175, 185));
    p.drawRect(QRectF(1.5, 6.5, 13, 6));
    p.setBrush(kPaper);
    p.drawRect(QRectF(4.5, 10.5, 7, 4));
}
void drawHelp(QPainter& p) {
    disc(p, kBlue);
    letter(p, QStringLiteral("?"), Qt::white, 11);
}
void drawCopy(QPainter& p) {
    p.translate(-1.5, -1);
    page(p);
    p.translate(3, 2);
    page(p);
}
void drawPaste(QPainter& p) {
    p.setPen(QPen(kInk, 1));
    p.setBrush(QColor(180, 130, 70));
    p.drawRect(QRectF(2.5, 2.5, 10, 12));
    p.setBrush(QColor(200, 200, 210));
    p.drawRect(QRectF(5.5, 1.5, 4, 2));
    p.setBrush(kPaper);
    p.drawRect(QRectF(6.5, 6.5, 8, 8));
}
void drawInfo(QPainter& p) {
    disc(p, kBlue);
    letter(p, QStringLiteral("i"), Qt::white, 11);
}
void drawBook(QPainter& p) {
    p.setPen(QPen(kInk, 1));
    p.setBrush(QColor(70, 120, 190));
    p.drawRect(QRectF(2.5, 1.5, 11, 13));
    p.setBrush(kPaper);
    p.drawRect(QRectF(4.5, 1.5, 9, 11));
    lines(p, 4, 10);
}
void drawMail(QPainter& p) {
    p.setPen(QPen(kInk, 1));
    p.setBrush(kPaper);
    p.drawRect(QRectF(1.5, 3.5, 13, 9));
    p.drawLine(QPointF(1.5, 3.5), QPointF(8, 9));
    p.drawLine(QPointF(14.5, 3.5), QPointF(8, 9));
    p.setPen(QPen(kGreen, 2));
    p.drawLine(QPointF(10, 14), QPointF(15, 14));
}
void drawDelete(QPainter& p) {
    p.setPen(QPen(kRed, 2.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(3.5, 3.5), QPointF(12.5, 12.5));
    p.drawLine(QPointF(12.5, 3.5), QPointF(3.5, 12.5));
}
void drawRefresh(QPainter& p) {
    p.setPen(QPen(kGreen, 2));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(2.5, 2.5, 11, 11), 30 * 16, 280 * 16);
    p.setPen(Qt::NoPen);
    p.setBrush(kGreen);
    p.drawPolygon(QPolygonF({{10, 1}, {15, 3.5}, {11, 7}}));
}
void drawTree(QPainter& p) {
    p.setPen(QPen(kInk, 1));
    p.drawLine(QPointF(4.5, 4), QPointF(4.5, 12.5));
    p.drawLine(QPointF(4.5, 8.5), QPointF(9, 8.5));
    p.drawLine(QPointF(4.5, 12.5), QPointF(9, 12.5));
    p.setBrush(kGold);
    p.drawRect(QRectF(2.5, 1.5, 5, 3));
    p.drawRect(QRectF(9.5, 7, 5, 3));
    p.drawRect(QRectF(9.5, 11, 5, 3));
}
void drawAdd(QPainter& p) {
    page(p);
    lines(p, 5, 7);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(6, 6, 10, 10));
    plus(p, {11, 11}, kGreen);
}
void drawEdit(QPainter& p) {
    p.setPen(QPen(kInk, 1));
    p.setBrush(kGold);
    p.drawPolygon(QPolygonF({{11, 1.5}, {14.5, 5}, {5, 14.5}, {1.5, 14.5}, {1.5, 11}}));
}
void drawStar(QPainter& p) {
    QPolygonF star;
    for (int i = 0; i < 10; ++i) {
        double r = i % 2 ? 3.0 : 7.0;
        double a = -M_PI / 2 + i * M_PI / 5;
        star << QPointF(8 + r * std::cos(a), 8.5 + r * std::sin(a));
    }
    p.setPen(QPen(kGold.darker(140), 1));
    p.setBrush(kGold);
    p.drawPolygon(star);
}
void drawGear(QPainter& p) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(110, 115, 130));
    for (int i = 0; i < 8; ++i) {
        p.save();
        p.translate(8, 8);
        p.rotate(i * 45);
        p.drawRect(QRectF(-1.5, -7.5, 3, 4));
        p.restore();
    }
    p.drawEllipse(QRectF(2.5, 2.5, 11, 11));
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(5.5, 5.5, 5, 5));
}
void drawGlobe(QPainter& p) {
    disc(p, QColor(60, 150, 210));
    p.setPen(QPen(QColor(230, 245, 255), 1));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRectF(5, 1.5, 6, 13));
    p.drawLine(QPointF(1.5, 8), QPointF(14.5, 8));
    p.drawLine(QPointF(3, 4.5), QPointF(13, 4.5));
    p.drawLine(QPointF(3, 11.5), QPointF(13, 11.5));
}
void drawCount(QPainter& p) {
    p.setPen(QPen(kInk, 1));
    p.setBrush(QColor(225, 228, 235));
    p.drawRoundedRect(QRectF(1.5, 1.5, 13, 13), 2, 2);
    letter(p, QString(QChar(0x03A3)), kBlue, 11);
}
void drawLock(QPainter& p) {
    p.setPen(QPen(kInk, 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(4.5, 1.5, 7, 8), 0, 180 * 16);
    p.setPen(QPen(kInk, 1));
    p.setBrush(kGold);
    p.drawRect(QRectF(3.5, 6.5, 9, 8));
}
void drawUser(QPainter& p) {
    p.setPen(QPen(kInk, 1));
    p.setBrush(QColor(240, 200, 160));
    p.drawEllipse(QRectF(5, 1.5, 6, 6));
    p.setBrush(kBlue);
    p.drawChord(QRectF(2.5, 8.5, 11, 12), 0, 180 * 16);
}
void drawSearch(QPainter& p) {
    p.setPen(QPen(kInk, 1.5));
    p.setBrush(QColor(210, 235, 250));
    p.drawEllipse(QRectF(1.5, 1.5, 9, 9));
    p.setPen(QPen(QColor(120, 80, 40), 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(10, 10), QPointF(14, 14));
}

const Draw kDrawings[kCount] = {
    drawNew,  drawOpen, drawExit,  drawSave,   drawPrint,   drawHelp, drawCopy,   drawPaste,
    drawInfo, drawBook, drawMail,  drawDelete, drawRefresh, drawTree, drawAdd,    drawEdit,
    drawStar, drawGear, drawGlobe, drawCount,  drawLock,    drawUser, drawSearch,
};

// Draws its picture when a size of it is first asked for: the icons are
// made at start-up but seen only when a menu opens, and drawing all of them
// in three sizes took a good part of the start-up.
class DrawnIconEngine : public QIconEngine {
public:
    explicit DrawnIconEngine(int index) : index_(index) {}

    QIconEngine* clone() const override { return new DrawnIconEngine(*this); }
    QString key() const override { return QStringLiteral("tipsara-drawn"); }
    bool isNull() override { return false; }
    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override {
        return {QSize(16, 16), QSize(24, 24), QSize(32, 32)};
    }
    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override {
        const int side = std::min(size.width(), size.height());
        return QSize(side, side);
    }
    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode,
               QIcon::State state) override {
        const qreal dpr = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        QPixmap pm = pixmap(rect.size() * dpr, mode, state);
        pm.setDevicePixelRatio(dpr);
        painter->drawPixmap(rect, pm);
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State) override {
        const int side = std::min(size.width(), size.height());
        if (side <= 0)
            return QPixmap();
        QPixmap& normal = drawn_[side];
        if (normal.isNull())
            normal = draw(side);
        if (mode == QIcon::Normal)
            return normal;
        // Disabled and selected forms as the style makes them of any picture.
        QStyleOption option;
        option.palette = QGuiApplication::palette();
        return QApplication::style()->generatedIconPixmap(mode, normal, &option);
    }

private:
    QPixmap draw(int side) const {
        QPixmap pm(side, side);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::TextAntialiasing);
        p.scale(side / 16.0, side / 16.0);
        kDrawings[index_](p);
        p.end();
        return pm;
    }

    int index_;
    std::map<int, QPixmap> drawn_;
};

} // namespace

QIcon commandIcon(int index) {
    if (index < 0 || index >= kCount)
        return QIcon();
    return QIcon(new DrawnIconEngine(index));
}

std::vector<QIcon> imageList() {
    std::vector<QIcon> list;
    list.reserve(kCount);
    for (int i = 0; i < kCount; ++i)
        list.push_back(commandIcon(i));
    return list;
}

} // namespace icons
