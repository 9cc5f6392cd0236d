// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's placement and the preferences, to and from the settings
// store.

#include "UMain.h"
#include "settings/Store.h"
#include "settings/UPrefs.h"

#include <QCheckBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QScreen>

namespace {
constexpr Qt::WindowStates kSpecialStates =
    Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen;
}

void TMain::LoadSettings() {
    using settings::Section;
    settings::Store reg;

    // The stored bounds are those of the normal window. A maximised or
    // minimised window is made normal while they are applied, or they would
    // land on the maximised frame; its state comes back with State below, or
    // when the load stops early.
    const Qt::WindowStates prior = windowState();
    if (prior & kSpecialStates)
        setWindowState(prior & ~kSpecialStates);
    bool stateApplied = false;
    try {
        const int w = reg.ReadInteger(Section::Tipsara, QStringLiteral("Width"), 622);
        setGeometry(QRect(geometry().topLeft(), QSize(w, height())));
        const int h = reg.ReadInteger(Section::Tipsara, QStringLiteral("Height"), 502);
        setGeometry(QRect(geometry().topLeft(), QSize(width(), h)));

        // Centred on the primary screen by default; the halving truncates
        // toward zero, so a window wider than the screen gets a negative
        // left edge.
        const QScreen* screen = QGuiApplication::primaryScreen();
        const QSize screenSize = screen ? screen->geometry().size() : QSize(width(), height());
        const int left = reg.ReadInteger(Section::Tipsara, QStringLiteral("Left"),
                                         (screenSize.width() - width()) / 2);
        setGeometry(QRect(QPoint(left, geometry().y()), size()));
        const int top = reg.ReadInteger(Section::Tipsara, QStringLiteral("Top"),
                                        (screenSize.height() - height()) / 2);
        setGeometry(QRect(QPoint(geometry().x(), top), size()));

        const int state = reg.ReadInteger(Section::Tipsara, QStringLiteral("State"), 0);
        stateApplied = true;
        const Qt::WindowStates normal = windowState() & ~kSpecialStates;
        switch (state) {
        case 0:
            setWindowState(normal);
            break;
        case 1:
            setWindowState(normal | Qt::WindowMaximized);
            break;
        case 2:
            setWindowState(normal | Qt::WindowMinimized);
            break;
        default:
            setWindowState(prior);
            break;
        }
    } catch (...) {
        if (!stateApplied)
            setWindowState(prior);
        throw;
    }

    if (!PrefsFrm)
        return;
    TPrefsFrm& p = *PrefsFrm;
    p.root->setText(
        reg.ReadString(Section::Setup, QStringLiteral("root"), settings::defaultRoot()));
    p.FIO->setText(reg.ReadString(Section::Setup, QStringLiteral("FromName"), QString()));
    p.Email->setText(reg.ReadString(Section::Setup, QStringLiteral("E-mail"), QString()));
    p.SMTP->setText(reg.ReadString(Section::Setup, QStringLiteral("SMTP Host"), QString()));
    p.Login->setText(reg.ReadString(Section::Setup, QStringLiteral("Login"), QString()));
    p.Psw->setText(reg.ReadString(Section::Setup, QStringLiteral("Password"), QString()));
    p.Auth->setChecked(reg.ReadBool(Section::Setup, QStringLiteral("Auth Needed"), false));
    // Whether or not the box changed, the fields follow it.
    p.AuthClick();
}

void TMain::SaveSettings() {
    using settings::Section;
    settings::Store reg;

    const Qt::WindowStates st = windowState();
    const int state = (st & Qt::WindowMinimized) ? 2 : (st & Qt::WindowMaximized) ? 1 : 0;
    reg.WriteInteger(Section::Tipsara, QStringLiteral("State"), state);

    // The bounds of the normal window, whatever the state: taken before the
    // window is made normal, since a window manager restores them only later.
    QRect bounds = normalGeometry();
    if (!bounds.isValid())
        bounds = geometry();
    setWindowState(st & ~kSpecialStates);
    reg.WriteInteger(Section::Tipsara, QStringLiteral("Left"), bounds.x());
    reg.WriteInteger(Section::Tipsara, QStringLiteral("Top"), bounds.y());
    reg.WriteInteger(Section::Tipsara, QStringLiteral("Width"), bounds.width());
    reg.WriteInteger(Section::Tipsara, QStringLiteral("Height"), bounds.height());

    if (!PrefsFrm)
        return;
    const TPrefsFrm& p = *PrefsFrm;
    reg.WriteString(Section::Setup, QStringLiteral("root"), p.root->text());
    reg.WriteString(Section::Setup, QStringLiteral("SMTP Host"), p.SMTP->text());
    reg.WriteString(Section::Setup, QStringLiteral("Login"), p.Login->text());
    reg.WriteString(Section::Setup, QStringLiteral("Password"), p.Psw->text());
    reg.WriteBool(Section::Setup, QStringLiteral("Auth Needed"), p.Auth->isChecked());
    reg.WriteString(Section::Setup, QStringLiteral("FromName"), p.FIO->text());
    reg.WriteString(Section::Setup, QStringLiteral("E-mail"), p.Email->text());
}
