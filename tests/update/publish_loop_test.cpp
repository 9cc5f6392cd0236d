// SPDX-License-Identifier: GPL-3.0-or-later
// A tip's whole way: one program's submission window mails it to aiosmtpd,
// which keeps the message as it arrived; the maker publishes that message
// into the master of a running tipsara-server; another program's update
// run offers the tip and imports it with the name and text that were sent.

#include "app/UMain.h"
#include "components/text/Cp1251.h"
#include "components/widgets/MessageBox.h"
#include "data/UData.h"
#include "mail/USendMail.h"
#include "settings/UPrefs.h"
#include "support/ServerProcess.h"
#include "support/TempDatabase.h"
#include "support/mail/MailServers.h"
#include "update/UPro.h"
#include "update/UUpd.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolButton>
#include <QtTest>

#include <filesystem>
#include <fstream>

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

const std::string kServer = std::string(TIPSARA_BIN_DIR) + "/tipsara-server";

std::string cp(const char* utf8) {
    return text::utf8ToCp1251(utf8, true);
}

// Both programs' catalogue, as the server's master starts it.
dbbuild::Catalogue shared() {
    dbbuild::Catalogue c;
    c.categories = {{1, cp("Графика")}};
    c.subcategories = {{1, 1, "Canvas"}};
    c.articles.push_back({"", 1, 1, 101, cp("Известная"), "<p>old</p>"});
    return c;
}

} // namespace

class PublishLoopTest : public QObject {
    Q_OBJECT
    std::function<void()> onList;

    // The list is modal: it is answered once it shows.
    bool eventFilter(QObject* o, QEvent* e) override {
        if (o == UpdFrm && e->type() == QEvent::Show)
            QTimer::singleShot(0, UpdFrm, [this] { onList(); });
        return false;
    }

private slots:
    void aMailedTipReachesAnotherProgramThroughTheMakersServer() {
        TempDir work;
        const std::string master = work.file("Master.gdb");
        {
            const auto c = shared();
            fb::Database db;
            dbbuild::createDatabase(db, master, schemaScript());
            dbbuild::loadCatalogue(db, c, dbbuild::ArticleIds::ServerIds);
            db.Close();
        }
        ServerProcess server({kServer, "--listen", "127.0.0.1:0", "--no-log", master},
                             "listening on http://127\\.0\\.0\\.1:(\\d+)/");
        QList<ui::MessageRecord> boxes;
        ui::setMessageHook([&](const ui::MessageRecord& r) {
            boxes.append(r);
            return QMessageBox::Ok;
        });
        const auto unhook = qScopeGuard([] { ui::setMessageHook({}); });
        const QString name = QString::fromUtf8("Как рисовать на Canvas без мерцания");
        const QString body =
            QString::fromUtf8("<p>Двойная буферизация:</p>\n<pre>DoubleBuffered := True;</pre>\n"
                              "\tи всё = просто");

        // The sender: its own database, the submission window, a new
        // subcategory typed in.
        mailtest::SinkServer sink;
        {
            const auto c = shared();
            TempDatabase senderDb(&c);
            DataFrm = new TDataFrm(senderDb.path());
            PrefsFrm = new TPrefsFrm();
            SendMail = new TSendMail();
            PrefsFrm->SMTP->setText("127.0.0.1:" + QString::number(sink.port));
            PrefsFrm->FIO->setText(QString::fromUtf8("Иван Петров"));
            PrefsFrm->Email->setText("ivan@example.com");
            SendMail->show();
            SendMail->Title->setText(name);
            SendMail->CB1->setCurrentIndex(SendMail->CB1->findText(QString::fromUtf8("Графика")));
            QTest::keyClick(SendMail->CB1, Qt::Key_Return);
            SendMail->CB2->setEditText(QString::fromUtf8("Мерцание"));
            SendMail->Body->setPlainText(body);
            QTest::mouseClick(SendMail->SendBtn, Qt::LeftButton);
            QCOMPARE(boxes.size(), 0);
            QCOMPARE(sink.count(), 1);
            delete SendMail;
            delete PrefsFrm;
            delete DataFrm;
            DataFrm = nullptr;
        }

        // The maker: one command.
        const std::string publish =
            kServer + " --publish " + master + " '" + sink.eml().toStdString() + "' > /dev/null";
        QCOMPARE(std::system(publish.c_str()), 0);

        // The other program: an update run against the maker's server.
        const fs::path temp = work.path() / "temp";
        fs::create_directory(temp);
        setenv("TEMP", temp.c_str(), 1);
        const auto c = shared();
        TempDatabase readerDb(&c);
        DataFrm = new TDataFrm(readerDb.path());
        Main = new TMain();
        PrefsFrm = new TPrefsFrm(Main);
        UpdFrm = new TUpdFrm(Main);
        Pro = new TPro(Main);
        UpdFrm->installEventFilter(this);
        PrefsFrm->root->setText(QString::fromStdString(server.root()));
        // Within a second of the publishing the server has the new master.
        QTest::qWait(1500);
        std::vector<std::string> offered;
        onList = [&] {
            for (int i = 0; i < UpdFrm->Count(); ++i) {
                offered.push_back(UpdFrm->Entry(i).title);
                UpdFrm->setChecked(i, true);
            }
            QVERIFY(QTest::qWaitFor([] { return UpdFrm->LoadBtn->isEnabled(); }));
            UpdFrm->LoadBtn->click();
        };
        Main->AUpdate->trigger();
        QVERIFY2(boxes.isEmpty(), qPrintable(boxes.isEmpty() ? QString() : boxes.last().text));
        QCOMPARE(offered, std::vector<std::string>{text::utf8ToCp1251(name.toStdString())});

        fb::Query& q = DataFrm->IBSQL4;
        q.Close();
        q.setSQL("select H.NAME, H.INFORMATION, S.SUB_CAT from HINTS H join SUB_CATEGORIES S on "
                 "S.CATNUM=H.CAT and S.NUM=H.SUBCAT where H.SERV_ID=102");
        q.ExecQuery();
        QVERIFY(!q.Eof());
        QCOMPARE(QString::fromStdString(text::cp1251ToUtf8(q.Fields(0).AsString())), name);
        QString stored = QString::fromStdString(text::cp1251ToUtf8(q.Fields(1).AsString()));
        QCOMPARE(stored.replace("\r\n", "\n"), body);
        QCOMPARE(QString::fromStdString(text::cp1251ToUtf8(q.Fields(2).AsString())),
                 QString::fromUtf8("Мерцание"));
        q.Close();
        delete Main;
        delete DataFrm;
        DataFrm = nullptr;
        unsetenv("TEMP");
        QCOMPARE(server.stop(), 0);
    }
};

QTEST_MAIN(PublishLoopTest)
#include "publish_loop_test.moc"
