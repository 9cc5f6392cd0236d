// SPDX-License-Identifier: GPL-3.0-or-later
// The tip submission window on a real database, mailing to aiosmtpd.

#include "components/smtp/AntiFreeze.h"
#include "components/text/Cp1251.h"
#include "components/text/Strings.h"
#include "components/widgets/ErrorReport.h"
#include "components/widgets/MessageBox.h"
#include "data/UData.h"
#include "mail/USendMail.h"
#include "settings/UPrefs.h"
#include "support/TempDatabase.h"
#include "support/mail/MailServers.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QCompleter>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QJsonArray>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QtTest>

#include <memory>
#include <utility>

using testing_support::TempDatabase;

namespace {

using text::cp;

dbbuild::Catalogue catalogue() {
    dbbuild::Catalogue c;
    c.categories = {{1, cp("Графика")}, {2, cp("Базы данных")}, {3, "Alpha"}, {4, cp("Пустая")}};
    c.subcategories = {{1, 1, "Canvas"}, {1, 2, cp("Растры")}, {2, 1, "BDE"}};
    return c;
}

QStringList items(QComboBox* cb) {
    QStringList l;
    for (int i = 0; i < cb->count(); ++i)
        l << cb->itemText(i);
    return l;
}

QByteArray binary() {
    QByteArray b;
    for (int i = 0; i < 1000; ++i)
        b.append(char((i * 131) % 256));
    return b;
}

} // namespace

class SendMailTest : public QObject {
    Q_OBJECT
    std::unique_ptr<TempDatabase> file;
    QTemporaryDir dir;
    QString attachment;
    QList<ui::MessageRecord> boxes;

    void choose(const QString& category) {
        SendMail->CB1->setCurrentIndex(SendMail->CB1->findText(category));
        QTest::keyClick(SendMail->CB1, Qt::Key_Return);
    }
    // Runs GetFileClick, answering the open dialog with path (empty: cancel).
    void pick(const QString& path) {
        QTimer::singleShot(0, SendMail, [path] {
            if (path.isEmpty()) {
                SendMail->OD->reject();
            } else {
                SendMail->OD->selectFile(path);
                QMetaObject::invokeMethod(SendMail->OD, "accept");
            }
        });
        SendMail->GetFileClick();
    }

private slots:
    void initTestCase() {
        const auto c = catalogue();
        file = std::make_unique<TempDatabase>(&c);
        DataFrm = new TDataFrm(file->path());
        PrefsFrm = new TPrefsFrm();
        SendMail = new TSendMail();
        attachment = dir.filePath(QString::fromUtf8("Исходники.zip"));
        QFile f(attachment);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(binary());
        ui::setMessageHook([this](const ui::MessageRecord& r) {
            boxes.append(r);
            return QMessageBox::Ok;
        });
    }
    void cleanupTestCase() {
        ui::setMessageHook({});
        delete SendMail;
        delete PrefsFrm;
        delete DataFrm;
        DataFrm = nullptr;
    }

    void listsComeFromTheDatabase() {
        SendMail->show();
        QCOMPARE(items(SendMail->CB1), QStringList({"Alpha", "Базы данных", "Графика", "Пустая"}));
        QCOMPARE(SendMail->CB1->currentIndex(), -1);

        choose("Графика"); // Enter fills the subcategories as a choice does
        QStringList subs = items(SendMail->CB2);
        subs.sort();
        QCOMPARE(subs, QStringList({"Canvas", "Растры"}));
        QCOMPARE(SendMail->CB2->currentText(), QString());

        const int empty = SendMail->CB1->findText("Пустая");
        SendMail->CB1->setCurrentIndex(empty);
        emit SendMail->CB1->activated(empty);
        QCOMPARE(SendMail->CB2->count(), 0);

        // A query left open elsewhere makes the choice fail with the
        // database layer's error, reported like any other failure.
        DataFrm->IBSQL2.setSQL("select NUM from CATEGORIES");
        DataFrm->IBSQL2.ExecQuery();
        boxes.clear();
        choose("Графика");
        DataFrm->IBSQL2.Close();
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(SendMail->CB2->count(), 0);
        SendMail->hide();
    }

