// SPDX-License-Identifier: GPL-3.0-or-later

#include "UpdateWindow.h"

#include "components/widgets/Controls.h"
#include "components/widgets/PaintNow.h"

#include <QApplication>
#include <QEvent>
#include <QScreen>

namespace update {

UpdateWindow::UpdateWindow(QWidget* owner, int width, int height)
    : QWidget(owner, Qt::Tool | Qt::FramelessWindowHint) {
    setFixedSize(width, height);
    setCursor(Qt::WaitCursor);
    setFont(ui::pixelFont(11));
}

void UpdateWindow::repaintNow() {
    // A window shown while the run holds the thread reaches the screen only
    // when the window system's answer is handled; until then nothing painted
    // would be seen. Wait for it, a second at most, taking no user input.
    ui::paintWhenExposed(this);
}

void UpdateWindow::showEvent(QShowEvent* e) {
    QRect area;
    if (QWidget* owner = parentWidget())
        area = owner->window()->frameGeometry();
    else if (QScreen* s = screen())
        area = s->availableGeometry();
    if (area.isValid())
        move(area.center() - rect().center());
    QWidget::showEvent(e);
}

void UpdateWindow::changeEvent(QEvent* e) {
    QWidget::changeEvent(e);
    if (e->type() == QEvent::ActivationChange && !isActiveWindow())
        FormDeactivate();
}

void UpdateWindow::FormDeactivate() {
    if (!isVisible())
        return;
    // Raising above an open question would hide it from the user.
    QWidget* modal = QApplication::activeModalWidget();
    if (modal && modal != this)
        return;
    raise();
}

} // namespace update
