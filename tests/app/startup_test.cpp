// The program as a user starts it: the failed open, and a second start.

#include "app/SingleInstance.h"
#include "support/TempDatabase.h"

#include <QDir>
#include <QLocalSocket>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <fstream>

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

RunResult runToEnd(const QString& program) {
    QProcess p;
    p.setProcessEnvironment(testEnvironment());
    p.start(program, {});
    EXPECT_TRUE(p.waitForFinished(30000));
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardError())};
}

TEST(Startup, AMissingOrBrokenDatabaseEndsWithTheMessageAndCode255) {
    TempDir dir;
    const QString program = installProgram(dir.path());
    RunResult missing = runToEnd(program);
    EXPECT_EQ(missing.exitCode, 255);
    EXPECT_TRUE(missing.err.contains(QString::fromUtf8("message: Ошибка БД | Соединение с БД потеряно!\n")))
        << missing.err.toStdString();
    EXPECT_EQ(missing.err.count("message:"), 1) << "nothing else is shown";

    fs::create_directories(dir.path() / "DB");
    std::ofstream(dir.path() / "DB/Tipsara.gdb") << "not a database";
    RunResult broken = runToEnd(program);
    EXPECT_EQ(broken.exitCode, 255);
    EXPECT_EQ(broken.err.count(QString::fromUtf8("Соединение с БД потеряно!")), 1);
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
    const QStringList lines = QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 1) << lines.join('|').toStdString();
    ASSERT_TRUE(lines[0].startsWith("shown "));
    const long long shown = lines[0].mid(6).toLongLong();
    EXPECT_GT(shown, static_cast<long long>(before.tv_sec) * 1000000000LL + before.tv_nsec);
}

} // namespace