    void fieldsAndKeys() {
        SendMail->show();
        SendMail->Title->setText("Subject");
        SendMail->Body->setFocus();
        QTest::keyClick(SendMail->Body, Qt::Key_Tab);
        QCOMPARE(SendMail->Body->toPlainText(), QString("\t"));

        pick(attachment);
        QCOMPARE(SendMail->FileName->count(), 1);
        QCOMPARE(SendMail->FileName->item(0)->text(), QDir::toNativeSeparators(attachment));
        pick(QString()); // cancelled: nothing changes
        QCOMPARE(SendMail->FileName->count(), 1);

        choose("Графика");
        SendMail->CB2->setEditText("typed");
        SendMail->hide();
        SendMail->show();
        QCOMPARE(SendMail->CB1->currentIndex(), -1);
        QCOMPARE(SendMail->CB2->count(), 0);
        QCOMPARE(SendMail->CB2->currentText(), QString());
        QCOMPARE(SendMail->Title->text(), QString("Subject"));
        QCOMPARE(SendMail->Body->toPlainText(), QString("\t"));
        QCOMPARE(SendMail->FileName->count(), 1);

        QTest::keyClick(SendMail->FileName, Qt::Key_Delete);
        QCOMPARE(SendMail->FileName->count(), 0);
        SendMail->hide();
    }

    void sendsTheTip() {
        mailtest::SinkServer sink;
        PrefsFrm->SMTP->setText("127.0.0.1:" + QString::number(sink.port));
        PrefsFrm->FIO->setText("Иван Петров");
        PrefsFrm->Email->setText("ivan@example.com");
        PrefsFrm->Login->setText("ivan");
        PrefsFrm->Psw->setText("тайна");

        SendMail->show();
        SendMail->Title->setText("Как рисовать на Canvas");
        choose("Графика");
        SendMail->CB2->setCurrentIndex(SendMail->CB2->findText("Растры"));
        SendMail->Body->setPlainText("Первая строка\n.\n.x\n\tс табуляцией");
        pick(attachment);
        boxes.clear();
        QTest::mouseClick(SendMail->SendBtn, Qt::LeftButton);
        QCOMPARE(boxes.size(), 0);
        QCOMPARE(SendMail->SB->currentMessage(), QString("Disconnected."));

        QJsonObject got = sink.message();
        QCOMPARE(got["subject"].toString(), QString("Delphi-Hint: Как рисовать на Canvas"));
        QCOMPARE(got["from_name"].toString(), QString("Иван Петров"));
        QCOMPARE(got["rcpt_tos"].toArray().first().toString(), QString(mail::SubmissionsMailbox));
        QCOMPARE(got["login"].toString(), QString("ivan"));
        QCOMPARE(got["text"].toString().replace("\r\n", "\n"),
                 QString("Category=Графика\nSubCategory=Растры\n\n\n"
                         "Первая строка\n.\n.x\n\tс табуляцией\n"));
        QCOMPARE(got["files"][0]["name"].toString(), QString("Исходники.zip"));
        QCOMPARE(QByteArray::fromBase64(got["files"][0]["data"].toString().toLatin1()), binary());

        // Without the file, and with a subcategory typed, a text message;
        // the fields stay as they were.
        QTest::keyClick(SendMail->FileName, Qt::Key_Delete);
        choose("Пустая");
        SendMail->CB2->setEditText("Новая");
        QTest::mouseClick(SendMail->SendBtn, Qt::LeftButton);
        got = sink.message(2);
        QVERIFY(got["files"].toArray().isEmpty());
        QVERIFY(got["text"].toString().startsWith("Category=Пустая\r\nSubCategory=Новая\r\n"));
        QCOMPARE(SendMail->Title->text(), QString("Как рисовать на Canvas"));

        // A refused connection is reported; the window keeps its fields.
        quint16 closed = 0;
        {
            mailtest::ScriptedServer gone;
            closed = gone.port;
        }
        PrefsFrm->SMTP->setText("127.0.0.1:" + QString::number(closed));
        QTest::mouseClick(SendMail->SendBtn, Qt::LeftButton);
        QCOMPARE(boxes.size(), 1);
        QVERIFY2(boxes[0].text.contains("Connection refused"), qPrintable(boxes[0].text));
        QVERIFY(SendMail->SendBtn->isEnabled());
        QCOMPARE(SendMail->CB2->currentText(), QString("Новая"));
        SendMail->hide();
    }

