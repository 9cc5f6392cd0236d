// SPDX-License-Identifier: GPL-3.0-or-later
// The preferences dialog as the user works it, the splash window's loading
// line and the about window's two texts.

#include "ShellTests.h"
#include "app/UAbout.h"
#include "app/USplash.h"
#include "settings/UPrefs.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTextEdit>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

namespace {

QString firstLine(const QTextEdit* memo) {
    return memo->toPlainText().section(QLatin1Char('\n'), 0, 0);
}

} // namespace

class WindowsTest : public QObject {
    Q_OBJECT

private slots:
    void theKeyboardRunsThroughTheButtonsBeforeTheMailGroup() {
        TPrefsFrm p;
        QList<QWidget*> order{p.root, p.BtnOk, p.BtnCancel, p.FIO, p.Email,
                              p.SMTP, p.Auth,  p.Login,     p.Psw};
        for (int i = 0; i + 1 < order.size(); ++i) {
            QWidget* next = order[i]->nextInFocusChain();
            while (!(next->focusPolicy() & Qt::TabFocus))
                next = next->nextInFocusChain();
            QCOMPARE(next, order[i + 1]);
        }
    }

    void thePasswordFieldShowsOnlyBullets() {
        TPrefsFrm p;
        p.Auth->setChecked(true);
        p.Psw->setText(QStringLiteral("abc"));
        QCOMPARE(p.Psw->echoMode(), QLineEdit::Password);
        QCOMPARE(p.Psw->displayText(), QString(3, QChar(0x2022)));
        QCOMPARE(p.Psw->text(), QStringLiteral("abc"));
    }

    void loginAndPasswordFollowTheAuthBoxAndKeepTheirTexts() {
        TPrefsFrm p;
        p.Login->setText(QStringLiteral("user"));
        p.Psw->setText(QStringLiteral("secret"));
        const QColor window = QApplication::palette().color(QPalette::Base);
        const QColor face = QApplication::palette().color(QPalette::Button);

        QVERIFY(!p.Auth->isChecked());
        for (QWidget* w : {static_cast<QWidget*>(p.Login), static_cast<QWidget*>(p.Psw),
                           static_cast<QWidget*>(p.LoginL), static_cast<QWidget*>(p.PswL)})
            QVERIFY(!w->isEnabled());
        QCOMPARE(p.Login->palette().color(QPalette::Base), face);

        p.show();
        QVERIFY(QTest::qWaitForWindowExposed(&p));
        QTest::mouseClick(p.Auth, Qt::LeftButton, {}, QPoint(6, p.Auth->height() / 2));
        QVERIFY(p.Auth->isChecked());
        for (QWidget* w : {static_cast<QWidget*>(p.Login), static_cast<QWidget*>(p.Psw),
                           static_cast<QWidget*>(p.LoginL), static_cast<QWidget*>(p.PswL)})
            QVERIFY(w->isEnabled());
        QCOMPARE(p.Psw->palette().color(QPalette::Base), window);

        QTest::keyClick(p.Auth, Qt::Key_Space);
        QVERIFY(!p.Psw->isEnabled());
        QCOMPARE(p.Login->text(), QStringLiteral("user"));
        QCOMPARE(p.Psw->text(), QStringLiteral("secret"));
    }

    void enterConfirmsAndEscapeCancels() {
        TPrefsFrm p;
        QTimer::singleShot(0, &p, [&p] { QTest::keyClick(p.FIO, Qt::Key_Return); });
        QCOMPARE(p.exec(), int(QDialog::Accepted));
        QTimer::singleShot(0, &p, [&p] { QTest::keyClick(p.FIO, Qt::Key_Escape); });
        QCOMPARE(p.exec(), int(QDialog::Rejected));
        QTimer::singleShot(0, &p, [&p] { p.BtnCancel->click(); });
        QCOMPARE(p.exec(), int(QDialog::Rejected));
    }

    void theSplashLineCountsDotsFromTwoToFiveAndRoundAgain() {
        TSplashForm s;
        QVERIFY(s.l->text().isEmpty());
        QStringList seen;
        for (int i = 0; i < 8; ++i) {
            s.TimerTimer();
            seen << s.l->text();
        }
        const QString word = QString::fromUtf8("Загрузка");
        QCOMPARE(seen, (QStringList{word + "..", word + "...", word + "....", word + ".....",
                                    word + ".", word + "..", word + "...", word + "...."}));
    }

    void theAboutWindowReopensWithTheTextShownLast() {
        TAboutFrm a;
        a.show();
        QVERIFY(QTest::qWaitForWindowExposed(&a));
        QCOMPARE(firstLine(a.Memo), QStringLiteral("Tipsara 2.1 STABLE"));
        const QString aboutText = a.Memo->toPlainText();

        const QPoint lasbAt = a.LASB->pos();
        QTest::mouseClick(a.LASB, Qt::LeftButton);
        QCOMPARE(a.LASB->pos(), lasbAt);
        QVERIFY(!a.LASB->font().bold());
        QVERIFY(a.Memo->isVisible());
        const QString licence = a.Memo->toPlainText();
        QVERIFY(!aboutText.endsWith(QLatin1Char('\n')) && !licence.endsWith(QLatin1Char('\n')));
        QVERIFY(licence != aboutText);
        // The program's real terms, and where their full text is.
        QString terms = licence;
        terms.replace(QLatin1Char('\n'), QLatin1Char(' '));
        for (const char* said : {"© 2026 Marvek Systems", "GNU GPL", "версии 3", "более поздней",
                                 "БЕЗ ВСЯКИХ ГАРАНТИЙ", "LICENSE", "common-licenses/GPL-3",
                                 "/usr/share/doc/tipsara/copyright"})
            QVERIFY2(terms.contains(QString::fromUtf8(said)), said);
        for (const char* denied : {"права защищены", "не вправе", "декомпил", "плату"})
            QVERIFY2(!terms.contains(QString::fromUtf8(denied), Qt::CaseInsensitive), denied);
        QCOMPARE(a.Memo->textCursor().position(), 0);

        QTest::mouseClick(a.OkSB, Qt::LeftButton);
        QVERIFY(!a.isVisible());
        QCOMPARE(a.result(), int(QDialog::Rejected));
        a.show();
        QVERIFY(QTest::qWaitForWindowExposed(&a));
        QCOMPARE(a.Memo->toPlainText(), licence);

        const QPoint absbAt = a.ABSB->pos();
        QTest::mouseClick(a.ABSB, Qt::LeftButton);
        QCOMPARE(a.ABSB->pos(), absbAt);
        QCOMPARE(a.Memo->toPlainText(), aboutText);
    }

    void okTurnsBoldWhilePressedAndReleasingOutsideDoesNotClose() {
        TAboutFrm a;
        a.show();
        QVERIFY(QTest::qWaitForWindowExposed(&a));
        QTest::mousePress(a.OkSB, Qt::LeftButton);
        QVERIFY(a.OkSB->font().bold());
        QTest::mouseRelease(a.OkSB, Qt::LeftButton, {}, QPoint(-20, -20));
        QVERIFY(!a.OkSB->font().bold());
        QVERIFY(a.isVisible());
    }
};

std::unique_ptr<QObject> makeWindowsTest() {
    return std::make_unique<WindowsTest>();
}

#include "windows_test.moc"
