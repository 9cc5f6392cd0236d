// SPDX-License-Identifier: GPL-3.0-or-later
// The program at rest costs nothing: with its windows open and nobody
// touching them, no window keeps a timer running.

#include "app/UMain.h"
#include "browser/UView.h"
#include "components/widgets/CaretRest.h"
#include "search/USearch.h"
#include "support/SmallCatalogue.h"
#include "update/UUpd.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QScopeGuard>
#include <QStyleHints>
#include <QtTest>

#include <cmath>
#include <map>
#include <memory>

using namespace testing_support;

namespace {

// Timer events counted by the window that owns their receiver: the nearest
// of our forms (TMain, TViewFrm, TSearchFrm...) among its parents.
class TimerEvents : public QObject {
public:
    TimerEvents() { qApp->installEventFilter(this); }
    std::map<QByteArray, int> perWindow;

protected:
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (e->type() == QEvent::Timer)
            ++perWindow[formOf(watched)];
        return false;
    }

private:
    static QByteArray formOf(const QObject* o) {
        for (; o; o = o->parent()) {
            const char* name = o->metaObject()->className();
            if (name[0] == 'T' && name[1] >= 'A' && name[1] <= 'Z')
                return name;
        }
        return "other";
    }
};

} // namespace

class IdleTest : public QObject {
    Q_OBJECT
    std::unique_ptr<TempDatabase> file;

private slots:
    void init() { openCatalogueWindows(file); }
    void cleanup() { closeCatalogueWindows(); }

    void noWindowWakesTheProgramAtRest() {
        // Counts the timer events of each window over half a second at rest;
        // at most 5 a second.
        auto rest = [] {
            QTest::qWait(100); // what the showing set going is done
            TimerEvents counted;
            QElapsedTimer clock;
            clock.start();
            QTest::qWait(500);
            const double seconds = static_cast<double>(clock.elapsed()) / 1000;
            for (const auto& [window, events] : counted.perWindow)
                QVERIFY2(events <= std::ceil(5 * seconds),
                         qPrintable(QStringLiteral("%1: %2 timer events in %3 s")
                                        .arg(QString::fromLatin1(window))
                                        .arg(events)
                                        .arg(seconds)));
        };
        UpdFrm = new TUpdFrm(Main); // hidden, as between update runs
        Main->AView->trigger();
        QVERIFY(ViewFrm);
        rest();
        QVERIFY(ViewFrm);

        // The search and the add window take the activation, and the browser
        // ends itself.
        TSearchFrm search(Main);
        search.show();
        AddFrm->show();
        rest();

        AddFrm->close();
        delete UpdFrm;
    }

    void theCaretRestsWithTheInput() {
        // A blinking caret wakes the program for as long as its field has the
        // focus: it stops once the input rests, and a key press starts it
        // again. The rest is longer than half a blink.
        QStyleHints* hints = QGuiApplication::styleHints();
        const auto restore = qScopeGuard(
            [timeout = ui::caretRestTimeout(), flashTime = hints->cursorFlashTime(), hints] {
                ui::setCaretRestTimeout(timeout);
                hints->setCursorFlashTime(flashTime);
            });
        hints->setCursorFlashTime(1000);
        TSearchFrm search(Main);
        search.show();
        QVERIFY(QTest::qWaitForWindowActive(&search));
        QTRY_VERIFY(search.Search->hasFocus());
        ui::setCaretRestTimeout(std::chrono::milliseconds(1500));
        auto blinks = [](int ms) {
            TimerEvents counted;
            QTest::qWait(ms);
            return counted.perWindow["TSearchFrm"];
        };
        QVERIFY(blinks(800) > 0);
        QTest::qWait(800);
        QCOMPARE(blinks(1200), 0);
        QTest::keyClick(search.Search, Qt::Key_End);
        QVERIFY(blinks(800) > 0);
    }
};

QTEST_MAIN(IdleTest)
#include "idle_test.moc"
