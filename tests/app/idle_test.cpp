// SPDX-License-Identifier: GPL-3.0-or-later
// The program at rest costs nothing: with its windows open and nobody
// touching them, no window keeps a timer running.

#include "app/UMain.h"
#include "browser/UView.h"
#include "search/USearch.h"
#include "support/SmallCatalogue.h"
#include "update/UUpd.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
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
};

QTEST_MAIN(IdleTest)
#include "idle_test.moc"
