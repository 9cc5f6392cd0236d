// SPDX-License-Identifier: GPL-3.0-or-later
// The program as a user starts it: the failed open, and a second start.

#include "app/SingleInstance.h"
#include "support/TempDatabase.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>

namespace fs = std::filesystem;
using testing_support::TempDatabase;
using testing_support::TempDir;

namespace {

// A copy of the program in a folder of its own, so that it looks for its
// database there.
QString installProgram(const fs::path& dir) {
    const fs::path exe = dir / "tipsara";
    fs::copy_file(fs::path(TIPSARA_BIN_DIR) / "tipsara", exe, fs::copy_options::overwrite_existing);
    return QString::fromStdString(exe.string());
}

QProcessEnvironment testEnvironment() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("TIPSARA_AUTOCLOSE_MESSAGES", "1");
    return env;
}

struct RunResult {
    int exitCode;
    QString err;
};

RunResult runToEnd(const QString& program, const QProcessEnvironment& env = testEnvironment(),
                   const QStringList& arguments = {}) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, arguments);
    EXPECT_TRUE(p.waitForFinished(30000));
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardError())};
}

// Ends a started copy by SIGTERM, never by a kill unless it will not end:
// a killed engine leaves its lock files behind for the next test.
struct Stop {
    QProcess& p;
    ~Stop() {
        if (p.state() != QProcess::NotRunning) {
            p.terminate();
            if (!p.waitForFinished(30000))
                p.kill();
            p.waitForFinished(5000);
        }
    }
};

// Waits until the program started from dir answers on its socket.
bool waitUntilListening(const QString& key) {
    for (int i = 0; i < 300; ++i) {
        QLocalSocket probe;
        probe.connectToServer(key);
        if (probe.waitForConnected(100))
            return true;
        QThread::msleep(50);
    }
    return false;
}

QString keyOfProgramIn(const fs::path& dir) {
    return SingleInstance::keyFor(QString::fromStdString((dir / "DB/Tipsara.gdb").string()));
}

// The instance tests need an event loop of their own.
struct App {
    int argc = 1;
    char arg0[8] = "test";
    char* argv[2] = {arg0, nullptr};
    QCoreApplication app{argc, argv};
};

bool processEventsUntil(const std::function<bool()>& done, int ms = 5000) {
    const QDeadlineTimer deadline(ms);
    while (!done() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(5);
    }
    return done();
}

TEST(SingleInstance, ABusyCopyKeepsItsNameAndServesTheLaterStartOnceFree) {
    App app;
    const QString key = QStringLiteral("tipsara-test-busy-%1").arg(getpid());
    SingleInstance first(key);
    int raised = 0;
    ASSERT_TRUE(first.listen([&](const QByteArray&) { ++raised; }));

    // The first copy does not get to its events while the second asks:
    // accepted but unanswered is running all the same.
    SingleInstance second(key, 300);
    EXPECT_TRUE(second.askRunningCopy());
    EXPECT_FALSE(second.listen({})) << "the name was taken from a running copy";
    EXPECT_TRUE(QFileInfo::exists(QDir::tempPath() + "/" + key));

    // Once free, the first copy comes forward for the queued request, and
    // later starts still reach it.
    EXPECT_TRUE(processEventsUntil([&] { return raised == 1; }));
    SingleInstance third(key, 300);
    EXPECT_TRUE(third.askRunningCopy());
    EXPECT_TRUE(processEventsUntil([&] { return raised == 2; }));
}

TEST(SingleInstance, ALaterStartsRequestReachesTheCopyWholeAndGarbageDoesNot) {
    App app;
    const QString key = QStringLiteral("tipsara-test-request-%1").arg(getpid());
    SingleInstance first(key);
    QByteArrayList heard;
    ASSERT_TRUE(first.listen([&](const QByteArray& request) { heard << request; }));

    // What is no request of a later start: a line of something else, and
    // a line that never ends.
    QLocalSocket stranger;
    stranger.connectToServer(key);
    ASSERT_TRUE(stranger.waitForConnected(1000));
    stranger.write("raised\n");
    QLocalSocket flood;
    flood.connectToServer(key);
    ASSERT_TRUE(flood.waitForConnected(1000));
    flood.write(QByteArray(20000, 'x'));
    EXPECT_TRUE(processEventsUntil([&] { return flood.state() != QLocalSocket::ConnectedState; }))
        << "a line without end is cut off";

    // A plain start and one with a request, which comes in pieces here.
    SingleInstance plain(key, 300);
    EXPECT_TRUE(plain.askRunningCopy());
    QLocalSocket slow;
    slow.connectToServer(key);
    ASSERT_TRUE(slow.waitForConnected(1000));
    slow.write("raise article");
    slow.flush();
    processEventsUntil([] { return false; }, 100);
    slow.write(" 12\n");
    EXPECT_TRUE(processEventsUntil([&] { return heard.size() == 2; }));
    EXPECT_EQ(heard, (QByteArrayList{"", "article 12"}));
}

