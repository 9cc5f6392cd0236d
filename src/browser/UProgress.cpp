// SPDX-License-Identifier: GPL-3.0-or-later

#include "UProgress.h"

#include "components/widgets/BevelPanel.h"
#include "components/widgets/Controls.h"
#include "components/widgets/PaintNow.h"

#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>
#include <QVBoxLayout>

TProgress* Progress = nullptr;

namespace {
const char* const kCounter = "counter";
}

TProgress::TProgress(QWidget* owner)
    : QWidget(owner, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus) {
    setObjectName(QStringLiteral("Progress"));
    // The browser under it must stay the active window, or it would take
    // the progress window for another form and end itself.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_QuitOnClose, false);
    setFont(ui::formFont());
    setFixedSize(273, 60);
    QRect around;
    if (owner)
        around = owner->frameGeometry();
    else if (const QScreen* screen = QGuiApplication::primaryScreen())
        around = screen->geometry();
    if (around.isValid())
        move(around.x() + (around.width() - width()) / 2,
             around.y() + (around.height() - height()) / 2);

    Panel = new BevelPanel(BevelPanel::Bevel::Raised, BevelPanel::Bevel::Lowered, this);
    Panel->setObjectName(QStringLiteral("Panel1"));
    Panel->setGeometry(rect());
    auto* layout = new QVBoxLayout(Panel);
    layout->setContentsMargins(8, 5, 8, 4);
    layout->setSpacing(2);

    Label1 = new QLabel(QString::fromUtf8("Загрузка списка советов"), Panel);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setFont(ui::pixelFont(13));
    Label1->setAlignment(Qt::AlignCenter);
    layout->addWidget(Label1);

    pb = new QProgressBar(Panel);
    pb->setObjectName(QStringLiteral("pb"));
    pb->setRange(0, 100);
    pb->setValue(0);
    pb->setFixedHeight(17);
    pb->setTextVisible(false);
    layout->addWidget(pb);

    c = new QLabel(Panel);
    c->setObjectName(QStringLiteral("c"));
    c->setAlignment(Qt::AlignCenter);
    c->setProperty(kCounter, 0);
    layout->addWidget(c);
}

TProgress::~TProgress() {
    if (Progress == this)
        Progress = nullptr;
}

int TProgress::Counter() const {
    return c->property(kCounter).toInt();
}

void TProgress::ShowAndPaint() {
    show();
    ui::paintWhenExposed(this);
}

void TProgress::Step(int position) {
    const int n = Counter() + 1;
    c->setProperty(kCounter, n);
    c->setText(QStringLiteral("(%1)").arg(n));
    pb->setValue(position);
    ui::paintNow(this);
}
