// SPDX-License-Identifier: GPL-3.0-or-later
// The settings store: what the main window and the preferences take from the
// settings file when the window is shown, what they put back when it closes
// or the preferences are confirmed, and how failures of either are reported.

#include "ShellTests.h"
#include "app/UMain.h"
#include "components/widgets/MessageBox.h"
#include "settings/Store.h"
#include "settings/UPrefs.h"

#include <QCheckBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QTimer>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// Writes the settings file by hand, as a user editing it would. Each version
// gets a later modification time, so that no cached copy of an earlier one
// is taken for it.
void writeSettings(const QString& text) {
    static int version = 0;
    QDir().mkpath(QFileInfo(settingsFile()).absolutePath());
    QFile f(settingsFile());
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(text.toUtf8());
    f.flush();
    QVERIFY(f.setFileTime(QDateTime::currentDateTime().addSecs(++version),
                          QFileDevice::FileModificationTime));
}

void removeSettings() {
    QFileInfo info(settingsFile());
    if (info.isDir())
        QDir(settingsFile()).removeRecursively();
    else if (info.exists()) {
        QFile::setPermissions(settingsFile(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        QFile::remove(settingsFile());
    }
}

// The stored text of a value, read from the file itself; "<none>" when absent.
QString stored(const QString& key) {
    QSettings file(settingsFile(), QSettings::IniFormat);
    return file.contains(key) ? file.value(key).toString() : QStringLiteral("<none>");
}

QSize screenSize() {
    return QGuiApplication::primaryScreen()->geometry().size();
}

// Runs a command that shows the preferences modally, answering it with key.
void answerPreferences(Qt::Key key) {
    QTimer::singleShot(0, [key] {
        QTRY_VERIFY(PrefsFrm->isVisible());
        QTest::keyClick(PrefsFrm->focusWidget() ? PrefsFrm->focusWidget() : PrefsFrm, key);
    });
    Main->AParamsExecute();
    QVERIFY(!PrefsFrm->isVisible());
}

} // namespace

class SettingsTest : public QObject {
    Q_OBJECT
    QList<ui::MessageRecord> boxes;

    QStringList messages() const {
        QStringList out;
        for (const auto& b : boxes)
            out << b.text;
        return out;
    }
    void showMain() {
        Main->show();
        QVERIFY(QTest::qWaitForWindowExposed(Main));
    }

private slots:
    void init() {
        removeSettings();
        boxes.clear();
        ui::setMessageHook([this](const ui::MessageRecord& r) {
            boxes.append(r);
            return QMessageBox::Ok;
        });
        PrefsFrm = new TPrefsFrm();
        Main = new TMain();
    }
    void cleanup() {
        delete Main;
        delete PrefsFrm;
        ui::setMessageHook({});
        removeSettings();
    }

    void theFirstRunCentresTheDefaultWindowAndOffersTheDefaultServer() {
        showMain();
        QCOMPARE(Main->size(), QSize(622, 502));
        QCOMPARE(Main->geometry().topLeft(),
                 QPoint((screenSize().width() - 622) / 2, (screenSize().height() - 502) / 2));
        QVERIFY(!Main->isMaximized() && !Main->isMinimized());
        QCOMPARE(PrefsFrm->root->text(), QStringLiteral("127.0.0.1:8080"));
        for (QLineEdit* e :
             {PrefsFrm->FIO, PrefsFrm->Email, PrefsFrm->SMTP, PrefsFrm->Login, PrefsFrm->Psw})
            QVERIFY(e->text().isEmpty());
        QVERIFY(!PrefsFrm->Auth->isChecked());
        QVERIFY(!PrefsFrm->Login->isEnabled() && !PrefsFrm->Psw->isEnabled());
        QCOMPARE(settings::LoadTreeWidth(), 150);
        QVERIFY(boxes.isEmpty());
    }

    void aWindowWiderThanTheScreenGetsANegativeLeftHalvedTowardZero() {
        writeSettings(QStringLiteral("[General]\nWidth=%1\n").arg(screenSize().width() + 101));
        // Loaded into the hidden window: the offscreen platform would pull a
        // shown one back on screen by its frame width.
        Main->LoadSettings();
        QCOMPARE(Main->width(), screenSize().width() + 101);
        QCOMPARE(Main->geometry().left(), -50);
        QCOMPARE(Main->geometry().top(), (screenSize().height() - 502) / 2);
    }

    void theStateCodeSetsTheWindowStateOverTheStoredNormalBounds_data() {
        QTest::addColumn<QString>("code");
        QTest::addColumn<Qt::WindowState>("state");
        QTest::newRow("0") << "0" << Qt::WindowNoState;
        QTest::newRow("1") << "1" << Qt::WindowMaximized;
        QTest::newRow("2") << "2" << Qt::WindowMinimized;
        QTest::newRow("7") << "7" << Qt::WindowNoState;
        QTest::newRow("text") << "max" << Qt::WindowNoState;
    }
    void theStateCodeSetsTheWindowStateOverTheStoredNormalBounds() {
        QFETCH(QString, code);
        QFETCH(Qt::WindowState, state);
        writeSettings(
            QStringLiteral("[General]\nLeft=100\nTop=80\nWidth=640\nHeight=480\nState=%1\n")
                .arg(code));
        showMain();
        QCOMPARE(Main->windowState() & (Qt::WindowMaximized | Qt::WindowMinimized),
                 Qt::WindowStates(state));
        QCOMPARE(Main->normalGeometry(), QRect(100, 80, 640, 480));
    }

    void aHandEditedFileWithBadNumbersGivesTheDefaults() {
        writeSettings(
            QStringLiteral("[General]\nWidth=wide\nHeight=\nLeft=1e3\nTop=12px\nState=max\n"
                           "[Setup]\nAuth%20Needed=yes\n[View]\nTreeWidth=narrow\n"));
        showMain();
        QCOMPARE(Main->size(), QSize(622, 502));
        QCOMPARE(Main->geometry().topLeft(),
                 QPoint((screenSize().width() - 622) / 2, (screenSize().height() - 502) / 2));
        QVERIFY(!Main->isMaximized());
        QVERIFY(!PrefsFrm->Auth->isChecked());
        QCOMPARE(settings::LoadTreeWidth(), 150);
        QVERIFY(boxes.isEmpty());
    }

    void integersAreAnOptionalMinusAndDigitsAndNothingElse_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("width");
        QTest::newRow("plus") << "+50" << 150;
        QTest::newRow("NUL inside")
            << QStringLiteral("233") + QChar(0) + QStringLiteral("garbage") << 150;
        QTest::newRow("blank before") << " 5" << 150;
        QTest::newRow("blank after") << "5 " << 150;
        QTest::newRow("hex") << "0x10" << 150;
        QTest::newRow("too big") << "99999999999" << 150;
        QTest::newRow("minus alone") << "-" << 150;
        QTest::newRow("Arabic-Indic digit") << QString(QChar(0x0665)) << 150;
        QTest::newRow("negative") << "-5" << -5;
        QTest::newRow("leading zeros") << "007" << 7;
    }
    void integersAreAnOptionalMinusAndDigitsAndNothingElse() {
        QFETCH(QString, text);
        QFETCH(int, width);
        {
            // Through QSettings, which quotes the blanks and escapes the NUL.
            QSettings file(settingsFile(), QSettings::IniFormat);
            file.setValue(QStringLiteral("View/TreeWidth"), text);
            file.setValue(QStringLiteral("Top"), text);
            file.sync();
            QCOMPARE(file.value(QStringLiteral("View/TreeWidth")).toString(), text);
        }
        QCOMPARE(settings::LoadTreeWidth(), width);
        Main->LoadSettings();
        QCOMPARE(Main->geometry().top(), width == 150 ? (screenSize().height() - 502) / 2 : width);
    }

    void authNeededTicksTheBoxForAnyNonZeroNumber_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("ticked");
        QTest::newRow("1") << "Auth Needed=1" << true;
        QTest::newRow("5") << "Auth Needed=5" << true;
        QTest::newRow("0") << "Auth Needed=0" << false;
        QTest::newRow("text") << "Auth Needed=true" << false;
        QTest::newRow("absent") << "" << false;
    }
    void authNeededTicksTheBoxForAnyNonZeroNumber() {
        QFETCH(QString, line);
        QFETCH(bool, ticked);
        writeSettings(QStringLiteral("[Setup]\nLogin=me\n") + line + QLatin1Char('\n'));
        // The box starts the other way round, so that the load has to set it.
        PrefsFrm->Auth->setChecked(!ticked);
        showMain();
        QCOMPARE(PrefsFrm->Auth->isChecked(), ticked);
        QCOMPARE(PrefsFrm->Login->isEnabled(), ticked);
        QCOMPARE(PrefsFrm->Psw->isEnabled(), ticked);
        QCOMPARE(PrefsFrm->Login->text(), QStringLiteral("me"));
    }

    void aValueOfAnotherTypeStopsTheLoadThereAndTheWindowStillShows() {
        writeSettings(QStringLiteral("[General]\nWidth=700\nHeight=500\nLeft=10\nTop=20\n"
                                     "[Setup]\nroot=srv\nFromName=Ivan\nE-mail=a@b\n"
                                     "SMTP%20Host=@Size(1 2)\nLogin=new\nPassword=p\n"));
        PrefsFrm->Login->setText(QStringLiteral("kept"));
        showMain();
        QVERIFY(Main->isVisible());
        QCOMPARE(messages(), QStringList{QStringLiteral("Invalid data type for 'SMTP Host'")});
        QCOMPARE(Main->geometry(), QRect(10, 20, 700, 500));
        QCOMPARE(PrefsFrm->root->text(), QStringLiteral("srv"));
        QCOMPARE(PrefsFrm->Email->text(), QStringLiteral("a@b"));
        QVERIFY(PrefsFrm->SMTP->text().isEmpty());
        QCOMPARE(PrefsFrm->Login->text(), QStringLiteral("kept"));
    }

    void aValueOfAnotherTypeInThePlacementLeavesTheRestAsItWas() {
        showMain();
        Main->setGeometry(50, 60, 600, 400);
        QTRY_COMPARE(Main->geometry(), QRect(50, 60, 600, 400));
        Main->showMaximized();
        writeSettings(
            QStringLiteral("[General]\nWidth=700\nHeight=500\nLeft=1, 2\nTop=20\nState=0\n"
                           "[Setup]\nroot=other\n"));
        try {
            Main->LoadSettings();
            QFAIL("the load did not fail");
        } catch (const std::exception& e) {
            QCOMPARE(QString::fromLatin1(e.what()), QStringLiteral("Invalid data type for 'Left'"));
        }
        QVERIFY(Main->isMaximized());
        QCOMPARE(Main->normalGeometry().size(), QSize(700, 500));
        QCOMPARE(PrefsFrm->root->text(), QStringLiteral("127.0.0.1:8080"));
    }

    void anUnwritableStoreIsReportedAndTheWindowStaysOpen() {
        showMain();
        // A folder where the file should be: not writable whoever runs this.
        removeSettings();
        QVERIFY(QDir().mkpath(settingsFile()));
        QVERIFY(!Main->close());
        QVERIFY(Main->isVisible());
        QCOMPARE(messages(), QStringList{QStringLiteral("Failed to create key Tipsara.")});

        // A read-only file with the values in it: the first write fails. The
        // superuser can write to it all the same.
        if (geteuid() != 0) {
            boxes.clear();
            removeSettings();
            writeSettings(QStringLiteral("[General]\nState=1\n"));
            QVERIFY(QFile::setPermissions(settingsFile(), QFileDevice::ReadOwner));
            QVERIFY(!Main->close());
            QCOMPARE(messages(), QStringList{QStringLiteral("Failed to set data for 'State'")});
            // The unwritten 0 does not show up as stored.
            Main->LoadSettings();
            QVERIFY(Main->isMaximized());
        }

        removeSettings();
        boxes.clear();
        const QString state = Main->isMaximized() ? QStringLiteral("1") : QStringLiteral("0");
        QVERIFY(Main->close());
        QVERIFY(boxes.isEmpty());
        QCOMPARE(stored(QStringLiteral("State")), state);
    }

    void closingWhileMaximisedStoresState1AndTheNormalBounds() {
        showMain();
        Main->setGeometry(100, 80, 640, 480);
        QTRY_COMPARE(Main->geometry(), QRect(100, 80, 640, 480));
        Main->showMaximized();
        QTRY_VERIFY(Main->geometry().size() != QSize(640, 480));
        QVERIFY(Main->close());
        QCOMPARE(stored(QStringLiteral("State")), QStringLiteral("1"));
        QCOMPARE(stored(QStringLiteral("Left")), QStringLiteral("100"));
        QCOMPARE(stored(QStringLiteral("Top")), QStringLiteral("80"));
        QCOMPARE(stored(QStringLiteral("Width")), QStringLiteral("640"));
        QCOMPARE(stored(QStringLiteral("Height")), QStringLiteral("480"));
        QCOMPARE(stored(QStringLiteral("Setup/root")), QStringLiteral("127.0.0.1:8080"));

        // The next start restores the bounds first, then the state.
        delete Main;
        Main = new TMain();
        showMain();
        QVERIFY(Main->isMaximized());
        QCOMPARE(Main->normalGeometry(), QRect(100, 80, 640, 480));
    }

    void confirmingThePreferencesSavesEverythingAndLeavesTheWindowNormal() {
        showMain();
        Main->setGeometry(100, 80, 640, 480);
        QTRY_COMPARE(Main->geometry(), QRect(100, 80, 640, 480));
        Main->showMaximized();
        // What the update run does to the server while the dialog is hidden.
        PrefsFrm->root->setText(QStringLiteral("updates.example:8081/tips"));
        answerPreferences(Qt::Key_Return);
        QCOMPARE(stored(QStringLiteral("State")), QStringLiteral("1"));
        QCOMPARE(stored(QStringLiteral("Width")), QStringLiteral("640"));
        QCOMPARE(stored(QStringLiteral("Setup/root")), QStringLiteral("updates.example:8081/tips"));
        QVERIFY(!Main->isMaximized());
        QTRY_COMPARE(Main->geometry(), QRect(100, 80, 640, 480));

        // Empty fields are stored as empty strings.
        for (QLineEdit* e : {PrefsFrm->root, PrefsFrm->FIO, PrefsFrm->Email, PrefsFrm->SMTP,
                             PrefsFrm->Login, PrefsFrm->Psw})
            e->clear();
        answerPreferences(Qt::Key_Return);
        for (const char* key : {"root", "FromName", "E-mail", "SMTP Host", "Login", "Password"})
            QCOMPARE(stored(QStringLiteral("Setup/") + QLatin1String(key)), QString());
        QCOMPARE(stored(QStringLiteral("Setup/Auth Needed")), QStringLiteral("0"));
    }

    void cancellingPutsBackTheStoredPlacementAndFields() {
        showMain();
        Main->setGeometry(100, 80, 640, 480);
        QTRY_COMPARE(Main->geometry(), QRect(100, 80, 640, 480));
        PrefsFrm->SMTP->setText(QStringLiteral("mail.example"));
        Main->SaveSettings();

        Main->setGeometry(20, 30, 500, 300);
        QTRY_COMPARE(Main->geometry(), QRect(20, 30, 500, 300));
        Main->showMaximized();
        PrefsFrm->root->setText(QStringLiteral("changed.example"));
        PrefsFrm->SMTP->setText(QStringLiteral("typed.example"));
        PrefsFrm->Auth->setChecked(true);
        answerPreferences(Qt::Key_Escape);
        QVERIFY(!Main->isMaximized());
        QTRY_COMPARE(Main->geometry(), QRect(100, 80, 640, 480));
        QCOMPARE(PrefsFrm->root->text(), QStringLiteral("127.0.0.1:8080"));
        QCOMPARE(PrefsFrm->SMTP->text(), QStringLiteral("mail.example"));
        QVERIFY(!PrefsFrm->Auth->isChecked());
        QVERIFY(!PrefsFrm->Login->isEnabled());
    }

    void everyValueSurvivesARestartAndThePasswordStaysPlainInAPrivateFile() {
        const QString password = QString::fromUtf8(" п\"а\\р;о,л=ь#[x]\t@y %20 € ");
        showMain();
        PrefsFrm->root->setText(QStringLiteral("host:1/p"));
        PrefsFrm->FIO->setText(QString::fromUtf8("Иванов, Иван"));
        PrefsFrm->Email->setText(QStringLiteral("ivan@example.org"));
        PrefsFrm->SMTP->setText(QStringLiteral("smtp.example.org"));
        PrefsFrm->Login->setText(QStringLiteral("ivan"));
        PrefsFrm->Psw->setText(password);
        PrefsFrm->Auth->setChecked(true);
        QVERIFY(Main->close());

        struct stat st {};
        QCOMPARE(::stat(QFile::encodeName(settingsFile()).constData(), &st), 0);
        QCOMPARE(st.st_mode & 0777, 0600u);

        delete Main;
        delete PrefsFrm;
        PrefsFrm = new TPrefsFrm();
        Main = new TMain();
        showMain();
        QCOMPARE(PrefsFrm->root->text(), QStringLiteral("host:1/p"));
        QCOMPARE(PrefsFrm->FIO->text(), QString::fromUtf8("Иванов, Иван"));
        QCOMPARE(PrefsFrm->Email->text(), QStringLiteral("ivan@example.org"));
        QCOMPARE(PrefsFrm->SMTP->text(), QStringLiteral("smtp.example.org"));
        QCOMPARE(PrefsFrm->Login->text(), QStringLiteral("ivan"));
        QCOMPARE(PrefsFrm->Psw->text(), password);
        QVERIFY(PrefsFrm->Auth->isChecked());
        QVERIFY(boxes.isEmpty());

        // Plain text: a simple password can be read in the file as it is.
        PrefsFrm->Psw->setText(QString::fromUtf8("секрет-42"));
        Main->SaveSettings();
        QFile f(settingsFile());
        QVERIFY(f.open(QIODevice::ReadOnly));
        QVERIFY(f.readAll().contains(QString::fromUtf8("Password=секрет-42\n").toUtf8()));
    }

    void aFileReadableByOthersIsMadePrivateBeforeAnythingIsWrittenToIt() {
        auto mode = [] {
            struct stat st {};
            return ::stat(QFile::encodeName(settingsFile()).constData(), &st) == 0
                       ? st.st_mode & 0777
                       : 0u;
        };
        writeSettings(QStringLiteral("[General]\nState=0\n"));
        QCOMPARE(::chmod(QFile::encodeName(settingsFile()).constData(), 0644), 0);
        // The first write, long before the password, finds it private already.
        settings::SaveTreeWidth(200);
        QCOMPARE(mode(), 0600u);

        QCOMPARE(::chmod(QFile::encodeName(settingsFile()).constData(), 0664), 0);
        showMain();
        PrefsFrm->Psw->setText(QStringLiteral("hunter2"));
        QVERIFY(Main->close());
        QCOMPARE(mode(), 0600u);
        QCOMPARE(stored(QStringLiteral("Setup/Password")), QStringLiteral("hunter2"));
        QCOMPARE(stored(QStringLiteral("View/TreeWidth")), QStringLiteral("200"));
        QVERIFY(boxes.isEmpty());
    }

    void theTreeWidthIsKeptInTheViewSection() {
        settings::SaveTreeWidth(233);
        QCOMPARE(stored(QStringLiteral("View/TreeWidth")), QStringLiteral("233"));
        QCOMPARE(settings::LoadTreeWidth(), 233);
        writeSettings(QStringLiteral("[View]\nTreeWidth=@Size(1 2)\n"));
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, settings::LoadTreeWidth());
    }
};

std::unique_ptr<QObject> makeSettingsTest() {
    return std::make_unique<SettingsTest>();
}

#include "settings_test.moc"
