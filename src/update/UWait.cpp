// SPDX-License-Identifier: GPL-3.0-or-later

#include "UWait.h"

#include "UpdatePictures.h"

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QProgressBar>
#include <QRadioButton>

#include <stdexcept>

TWait* Wait = nullptr;

namespace {

constexpr const char* kCaptions[TWait::kStages] = {
    "Проверка обновлений общих настроек",
    "Синхронизация категорий",
    "Синхронизация подкатегорий",
    "Проверка наличия новых советов/статей",
};

int index(int k) {
    if (k < 1 || k > TWait::kStages)
        throw std::out_of_range("TWait: no stage " + std::to_string(k));
    return k - 1;
}

} // namespace

TWait::TWait(QWidget* owner) : UpdateWindow(owner, 367, 209) {
    setObjectName(QStringLiteral("Wait"));

    auto* panel = new QFrame(this);
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel->setGeometry(rect());

    auto* top = new QFrame(panel);
    top->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    top->setGeometry(4, 4, width() - 8, 99);

    Image = new QLabel(top);
    Image->setObjectName(QStringLiteral("Image"));
    Image->setPixmap(update::waitPicture());
    Image->setGeometry((top->width() - 64) / 2, 6, 64, 64);

    WaitLabel = new QLabel(QString::fromUtf8("Ждите..."), top);
    QFont big = font();
    big.setPixelSize(19);
    big.setBold(true);
    WaitLabel->setFont(big);
    WaitLabel->setAlignment(Qt::AlignCenter);
    WaitLabel->setGeometry(2, 72, top->width() - 4, 24);

    // The rows are disabled but drawn like enabled ones, so that they stay
    // readable while they ignore the mouse.
    Stages = new QWidget(panel);
    Stages->setObjectName(QStringLiteral("Stages"));
    Stages->setGeometry(4, 108, width() - 8, 4 * 16 + 6);
    QPalette pal = Stages->palette();
    for (int role = 0; role < QPalette::NColorRoles; ++role) {
        const auto r = static_cast<QPalette::ColorRole>(role);
        pal.setColor(QPalette::Disabled, r, pal.color(QPalette::Active, r));
    }
    Stages->setPalette(pal);
    for (int i = 0; i < kStages; ++i) {
        const int y = 2 + i * 16;
        CB[i] = new QCheckBox(Stages);
        CB[i]->setObjectName(QStringLiteral("CB%1").arg(i + 1));
        CB[i]->setGeometry(14, y, 17, 17);
        RB[i] = new QRadioButton(QString::fromUtf8(kCaptions[i]), Stages);
        RB[i]->setObjectName(QStringLiteral("RB%1").arg(i + 1));
        RB[i]->setAutoExclusive(false); // a finished stage's button is cleared, not replaced
        RB[i]->setGeometry(14 + 17 + 16, y, Stages->width() - 14 - 17 - 16 - 4, 17);
    }
    Stages->setEnabled(false);

    PB = new QProgressBar(panel);
    PB->setObjectName(QStringLiteral("PB"));
    PB->setRange(0, 100);
    PB->setValue(0);
    PB->setTextVisible(false);
    PB->setGeometry(0, height() - 17, width(), 17);
}

TWait::~TWait() {
    if (Wait == this)
        Wait = nullptr;
}

void TWait::showEvent(QShowEvent* e) {
    FormShow();
    UpdateWindow::showEvent(e);
}

void TWait::FormShow() {
    for (int i = 0; i < kStages; ++i) {
        CB[i]->setChecked(false);
        setCurrent(i + 1, false);
    }
}

void TWait::setCurrent(int k, bool current) {
    QRadioButton* rb = RB[index(k)];
    rb->setChecked(current);
    QFont f = rb->font();
    f.setBold(current);
    rb->setFont(f);
}

void TWait::BeginStage(int k) {
    setCurrent(k, true);
    repaintNow();
}

void TWait::EndStage(int k) {
    setCurrent(k, false);
    CB[index(k)]->setChecked(true);
}
