// SPDX-License-Identifier: GPL-3.0-or-later

#include "UPro.h"

#include "UpdatePictures.h"

#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <qdrawutil.h>

TPro* Pro = nullptr;

namespace {

// A single-line border around a raised bevel around a lowered one, each
// bevel two pixels wide.
class FramedPanel : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        const QPalette& pal = palette();
        p.fillRect(rect(), pal.window());
        p.setPen(pal.color(QPalette::WindowText));
        p.drawRect(rect().adjusted(0, 0, -1, -1));
        qDrawShadePanel(&p, rect().adjusted(1, 1, -1, -1), pal, false, 2);
        qDrawShadePanel(&p, rect().adjusted(3, 3, -3, -3), pal, true, 2);
    }
};

} // namespace

TPro::~TPro() {
    if (Pro == this)
        Pro = nullptr;
}

TPro::TPro(QWidget* owner) : UpdateWindow(owner, 362, 125) {
    setObjectName(QStringLiteral("Pro"));

    auto* panel = new FramedPanel(this);
    panel->setGeometry(rect());

    Title = new QLabel(QString::fromUtf8("Загрузка файлов"), panel);
    QFont titleFont = font();
    titleFont.setPixelSize(13);
    titleFont.setBold(true);
    titleFont.setUnderline(true);
    Title->setFont(titleFont);
    Title->setAlignment(Qt::AlignCenter);
    Title->setGeometry(8, 8, width() - 16, 18);

    auto* from = new QLabel(QString::fromUtf8("Загружено из сети:"), panel);
    from->setGeometry(16, 30, 200, 15);

    loaded = new QLabel(panel);
    loaded->setObjectName(QStringLiteral("loaded"));
    loaded->setGeometry(32, 46, 200, 15);

    auto* of = new QLabel(QString::fromUtf8("из"), panel);
    of->setGeometry(16, 62, 200, 15);

    overall = new QLabel(panel);
    overall->setObjectName(QStringLiteral("overall"));
    overall->setGeometry(32, 78, 200, 15);

    Image = new QLabel(panel);
    Image->setObjectName(QStringLiteral("Image"));
    Image->setPixmap(update::downloadPicture());
    Image->setGeometry(width() - 64 - 16, 26, 64, 64);

    PB = new QProgressBar(panel);
    PB->setObjectName(QStringLiteral("PB"));
    PB->setRange(0, 100);
    PB->setValue(0);
    PB->setTextVisible(false);
    PB->setGeometry(8, height() - 8 - 16, width() - 16, 16);
}
