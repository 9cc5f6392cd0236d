// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's commands and the data module it stands on.

#include "app/UMain.h"
#include "components/fb/FbClient.h"
#include "components/text/Cp1251.h"
#include "components/widgets/ErrorReport.h"
#include "components/widgets/MessageBox.h"
#include "data/UData.h"
#include "support/RecordedMessages.h"
#include "support/TempDatabase.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QSet>
#include <QSignalSpy>
#include <QStatusBar>
#include <QtTest>

#include <memory>

using testing_support::TempDatabase;

namespace {

dbbuild::Catalogue catalogue(int own, int fromServer) {
    dbbuild::Catalogue c;
    c.categories = {{1, text::utf8ToCp1251("Строки")}};
    c.subcategories = {{1, 1, "s"}};
    for (int i = 0; i < own + fromServer; ++i) {
        dbbuild::Article a{"", 1, 1, std::nullopt, "t" + std::to_string(i), "<p>x</p>"};
        if (i >= own)
            a.servId = 1000 + i;
        c.articles.push_back(a);
    }
    return c;
}

using testing_support::Recorded;

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
    std::unique_ptr<TempDatabase> file;

    void openData(const dbbuild::Catalogue& c) {
        closeData();
        file = std::make_unique<TempDatabase>(&c);
        DataFrm = new TDataFrm(file->path());
    }
    void closeData() {
        delete DataFrm;
        DataFrm = nullptr;
    }

private slots:
    void init() {
        openData(catalogue(2, 3));
        Main = new TMain();
    }
    void cleanup() {
        delete Main;
        closeData();
    }

    void commandsStandInTheirMenusWithTheirKeysPicturesAndHints() {
        struct Expected {
            const char* menu;
            const char* name;
            const char* caption;
            const char* keys;
            int icon;
            const char* hint;
        };
        const Expected table[] = {
            {"Файл", "AExit", "Выход", "Alt+F4", 2, "Выход|Завершение программы"},
            {"Связь", "AUpdate", "Проверить обновления", "Alt+F2", 18,
             "Связаться с узлом обновлений и проверить обновления"},
            {"Связь", "ASendHint", "Отправить совет", "Alt+S", 10, "Отправить совет на обработку"},
            {"Статьи", "AView", "Просмотр статей", "F2", 9, ""},
            {"Статьи", "ACount", "Посчитать количество", "", 19, ""},
            {"Статьи", "ASearch", "Поиск статьи", "Ctrl+F", 22, ""},
            {"Статьи", "AAdd", "Добавить свою статью в базу", "", 14, ""},
            {"Статьи", "AEdit", "Изменить статью...", "Ctrl+E", 14, ""},
            {"Статьи", "ADelete", "Удалить статью", "", 14, ""},
            {"Статьи", "AImport", "Импорт статей...", "", 1,
             "Импорт статей из файлов HTML, Markdown, текста и пакетов"},
            {"Статьи", "AExportOwn", "Экспорт своих статей...", "", 3,
             "Запись своих статей в пакет для переноса"},
            {"Настройки", "AParams", "Параметры", "F9", 17, "Настройка параметров программы"},
            {"Помощь", "AAbout", "О проекте...", "", 8, "Информация о программе"},
            {"Помощь", "AHelp", "Помощь", "F1", 5, "Помощь по программе"},
        };
        QCOMPARE(Main->AM.size(), std::size(table));
        for (size_t i = 0; i < std::size(table); ++i) {
            const Expected& e = table[i];
            QAction* a = Main->AM[i];
            QCOMPARE(a->objectName(), QString::fromLatin1(e.name));
            QCOMPARE(a->text(), QString::fromUtf8(e.caption));
            QCOMPARE(a->shortcut(), QKeySequence(QString::fromLatin1(e.keys)));
            QCOMPARE(a->property("imageIndex").toInt(), e.icon);
            QCOMPARE(a->property("category").toString(), QString::fromUtf8(e.menu));
            QCOMPARE(a->property("hint").toString(), QString::fromUtf8(e.hint));
            QVERIFY2(!a->icon().isNull(), e.name);
            // Help has no operation; editing and deleting wait for an own
            // article in the browser.
            QCOMPARE(a->isEnabled(), !QByteArray("AHelp AEdit ADelete").contains(e.name));
        }
        QCOMPARE(Main->AExit->toolTip(), QString::fromUtf8("Выход"));
        QCOMPARE(Main->IL.size(), size_t(23));
        // Each picture is drawn at the size asked for, is not blank, differs
        // from the others, and has a greyed form for a disabled command.
        QSet<QByteArray> seen;
        for (const QIcon& icon : Main->IL) {
            for (int side : {16, 24, 32}) {
                const QImage im = icon.pixmap(side, side).toImage();
                QCOMPARE(im.size(), QSize(side, side));
                int drawn = 0;
                for (int y = 0; y < side; ++y)
                    for (int x = 0; x < side; ++x)
                        drawn += im.pixelColor(x, y).alpha() > 0;
                QVERIFY(drawn > side);
            }
            const QImage normal = icon.pixmap(16, 16).toImage();
            QVERIFY(icon.pixmap(QSize(16, 16), QIcon::Disabled).toImage() != normal);
            seen.insert(QByteArray(reinterpret_cast<const char*>(normal.constBits()),
                                   normal.sizeInBytes()));
        }
        QCOMPARE(seen.size(), 23);

        QStringList menus;
        for (QAction* m : Main->MenuBar->actions())
            menus << m->text();
        QCOMPARE(menus, QString::fromUtf8("Файл Связь Статьи Настройки Помощь").split(' '));
        // Separators stand where the menus group their commands.
        QMenu* articles = Main->MenuBar->actions()[2]->menu();
        QStringList shape;
        for (QAction* a : articles->actions())
            shape << (a->isSeparator() ? QStringLiteral("-") : a->objectName());
        QCOMPARE(
            shape.join(' '),
            QStringLiteral("AView ACount - ASearch - AAdd AEdit ADelete - AImport AExportOwn"));
    }