TEST(SingleInstance, ASocketThatNothingAcceptsOnIsTakenOver) {
    App app;
    const QString key = QStringLiteral("tipsara-test-stale-%1").arg(getpid());
    const QByteArray path = QFile::encodeName(QDir::tempPath() + "/" + key);
    // What a crashed copy leaves: the socket file, nobody behind it.
    ::unlink(path.constData());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path.constData(), sizeof addr.sun_path - 1);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ::close(fd);
    ASSERT_TRUE(QFileInfo::exists(QString::fromLocal8Bit(path)));

    SingleInstance next(key, 300);
    EXPECT_FALSE(next.askRunningCopy());
    int raised = 0;
    ASSERT_TRUE(next.listen([&](const QByteArray&) { ++raised; }));
    // Only its owner may reach it.
    EXPECT_EQ(QFileInfo(QString::fromLocal8Bit(path)).permissions() &
                  (QFileDevice::WriteGroup | QFileDevice::WriteOther),
              QFileDevice::Permissions());
    SingleInstance later(key, 300);
    EXPECT_TRUE(later.askRunningCopy());
    EXPECT_TRUE(processEventsUntil([&] { return raised == 1; }));
}

TEST(Startup, ASecondStartLeavesABusyCopyAloneAndEndsWithoutTheDatabase) {
    // A copy deep in long work: it listens, the system accepts for it, it
    // answers nothing. No database beside the program: opening one would
    // show the message and end with 255.
    App app;
    TempDir dir;
    const QString program = installProgram(dir.path());
    const QString key = keyOfProgramIn(dir.path());
    QLocalServer busy;
    ASSERT_TRUE(busy.listen(key));

    RunResult second = runToEnd(program);
    EXPECT_EQ(second.exitCode, 0);
    EXPECT_FALSE(second.err.contains("message:")) << second.err.toStdString();
    EXPECT_TRUE(QFileInfo::exists(busy.fullServerName()));
    EXPECT_TRUE(busy.waitForNewConnection(1000)) << "the second start's request is waiting";
    QLocalSocket again;
    again.connectToServer(key);
    EXPECT_TRUE(again.waitForConnected(1000));
    EXPECT_TRUE(busy.waitForNewConnection(1000)) << "the name still leads to the busy copy";
}

TEST(Startup, ALookUpGoesToTheRunningCopyWithTheStartAndABadOneIsRefusedAtOnce) {
    App app;
    TempDir dir;
    const QString program = installProgram(dir.path());
    const QString key = keyOfProgramIn(dir.path());
    QLocalServer copy;
    ASSERT_TRUE(copy.listen(key));

    // Refused before anything is asked: no copy hears of it, no database is
    // looked for.
    for (const QStringList& bad : {QStringList{"--article", "x1"}, QStringList{"--search", " "},
                                   QStringList{"tipsara:search?q=a#b"}}) {
        RunResult refused = runToEnd(program, testEnvironment(), bad);
        EXPECT_EQ(refused.exitCode, 2) << bad.join(' ').toStdString();
        EXPECT_TRUE(refused.err.startsWith("tipsara: ") || refused.err.contains("\ntipsara: "))
            << refused.err.toStdString();
        EXPECT_FALSE(refused.err.contains("message:")) << refused.err.toStdString();
    }
    EXPECT_FALSE(copy.hasPendingConnections());

    const auto heard = [&](const QStringList& arguments) {
        RunResult second = runToEnd(program, testEnvironment(), arguments);
        EXPECT_EQ(second.exitCode, 0) << second.err.toStdString();
        EXPECT_TRUE(copy.waitForNewConnection(1000));
        QLocalSocket* client = copy.nextPendingConnection();
        QByteArray line;
        while (client && !line.contains('\n') && client->waitForReadyRead(1000))
            line += client->readAll();
        return line;
    };
    // The Windows-1251 words "строка Pos", in base 64.
    EXPECT_EQ(heard({"--search", QString::fromUtf8("строка  Pos")}),
              "raise search 8fLw7urgIFBvcw==\n");
    EXPECT_EQ(heard({"tipsara:article/17"}), "raise article 17\n");
}

