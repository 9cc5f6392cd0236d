// SPDX-License-Identifier: GPL-3.0-or-later
// The wait and download windows, and the main window's transfer progress.

#include "update/TransferProgress.h"
#include "update/UWait.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QMainWindow>
#include <QProgressBar>
#include <QRadioButton>
#include <QStatusBar>
#include <QtTest>

class UpdateWindowsTest : public QObject {
    Q_OBJECT

private:
    static bool bold(QWidget* w) { return w->font().bold(); }

    // The main window's strip: the bar beside the menu, hidden at first, and
    // the status bar; shown.
    struct MainStrip {
        QMainWindow main;
        QProgressBar* Pr = new QProgressBar;
        QStatusBar* SB = new QStatusBar;
        MainStrip() {
            auto* strip = new QWidget;
            auto* layout = new QHBoxLayout(strip);
            Pr->setRange(0, 100);
            layout->addWidget(Pr);
            main.setMenuWidget(strip);
            main.setStatusBar(SB);
            Pr->hide();
            main.show();
        }
    };

    // Counts the paint events that reach the watched widgets.
    struct Paints : QObject {
        QMap<QObject*, int> count;
        void watch(QWidget* w) { w->installEventFilter(this); }
        bool eventFilter(QObject* o, QEvent* e) override {
            if (e->type() == QEvent::Paint)
                ++count[o];
            return false;
        }
    };

    static void expectNoMarks(TWait& w) {
        for (int i = 0; i < TWait::kStages; ++i) {
            QVERIFY(!w.CB[i]->isChecked());
            QVERIFY(!w.RB[i]->isChecked());
            QVERIFY(!bold(w.RB[i]));
        }
    }

private slots:
    void waitWindowHasItsFourStagesAndTakesNoClicks() {
        TWait w;
        const char* captions[] = {"Проверка обновлений общих настроек", "Синхронизация категорий",
                                  "Синхронизация подкатегорий",
                                  "Проверка наличия новых советов/статей"};
        for (int i = 0; i < TWait::kStages; ++i) {
            QCOMPARE(w.RB[i]->text(), QString::fromUtf8(captions[i]));
        }
        w.show();
        QTest::mouseClick(w.CB[0], Qt::LeftButton);
        QTest::mouseClick(w.RB[0], Qt::LeftButton);
        expectNoMarks(w);
    }

    void stagesAreMarkedCurrentThenDone() {
        TWait w;
        w.show();
        w.BeginStage(1);
        QVERIFY(w.RB[0]->isChecked());
        QVERIFY(bold(w.RB[0]));
        QVERIFY(!w.CB[0]->isChecked());

        w.EndStage(1);
        w.BeginStage(2);
        QVERIFY(w.CB[0]->isChecked());
        QVERIFY(!w.RB[0]->isChecked());
        QVERIFY(!bold(w.RB[0]));
        QVERIFY(w.RB[1]->isChecked());
        QVERIFY(bold(w.RB[1]));
        QVERIFY(!bold(w.RB[2]));

        QVERIFY_THROWS_EXCEPTION(std::out_of_range, w.BeginStage(5));
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, w.EndStage(0));
    }

    void showingAgainClearsEveryMark() {
        TWait w;
        w.show();
        for (int k = 1; k <= 3; ++k) {
            w.BeginStage(k);
            w.EndStage(k);
        }
        w.BeginStage(4);
        w.hide();
        w.show();
        expectNoMarks(w);
    }

    void transferProgressShowsAndHidesTheBarAndText() {
        MainStrip m;
        QProgressBar* Pr = m.Pr;
        QStatusBar* SB = m.SB;

        update::ShowTransferProgress(Pr, SB, 0, 48160);
        QVERIFY(Pr->isVisible());
        QCOMPARE(Pr->value(), 0);
        update::ShowTransferProgress(Pr, SB, 4096, 48160);
        QCOMPARE(SB->currentMessage(), QString::fromUtf8("Прочтено 4096 из 48160"));
        QCOMPARE(Pr->value(), 8);
        QVERIFY(Pr->geometry().width() > 0); // laid out at once, not after the transfer

        update::ShowTransferProgress(Pr, SB, 48160, 48160);
        QCOMPARE(SB->currentMessage(), QString());
        QVERIFY(!Pr->isVisible());

        // An empty body: one event of 0 of 0, nothing divided.
        update::ShowTransferProgress(Pr, SB, 0, 10);
        update::ShowTransferProgress(Pr, SB, 0, 0);
        QVERIFY(!Pr->isVisible());
        QCOMPARE(SB->currentMessage(), QString());

        update::ShowTransferProgress(Pr, SB, 50000000, 100000000);
        QCOMPARE(Pr->value(), 50);
    }

    // The run processes no events while it works: every change must be on
    // screen when the call that made it returns, and a repaint with nothing
    // changed must paint nothing.
    void changesArePaintedAtOnceAndOnlyThem() {
        MainStrip m;
        QProgressBar* Pr = m.Pr;
        QStatusBar* SB = m.SB;
        QVERIFY(QTest::qWaitForWindowExposed(&m.main));
        QCoreApplication::processEvents();
        Paints paints;
        paints.watch(SB);
        paints.watch(Pr);

        update::ShowTransferProgress(Pr, SB, 0, 100);
        QVERIFY(paints.count[SB] >= 1);
        QVERIFY(paints.count[Pr] >= 1);
        update::ShowTransferProgress(Pr, SB, 100, 100);
        QCOMPARE(paints.count[SB], 2);
        update::ShowTransferProgress(Pr, SB, 100, 100); // the last event repeats the state
        QCOMPARE(paints.count[SB], 2);

        TWait w;
        w.show();
        w.repaintNow();
        paints.watch(w.RB[0]);
        paints.watch(w.RB[3]);
        w.BeginStage(1);
        QCOMPARE(paints.count[w.RB[0]], 1);
        w.repaintNow();
        QCOMPARE(paints.count[w.RB[0]], 1);
        QCOMPARE(paints.count[w.RB[3]], 0);
    }
};

QTEST_MAIN(UpdateWindowsTest)
#include "windows_test.moc"
