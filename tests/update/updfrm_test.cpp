// SPDX-License-Identifier: GPL-3.0-or-later
// The available-updates window on its own: order, marks, buttons, count.

#include "components/text/Cp1251.h"
#include "update/UUpd.h"

#include <QLabel>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest>

namespace {

TUpdEntry entry(const char* title, const char* cat, const char* sub, int icon = 0,
                const char* id = "1") {
    auto cp = [](const char* s) { return text::utf8ToCp1251(s); };
    return {cp(title), cp(cat), cp(sub), std::to_string(icon + 1), "1", id, icon};
}

} // namespace

class UpdFrmTest : public QObject {
    Q_OBJECT

private slots:
    void theButtonsAndTheCountFollowTheListEvenWhileHidden() {
        TUpdFrm f;
        QCOMPARE(f.windowTitle(), QString::fromUtf8("Список доступных обновлений"));
        QVERIFY(!f.SB1->isEnabled());
        QVERIFY(!f.LoadBtn->isEnabled());
        QCOMPARE(f.SBPanel2->text(), QString::fromUtf8("Количество советов в списке: 0"));
        f.AddEntry(entry("a", "c", "s"));
        f.AddEntry(entry("b", "c", "s"));
        QVERIFY(f.LoadBtn->isEnabled());
        QVERIFY(f.SB1->isEnabled());
        QCOMPARE(f.SBPanel2->text(), QString::fromUtf8("Количество советов в списке: 2"));
        f.Clear();
        QVERIFY(!f.LoadBtn->isEnabled());
        QVERIFY(!f.SB1->isEnabled());
    }

    void entriesStandByCategoryThenTitleThenSubcategory() {
        TUpdFrm f;
        f.AddEntry(entry("Альфа", "Строки", "Яблоко", 0, "1"));
        f.AddEntry(entry("Ёж", "Графика", "Цвет", 0, "2"));
        f.AddEntry(entry("Альфа", "Строки", "Арбуз", 0, "3"));
        f.AddEntry(entry("Бета", "Строки", "Арбуз", 0, "4"));
        f.AddEntry(entry("Альфа", "Строки", "Арбуз", 0, "5")); // equal: after the one before it
        QStringList order;
        for (int i = 0; i < f.Count(); ++i)
            order << QString::fromStdString(f.Entry(i).servId);
        QCOMPARE(order.join(' '), QStringLiteral("2 3 5 1 4"));
        QCOMPARE(f.LVCompare(f.LV->topLevelItem(1), f.LV->topLevelItem(2)), 0);
        QCOMPARE(f.LVCompare(f.LV->topLevelItem(0), f.LV->topLevelItem(1)), -1);
        QCOMPARE(f.LVCompare(f.LV->topLevelItem(4), f.LV->topLevelItem(3)), 1);
        // Case counts.
        f.AddEntry(entry("альфа", "Строки", "Арбуз", 0, "6"));
        const auto* lower = f.LV->topLevelItem(static_cast<int>(order.size()) - 1 + 0);
        for (int i = 0; i < f.Count(); ++i)
            if (f.Entry(i).servId == "6")
                lower = f.LV->topLevelItem(i);
        QVERIFY(f.LVCompare(lower, f.LV->topLevelItem(1)) != 0);
    }

    void invertingFlipsEveryMarkAndTextsComeBackAsTheyWent() {
        TUpdFrm f;
        for (const char* id : {"1", "2", "3"})
            f.AddEntry(entry(id, "c", "s", 0, id));
        QVERIFY(f.SB1->isEnabled());
        f.SB1->click();
        QVERIFY(f.Checked(0) && f.Checked(1) && f.Checked(2));
        f.setChecked(1, false);
        f.SB1->click();
        f.SB1->click();
        QVERIFY(f.Checked(0) && !f.Checked(1) && f.Checked(2));

        f.DeleteEntry(0);
        QCOMPARE(f.Entry(0).servId, std::string("2"));
        QVERIFY(!f.Checked(0) && f.Checked(1));

        // The exact bytes come back, also those with no character of their own.
        const TUpdEntry odd{"\x98\xC0 \r", "\xFF", "", "17", "-2", " 7 ", -1};
        f.Clear();
        f.AddEntry(odd);
        f.AddEntry(entry("a", "c", "s", 0));
        const int at = f.Entry(0).servId == odd.servId ? 0 : 1;
        const TUpdEntry back = f.Entry(at);
        QCOMPARE(back.title, odd.title);
        QCOMPARE(back.catName, odd.catName);
        QCOMPARE(back.subcat, odd.subcat);
        QCOMPARE(back.servId, odd.servId);
        // Category 17 has no picture of its own; category 1 the first.
        QCOMPARE(f.LV->topLevelItem(at)->icon(0).cacheKey(), f.NoPicture.cacheKey());
        QCOMPARE(f.LV->topLevelItem(1 - at)->icon(0).cacheKey(), f.IL[0].cacheKey());
    }

    void loadGivesYesAndTheCloseBoxCancel() {
        TUpdFrm f;
        f.AddEntry(entry("a", "c", "s"));
        QTimer::singleShot(0, &f, [&f] { f.LoadBtnClick(); });
        QCOMPARE(f.exec(), TUpdFrm::mrYes);
        QTimer::singleShot(0, &f, [&f] { f.close(); });
        QCOMPARE(f.exec(), TUpdFrm::mrCancel);
        QTimer::singleShot(0, &f, [&f] { QTest::keyClick(f.LV, Qt::Key_Escape); });
        QCOMPARE(f.exec(), TUpdFrm::mrCancel);
    }
};

QTEST_MAIN(UpdFrmTest)
#include "updfrm_test.moc"