TEST(Startup, ALookUpIsCarriedOutByTheRunningCopyOrByTheStartItself) {
    TempDatabase db;
    const QString program = installProgram(db.dir().path());
    TempDir config;
    QProcessEnvironment env = testEnvironment();
    env.insert("XDG_CONFIG_HOME", QString::fromStdString(config.path().string()));
    QProcess first;
    Stop stop{first};
    first.setProcessEnvironment(env);
    // Started with a look-up: the search window opens over the main window.
    first.start(program, {"--search", "Format"});
    ASSERT_TRUE(first.waitForStarted());
    ASSERT_TRUE(waitUntilListening(keyOfProgramIn(db.dir().path())));

    // The open search window takes the later start's words.
    for (const QStringList& arguments :
         {QStringList{"--search", "Pos"}, QStringList{"tipsara:article/1"}, QStringList{}}) {
        RunResult second = runToEnd(program, env, arguments);
        EXPECT_EQ(second.exitCode, 0) << arguments.join(' ').toStdString();
        EXPECT_FALSE(second.err.contains("message:")) << second.err.toStdString();
        EXPECT_EQ(first.state(), QProcess::Running);
    }

    first.terminate();
    ASSERT_TRUE(first.waitForFinished(30000));
    EXPECT_EQ(first.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(first.exitCode(), 0);
    EXPECT_FALSE(QString::fromUtf8(first.readAllStandardError()).contains("message:"));
}

TEST(Startup, AQuitSignalEndsTheRunWhenTheSettingsCannotBeSaved) {
    TempDatabase db;
    const QString program = installProgram(db.dir().path());
    TempDir config;
    // A folder where the settings file should be: unwritable even for root.
    fs::create_directories(config.path() / "Marvek Systems/Tipsara.conf");
    QProcessEnvironment env = testEnvironment();
    env.insert("XDG_CONFIG_HOME", QString::fromStdString(config.path().string()));
    // Boxes wait for a user here, as on a desktop that is logging out.
    env.remove("TIPSARA_AUTOCLOSE_MESSAGES");
    QProcess p;
    Stop stop{p};
    p.setProcessEnvironment(env);
    p.start(program, {});
    ASSERT_TRUE(p.waitForStarted());
    ASSERT_TRUE(waitUntilListening(keyOfProgramIn(db.dir().path())));

    p.terminate(); // SIGTERM
    ASSERT_TRUE(p.waitForFinished(5000)) << "still running 5 s after SIGTERM";
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 1) << "the settings were not stored";
    const QString err = QString::fromUtf8(p.readAllStandardError());
    EXPECT_TRUE(err.contains("Failed to create key Tipsara.\n")) << err.toStdString();
}

TEST(Startup, AMissingOrBrokenDatabaseEndsWithTheMessageAndCode255) {
    TempDir dir;
    const QString program = installProgram(dir.path());
    // A data folder of its own, so that no copy of the user's is found. The
    // message names the files looked for.
    QProcessEnvironment env = testEnvironment();
    env.insert("XDG_DATA_HOME", QString::fromStdString((dir.path() / "data").string()));
    RunResult missing = runToEnd(program, env);
    EXPECT_EQ(missing.exitCode, 255);
    const QString names = QString::fromStdString(
        (dir.path() / "DB/Tipsara.gdb").string() + "\\r" +
        (dir.path() / "data/tipsara/DB/Tipsara.gdb").string() + "\\r" +
        (dir.path() / "../share/tipsara/Tipsara.gdb").lexically_normal().string() + "\n");
    EXPECT_TRUE(missing.err.contains(
        QString::fromUtf8("message: Ошибка БД | Соединение с БД потеряно!\\r\\rФайл базы данных "
                          "не найден:\\r") +
        names))
        << missing.err.toStdString();
    EXPECT_EQ(missing.err.count("message:"), 1) << "nothing else is shown";

    fs::create_directories(dir.path() / "DB");
    std::ofstream(dir.path() / "DB/Tipsara.gdb") << "not a database";
    RunResult broken = runToEnd(program);
    EXPECT_EQ(broken.exitCode, 255);
    EXPECT_EQ(broken.err.count(QString::fromUtf8("Соединение с БД потеряно!")), 1);
}

