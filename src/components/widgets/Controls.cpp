// SPDX-License-Identifier: GPL-3.0-or-later

#include "Controls.h"

#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QToolButton>

namespace ui {

QFont formFont(const char* family, int points) {
    QFont font(QString::fromLatin1(family));
    font.setPointSize(points);
    return font;
}

QFont pixelFont(int pixels, bool bold) {
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

QPushButton* pushButton(QWidget* parent, const char* name, const char* caption,
                        const QRect& geometry) {
    auto* b = new QPushButton(QString::fromUtf8(caption), parent);
    b->setObjectName(QString::fromLatin1(name));
    if (geometry.isValid())
        b->setGeometry(geometry);
    return b;
}

QLabel* label(QWidget* parent, const char* name, const char* caption, const QRect& geometry) {
    auto* l = new QLabel(QString::fromUtf8(caption), parent);
    if (name && *name)
        l->setObjectName(QString::fromLatin1(name));
    if (geometry.isValid())
        l->setGeometry(geometry);
    return l;
}

QToolButton* toolButton(QWidget* parent, const char* name, const QString& caption) {
    auto* b = new QToolButton(parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setText(caption);
    b->setAutoRaise(true);
    return b;
}

QToolButton* flatButton(QWidget* parent, const char* name, const QString& caption, const char* hint,
                        int width, int height) {
    auto* b = new QToolButton(parent);
    b->setObjectName(QLatin1String(name));
    b->setAutoRaise(true);
    b->setFocusPolicy(Qt::NoFocus);
    b->setFixedSize(width, height);
    if (!caption.isEmpty()) {
        QFont f = b->font();
        f.setBold(true);
        b->setFont(f);
        b->setText(caption);
    }
    if (hint)
        b->setToolTip(QString::fromUtf8(hint));
    b->setStyleSheet(QStringLiteral("QToolButton { padding: 0px; }"));
    return b;
}

void keepSelectionVisible(QWidget* view) {
    QPalette pal = view->palette();
    pal.setColor(QPalette::Inactive, QPalette::Highlight,
                 pal.color(QPalette::Active, QPalette::Highlight));
    pal.setColor(QPalette::Inactive, QPalette::HighlightedText,
                 pal.color(QPalette::Active, QPalette::HighlightedText));
    view->setPalette(pal);
}

} // namespace ui
