// SPDX-License-Identifier: GPL-3.0-or-later

#include "USplash.h"

#include "Artwork.h"
#include "components/widgets/BevelPanel.h"
#include "components/widgets/ErrorReport.h"
#include "components/widgets/PaintNow.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPalette>
#include <QScreen>
#include <QTimer>

TSplashForm* SplashForm = nullptr;

TSplashForm::TSplashForm() : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint) {
    setObjectName(QStringLiteral("SplashForm"));
    // Closing the splash before the main window is shown must not end the run.
    setAttribute(Qt::WA_QuitOnClose, false);
    setFixedSize(516, 260);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect s = screen->geometry();
        move(s.x() + (s.width() - width()) / 2, s.y() + (s.height() - height()) / 2);
    }

    Panel1 = new BevelPanel(BevelPanel::Bevel::Raised, BevelPanel::Bevel::Lowered, this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(rect());

    Image1 = new QLabel(Panel1);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(2, 2, 512, 256);
    Image1->setPixmap(artwork::splashPicture());

    l = new QLabel(Panel1);
    l->setObjectName(QStringLiteral("l"));
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(19);
    font.setBold(true);
    l->setFont(font);
    l->setGeometry(296, 176, 200, 26);
    // Black, as on the light picture it is drawn over, whatever the
    // desktop's text colour: a dark desktop's light text would vanish there.
    QPalette ink = l->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        ink.setColor(group, QPalette::WindowText, Qt::black);
    l->setPalette(ink);
    l->setAttribute(Qt::WA_TranslucentBackground);

    Timer = new QTimer(this);
    Timer->setObjectName(QStringLiteral("Timer"));
    Timer->setInterval(350);
    ui::connectGuarded(Timer, &QTimer::timeout, this, [this] { TimerTimer(); });
    FormCreate();
    Timer->start();
}

TSplashForm::~TSplashForm() {
    if (SplashForm == this)
        SplashForm = nullptr;
}

void TSplashForm::FormCreate() {
    Dots = 1;
}

void TSplashForm::TimerTimer() {
    ++Dots;
    if (Dots > 5)
        Dots = 1;
    l->setText(QString::fromUtf8("Загрузка") + QString(Dots, QLatin1Char('.')));
}

void TSplashForm::ShowAndPaint() {
    show();
    // A window can be painted only once the display has mapped it.
    ui::paintWhenExposed(this);
}