    // Esc, or closing the window, while the server is silent in the middle
    // of the exchange: QUIT goes out, no error box, the fields stay, and the
    // next press sends as usual.
    void sendCanBeStopped() {
        smtp::AntiFreeze antiFreeze; // the main window's, in the program
        SendMail->SMTPSend.IdleTimeout = 20000;
        PrefsFrm->Email->setText("ivan@example.com");
        SendMail->show();
        SendMail->Title->setText("Остановленный совет");
        SendMail->Body->setPlainText("Текст");
        pick(attachment);

        auto stoppedBy = [this](std::function<void()> stop) {
            mailtest::ScriptedServer server;
            server.replies["RCPT"] = mailtest::ScriptedServer::kSilent;
            server.start();
            PrefsFrm->SMTP->setText("127.0.0.1:" + QString::number(server.port));
            QTimer::singleShot(300, SendMail, std::move(stop));
            boxes.clear();
            QElapsedTimer t;
            t.start();
            QTest::mouseClick(SendMail->SendBtn, Qt::LeftButton);
            QVERIFY2(t.elapsed() < 10000, "the send was not stopped");
            server.finish();
            QCOMPARE(boxes.size(), 0);
            QCOMPARE(QString::fromStdString(server.commands.back()), QString("QUIT"));
            QVERIFY(QString::fromStdString(server.commands[server.commands.size() - 2])
                        .startsWith("RCPT TO:"));
            QCOMPARE(SendMail->SB->currentMessage(), QString("Отправка прервана"));
            QVERIFY(SendMail->SendBtn->isEnabled());
            QCOMPARE(SendMail->Title->text(), QString("Остановленный совет"));
            QCOMPARE(SendMail->Body->toPlainText(), QString("Текст"));
            QCOMPARE(SendMail->FileName->count(), 1);
        };

        stoppedBy([] { QTest::keyClick(SendMail, Qt::Key_Escape); });
        QVERIFY(SendMail->isVisible()); // Esc stops the send, not the window

        stoppedBy([] { SendMail->close(); });
        QVERIFY(!SendMail->isVisible());

        SendMail->show();
        mailtest::SinkServer sink;
        PrefsFrm->SMTP->setText("127.0.0.1:" + QString::number(sink.port));
        QTest::mouseClick(SendMail->SendBtn, Qt::LeftButton);
        QCOMPARE(boxes.size(), 0);
        QCOMPARE(sink.count(), 1);
        QCOMPARE(sink.message()["subject"].toString(), QString("Delphi-Hint: Остановленный совет"));
        QCOMPARE(sink.message()["files"].toArray().size(), 1);
        QCOMPARE(SendMail->SB->currentMessage(), QString("Disconnected."));

        // Outside a send, Esc closes the window as before.
        QTest::keyClick(SendMail, Qt::Key_Escape);
        QVERIFY(!SendMail->isVisible());
    }

    // A server that never answers ends the send with an error, not a hang.
    void silentServerTimesOut() {
        smtp::AntiFreeze antiFreeze;
        SendMail->SMTPSend.IdleTimeout = 1000;
        mailtest::ScriptedServer server;
        server.replies["GREETING"] = mailtest::ScriptedServer::kSilent;
        server.start();
        PrefsFrm->SMTP->setText("127.0.0.1:" + QString::number(server.port));
        SendMail->show();
        boxes.clear();
        QTest::mouseClick(SendMail->SendBtn, Qt::LeftButton);
        server.finish();
        QCOMPARE(boxes.size(), 1);
        QVERIFY2(boxes[0].text.contains("did not answer for 1 second"), qPrintable(boxes[0].text));
        QCOMPARE(server.commands, std::vector<std::string>{"QUIT"});
        QVERIFY(SendMail->SendBtn->isEnabled());
        QCOMPARE(SendMail->Title->text(), QString("Остановленный совет"));
        SendMail->SMTPSend.IdleTimeout = 60000;
        SendMail->hide();
    }