    void theWindowHasItsTitleStripAndMinimumSize() {
        QCOMPARE(Main->windowTitle(), QStringLiteral("Tipsara v. 2.1.22 [STABLE Version]"));
        QCOMPARE(ui::applicationTitle(), Main->windowTitle());
        Main->show();
        QVERIFY(QTest::qWaitForWindowExposed(Main));
        QVERIFY(!Main->Pr->isVisible());
        QCOMPARE(Main->Pr->minimum(), 0);
        QCOMPARE(Main->Pr->maximum(), 100);
        QVERIFY(Main->SB->currentMessage().isEmpty());
        QCOMPARE(Main->minimumSize(), QSize(470, 150));
        Main->resize(100, 50);
        QVERIFY(Main->width() >= 470 && Main->height() >= 150);
        // The progress indicator can be shown beside the menu.
        Main->Pr->show();
        QVERIFY(Main->Pr->isVisible());
        QVERIFY(Main->Pr->geometry().left() >= Main->MenuBar->geometry().right());
    }

    void keysRunTheirCommandsAndHelpDoesNothing() {
        Main->show();
        QApplication::setActiveWindow(Main);
        QVERIFY(QTest::qWaitForWindowActive(Main));
        QSignalSpy view(Main->AView, &QAction::triggered);
        QSignalSpy help(Main->AHelp, &QAction::triggered);
        QTest::keyClick(Main, Qt::Key_F2);
        QCOMPARE(view.count(), 1);
        QTest::keyClick(Main, Qt::Key_F1);
        QCOMPARE(help.count(), 0);

        Recorded r;
        QSignalSpy count(Main->ACount, &QAction::triggered);
        Main->ACount->trigger();
        QCOMPARE(r.boxes.size(), 1);
        Main->AExit->trigger();
        QVERIFY(!Main->isVisible());
    }

