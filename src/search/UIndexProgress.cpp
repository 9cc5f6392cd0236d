// SPDX-License-Identifier: GPL-3.0-or-later

#include "UIndexProgress.h"

#include "components/widgets/Controls.h"
#include "components/widgets/ErrorReport.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

QString IndexCountText(int done, int total) {
    return QString::fromUtf8("%1 из %2").arg(done).arg(total);
}

TIndexProgress::TIndexProgress(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("IndexProgress"));
    setWindowTitle(QString::fromUtf8("Поиск в тексте статей"));
    setWindowModality(Qt::ApplicationModal);
    setFont(ui::formFont());
    setFixedSize(320, 112);

    Label1 = ui::label(this, "Label1", "Построение индекса для поиска в тексте статей...",
                       QRect(12, 10, 296, 18));
    PB = new QProgressBar(this);
    PB->setObjectName(QStringLiteral("PB"));
    PB->setGeometry(12, 32, 296, 17);
    PB->setRange(0, 100);
    PB->setValue(0);
    PB->setTextVisible(false);
    Count = ui::label(this, "Count", "", QRect(12, 52, 296, 18));
    Count->setAlignment(Qt::AlignCenter);
    CancelBtn = ui::pushButton(this, "CancelBtn", "Отмена", QRect(122, 78, 75, 25));
    ui::connectGuarded(CancelBtn, &QPushButton::clicked, this, [this](bool) { CancelBtnClick(); });

    if (owner) {
        const QRect around = owner->window()->frameGeometry();
        move(around.x() + (around.width() - width()) / 2,
             around.y() + (around.height() - height()) / 2);
    }
}

TIndexProgress::~TIndexProgress() = default;

bool TIndexProgress::Step(int done, int total) {
    Count->setText(IndexCountText(done, total));
    PB->setValue(total > 0 ? static_cast<int>(static_cast<int64_t>(done) * 100 / total) : 0);
    if (!isVisible() && !cancelled_) {
        show();
        raise();
    }
    // The one place where messages are let through during a build: the
    // window is modal, so only its "Отмена" and repaints get through.
    QApplication::processEvents();
    return !cancelled_;
}

fulltext::Progress TIndexProgress::callback() {
    return [this](int done, int total) { return Step(done, total); };
}

void TIndexProgress::CancelBtnClick() {
    cancelled_ = true;
    CancelBtn->setEnabled(false);
}

void TIndexProgress::closeEvent(QCloseEvent* e) {
    // The close box cancels too; the window goes when the build has stopped.
    CancelBtnClick();
    e->ignore();
}

void TIndexProgress::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape && e->modifiers() == Qt::NoModifier) {
        CancelBtnClick();
        return;
    }
    QDialog::keyPressEvent(e);
}