    // A file chosen by typing its whole path into the dialog's name field and
    // pressing Enter: nothing of the dialog stays on screen, keys reach the
    // subject again, and a send to a server that says nothing and then hangs
    // up shows "Connected." while it waits and the hang-up as soon as it comes.
    void aFileTypedIntoTheDialogLeavesNothingBehind() {
        smtp::AntiFreeze antiFreeze;
        SendMail->SMTPSend.IdleTimeout = 20000;
        PrefsFrm->Email->setText("ivan@example.com");
        SendMail->show();
        QVERIFY(QTest::qWaitForWindowActive(SendMail));
        SendMail->Title->clear();

        const QString typed = dir.filePath(QStringLiteral("typed.zip"));
        QVERIFY(QFile::copy(attachment, typed));
        pick(attachment); // the dialog is kept from an earlier choice
        SendMail->FileName->clear();
        QFileDialog* od = SendMail->OD;
        auto* name = od->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        QVERIFY(name && name->completer());
        QTimer::singleShot(0, SendMail, [name, typed] {
            name->setFocus();
            name->selectAll(); // the name chosen before, typed over
            QTest::keyClicks(name, typed);
            QTest::keyClick(name, Qt::Key_Return);
        });
        SendMail->GetFileClick();
        QVERIFY(!od->isVisible());
        QCOMPARE(SendMail->FileName->count(), 1);
        QCOMPARE(SendMail->FileName->item(0)->text(), QDir::toNativeSeparators(typed));
        // The folder's listing comes in after the dialog has closed.
        QTest::qWait(1000);
        QVERIFY(!name->completer()->popup()->isVisible());
        QVERIFY(!QApplication::activePopupWidget());

        // Typed as the window system delivers keys: to the active window.
        SendMail->activateWindow();
        SendMail->Title->setFocus();
        for (const char c : std::string("Tip"))
            QTest::keyClick(SendMail->windowHandle(), c);
        QCOMPARE(SendMail->Title->text(), QStringLiteral("Tip"));

        mailtest::ScriptedServer server;
        server.replies["GREETING"] = mailtest::ScriptedServer::kSilent;
        server.closeAfterMs = 2000;
        server.start();
        PrefsFrm->SMTP->setText("127.0.0.1:" + QString::number(server.port));
        QString waiting;
        QTimer::singleShot(1000, SendMail,
                           [&waiting] { waiting = SendMail->SB->currentMessage(); });
        boxes.clear();
        QElapsedTimer t;
        t.start();
        SendMail->SendBtn->click();
        QVERIFY2(t.elapsed() < 10000, "the hang-up was not noticed");
        server.finish();
        QCOMPARE(waiting, QStringLiteral("Connected."));
        QCOMPARE(boxes.size(), 1);
        QVERIFY2(boxes[0].text.contains("closed the connection"), qPrintable(boxes[0].text));
        SendMail->SMTPSend.IdleTimeout = 60000;
        SendMail->hide();
    }

    // The sender's address is checked before anything goes out.
    void senderAddressMustBePlain() {
        const QString bad[] = {
            QString("иван@example.com"),
            QString("iv") + QChar(0) + QString("an@example.com"),
            QString("\x01ivan@example.com"),
            QString("ivan@example.com\x1b"),
            QString("ivan petrov@example.com"),
            QString("ivan.example.com"),
            QString(),
        };
        SendMail->show();
        for (const QString& address : bad) {
            mailtest::ScriptedServer server;
            server.start();
            PrefsFrm->SMTP->setText("127.0.0.1:" + QString::number(server.port));
            PrefsFrm->Email->setText(address);
            QCOMPARE(PrefsFrm->Email->text(), address);
            boxes.clear();
            QTest::mouseClick(SendMail->SendBtn, Qt::LeftButton);
            QCOMPARE(boxes.size(), 1);
            QVERIFY2(boxes[0].text.contains("\"Ваш E-mail\""), qPrintable(boxes[0].text));
            QVERIFY2(!server.accepted, qPrintable(address.toUtf8().toHex()));
            QVERIFY(SendMail->SendBtn->isEnabled());
        }
        PrefsFrm->Email->setText("ivan@example.com");
        SendMail->hide();
    }
};

QTEST_MAIN(SendMailTest)
#include "sendmail_test.moc"
