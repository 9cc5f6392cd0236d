// SPDX-License-Identifier: GPL-3.0-or-later

#include "Canvas.h"

#include <QApplication>
#include <QIconEngine>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>
#include <QSvgRenderer>

#include <algorithm>
#include <cmath>
#include <map>

namespace ui {
namespace {

class PictureIconEngine : public QIconEngine {
public:
    explicit PictureIconEngine(QString file) : file_(std::move(file)) {}

    QIconEngine* clone() const override { return new PictureIconEngine(*this); }
    QString key() const override { return QStringLiteral("tipsara-picture"); }
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
    // `size` is in pixels: the icon sets the ratio on what it hands out.
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State) override {
        const int side = std::min(size.width(), size.height());
        if (side <= 0)
            return QPixmap();
        QPixmap& normal = drawn_[side];
        if (normal.isNull())
            normal = picture(file_, QSize(side, side), 1.0);
        if (mode == QIcon::Normal)
            return normal;
        // Disabled and selected forms as the style makes them of any picture.
        QStyleOption option;
        option.palette = QGuiApplication::palette();
        return QApplication::style()->generatedIconPixmap(mode, normal, &option);
    }

private:
    QString file_;
    std::map<int, QPixmap> drawn_;
};

} // namespace

qreal pictureRatio() {
    return qGuiApp ? qGuiApp->devicePixelRatio() : 1.0;
}

QPixmap canvas(QSize logical, qreal ratio) {
    if (ratio <= 0)
        ratio = pictureRatio();
    QPixmap pm(static_cast<int>(std::ceil(logical.width() * ratio)),
               static_cast<int>(std::ceil(logical.height() * ratio)));
    pm.setDevicePixelRatio(ratio);
    pm.fill(Qt::transparent);
    return pm;
}

QPixmap picture(const QString& file, QSize logical, qreal ratio) {
    QPixmap pm = canvas(logical, ratio);
    QSvgRenderer svg(file);
    if (svg.isValid()) {
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        svg.render(&p, QRectF(QPointF(0, 0), QSizeF(logical)));
    }
    return pm;
}

QIcon pictureIcon(const QString& file) {
    return QIcon(new PictureIconEngine(file));
}

} // namespace ui