TEST(Startup, AFailedOpenEndsWith255BeforeTheMainWindowIsShown) {
    // The database is attached beside the making of the windows; its failure
    // still comes before any main window, reported the same way.
    TempDir dir;
    const QString program = installProgram(dir.path());
    fs::create_directories(dir.path() / "DB");
    std::ofstream(dir.path() / "DB/Tipsara.gdb") << "not a database";
    for (int run = 0; run < 2; ++run) {
        QProcessEnvironment env = testEnvironment();
        env.insert("TIPSARA_REPORT_SHOWN", "1");
        env.insert("XDG_DATA_HOME", QString::fromStdString((dir.path() / "data").string()));
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(program, {});
        ASSERT_TRUE(p.waitForFinished(30000));
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p.exitCode(), 255);
        EXPECT_EQ(QString::fromUtf8(p.readAllStandardOutput()), QString())
            << "no main window was reported shown";
        const QString err = QString::fromUtf8(p.readAllStandardError());
        EXPECT_EQ(err.count("message:"), 1) << err.toStdString();
        EXPECT_TRUE(
            err.contains(QString::fromUtf8("message: Ошибка БД | Соединение с БД потеряно!")))
            << err.toStdString();
        fs::remove(dir.path() / "DB/Tipsara.gdb");
    }
}

TEST(Startup, ASecondStartHandsOverToTheRunningCopyAndSigtermEndsItCleanly) {
    TempDatabase db;
    const QString program = installProgram(db.dir().path());
    QProcess first;
    // Never leave it running, nor kill it: a killed engine leaves its lock
    // files behind for the next test.
    struct Stop {
        QProcess& p;
        ~Stop() {
            if (p.state() != QProcess::NotRunning) {
                p.terminate();
                if (!p.waitForFinished(30000))
                    p.kill();
            }
        }
    } stop{first};
    first.setProcessEnvironment(testEnvironment());
    first.start(program, {});
    ASSERT_TRUE(first.waitForStarted());

    // Wait until the first copy answers on its socket.
    const QString key = SingleInstance::keyFor(QString::fromStdString(db.path()));
    bool listening = false;
    for (int i = 0; i < 300 && !listening; ++i) {
        QLocalSocket probe;
        probe.connectToServer(key);
        listening = probe.waitForConnected(100);
        if (!listening)
            QThread::msleep(50);
    }
    ASSERT_TRUE(listening);
    // The first copy may still be attaching; the second must not touch the database anyway.
    RunResult second = runToEnd(program);
    EXPECT_EQ(second.exitCode, 0);
    EXPECT_FALSE(second.err.contains("message:")) << second.err.toStdString();
    EXPECT_EQ(first.state(), QProcess::Running);

    first.terminate(); // SIGTERM
    ASSERT_TRUE(first.waitForFinished(30000));
    EXPECT_EQ(first.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(first.exitCode(), 0);
    EXPECT_FALSE(QString::fromUtf8(first.readAllStandardError()).contains("message:"));
}

TEST(Startup, AskedToReportItsWindowTheProgramSaysWhenItIsShownAndCloses) {
    // The start-up benchmark's hook: the time on the monotonic clock once the
    // main window is on screen, then an ordinary close.
    TempDatabase db;
    const QString program = installProgram(db.dir().path());
    QProcessEnvironment env = testEnvironment();
    env.insert("TIPSARA_REPORT_SHOWN", "1");
    QProcess p;
    p.setProcessEnvironment(env);
    timespec before{};
    clock_gettime(CLOCK_MONOTONIC, &before);
    p.start(program, {});
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 0);
    const QStringList lines =
        QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 1) << lines.join('|').toStdString();
    ASSERT_TRUE(lines[0].startsWith("shown "));
    const long long shown = lines[0].mid(6).toLongLong();
    EXPECT_GT(shown, static_cast<long long>(before.tv_sec) * 1000000000LL + before.tv_nsec);
}

} // namespace