    void theCountTellsAllArticlesAndThoseFromTheServer() {
        Recorded r;
        Main->ACount->trigger();
        QCOMPARE(r.boxes.size(), 1);
        QCOMPARE(r.boxes[0].caption, QString::fromUtf8("Количество статей"));
        QCOMPARE(r.boxes[0].icon, QMessageBox::Information);
        QCOMPARE(r.boxes[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(
            r.boxes[0].text,
            QString::fromUtf8("Количество статей в Вашей базе: 5 шт.\rИз них с сервера: 3 шт."));

        for (auto [own, server] : {std::pair{0, 0}, std::pair{4, 0}}) {
            openData(catalogue(own, server));
            Main->ACount->trigger();
            QCOMPARE(r.boxes.last().text, CountText(own + server, 0));
        }
    }

    void aFailedCountIsReportedAndTheRunGoesOn() {
        Recorded r;
        DataFrm->FBTrans.setActive(false); // every read now fails
        Main->ACount->trigger();
        QCOMPARE(r.boxes.size(), 1);
        QCOMPARE(r.boxes[0].caption, Main->windowTitle());
        QCOMPARE(r.boxes[0].icon, QMessageBox::Critical);
        QVERIFY(r.boxes[0].text.endsWith('.'));
        DataFrm->FBTrans.setActive(true);
        Main->ACount->trigger();
        QCOMPARE(r.boxes.size(), 2);
        QCOMPARE(r.boxes[1].caption, QString::fromUtf8("Количество статей"));
    }

    void errorReportsEndLikeSentences() {
        QCOMPARE(ui::withFinalDot("Disk full"), std::string("Disk full."));
        QCOMPARE(ui::withFinalDot("code 42"), std::string("code 42."));
        QCOMPARE(ui::withFinalDot("path /"), std::string("path /."));
        QCOMPARE(ui::withFinalDot("done."), std::string("done."));
        QCOMPARE(ui::withFinalDot("wow!"), std::string("wow!"));
        QCOMPARE(ui::withFinalDot("what?"), std::string("what?.")); // "?" stands above "."
        QCOMPARE(ui::withFinalDot("(x)"), std::string("(x)"));
        QCOMPARE(ui::withFinalDot(""), std::string(""));
        QCOMPARE(ui::withFinalDot(text::utf8ToCp1251("Ошибка")), text::utf8ToCp1251("Ошибка."));

        Recorded r;
        ui::guarded([] { throw std::runtime_error(text::utf8ToCp1251("Нет файла")); });
        QCOMPARE(r.boxes.size(), 1);
        QCOMPARE(r.boxes[0].text, QString::fromUtf8("Нет файла."));
        QCOMPARE(r.boxes[0].caption, QStringLiteral("Tipsara v. 2.1.22 [STABLE Version]"));
    }

    void theDataModuleHoldsItsObjectsReady() {
        QVERIFY(DataFrm->FBDB.Connected());
        QCOMPARE(DataFrm->FBDB.SQLDialect, 1);
        QVERIFY(DataFrm->FBTrans.Active());
        QVERIFY(DataFrm->FBTransUpd.Active());
        QCOMPARE(DataFrm->IBSQL1.SQL(),
                 std::string("select CATEGORY_NAME, NUM from CATEGORIES order by CATEGORY_NAME"));
        for (fb::Query* q : {&DataFrm->IBSQL2, &DataFrm->IBSQL3, &DataFrm->IBSQL4, &DataFrm->UpdQ})
            QVERIFY(q->SQL().empty());
        QCOMPARE(&DataFrm->UpdQ.transaction(), &DataFrm->FBTransUpd);
        QCOMPARE(&DataFrm->IBSQL4.transaction(), &DataFrm->FBTrans);
    }

    void aDataModuleAttachedInTheBackgroundIsTheSameOnceWaitedFor() {
        auto data = std::make_unique<TDataFrm>(file->path(), TDataFrm::InBackground{});
        data->WaitOpen();
        data->WaitOpen(); // waits for nothing
        QVERIFY(data->FBDB.Connected());
        QCOMPARE(data->FBDB.SQLDialect, 1);
        QCOMPARE(data->FBDB.DBName, DataFrm->FBDB.DBName);
        QVERIFY(data->FBTrans.Active());
        QVERIFY(data->FBTransUpd.Active());
        QCOMPARE(data->IBSQL1.SQL(), DataFrm->IBSQL1.SQL());
        QCOMPARE(data->objectName(), QStringLiteral("DataFrm"));
        for (fb::Query* q : {&data->IBSQL2, &data->IBSQL3, &data->IBSQL4, &data->UpdQ})
            QVERIFY(q->SQL().empty());

        // The main window's count on it, as on the one attached in the foreground.
        Recorded r;
        Main->ACount->trigger();
        closeData();
        DataFrm = data.release();
        Main->ACount->trigger();
        QCOMPARE(r.boxes.size(), 2);
        QCOMPARE(r.boxes[1].caption, r.boxes[0].caption);
        QCOMPARE(r.boxes[1].text, r.boxes[0].text);
    }

    void aConnectionLostByTheEndIsReported() {
        Recorded r;
        isc_db_handle copy = *DataFrm->FBDB.handlePtr();
        ISC_STATUS_ARRAY st;
        fb::client::api().isc_detach_database(st, &copy);
        closeData();
        QCOMPARE(r.boxes.size(), 1);
        QCOMPARE(r.boxes[0].caption, QString::fromUtf8("Ошибка БД"));
        QCOMPARE(r.boxes[0].text, QString::fromUtf8("Соединение с БД потеряно!\r\r"
                                                    "Программа автоматически закрывается!"));
    }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
