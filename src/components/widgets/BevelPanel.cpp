// SPDX-License-Identifier: GPL-3.0-or-later

#include "BevelPanel.h"

#include <QPainter>

BevelPanel::BevelPanel(Bevel outer, Bevel inner, QWidget* parent)
    : QWidget(parent), outer_(outer), inner_(inner) {
    setAutoFillBackground(true);
}

void BevelPanel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QColor light = palette().color(QPalette::Light);
    const QColor dark = palette().color(QPalette::Dark);
    auto bevel = [&](QRect r, Bevel kind) {
        const QColor& topLeft = kind == Bevel::Raised ? light : dark;
        const QColor& bottomRight = kind == Bevel::Raised ? dark : light;
        p.setPen(topLeft);
        p.drawLine(r.topLeft(), r.topRight());
        p.drawLine(r.topLeft(), r.bottomLeft());
        p.setPen(bottomRight);
        p.drawLine(r.bottomLeft(), r.bottomRight());
        p.drawLine(r.topRight(), r.bottomRight());
    };
    bevel(rect(), outer_);
    bevel(rect().adjusted(1, 1, -1, -1), inner_);
}
