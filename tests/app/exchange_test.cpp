// SPDX-License-Identifier: GPL-3.0-or-later
// Import and export from the command line, through the built program, and a
// bundle it writes made into the update server's master.

#include "app/SingleInstance.h"
#include "components/text/Strings.h"
#include "support/TempDatabase.h"

#include <QCoreApplication>
#include <QProcess>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;
using testing_support::AttachedDatabase;
using testing_support::TempDatabase;
using text::cp;

namespace {

dbbuild::Catalogue small() {
    dbbuild::Catalogue c;
    c.categories = {{1, cp("Строки")}};
    c.subcategories = {{1, 1, cp("Разбор")}};
    c.articles = {{"", 1, 1, 1001, cp("С сервера"), "<p>server</p>"}};
    return c;
}

struct Outcome {
    int code;
    QString out, err;
};

Outcome run(const QString& program, const QStringList& args) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // No display at all: the commands must not need one.
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.remove("QT_QPA_PLATFORM");
    p.setProcessEnvironment(env);
    p.start(program, args);
    EXPECT_TRUE(p.waitForFinished(60000));
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

int articles(const std::string& db) {
    AttachedDatabase a(db);
    fb::Query q(a.db, a.tr);
    q.setSQL("select count(*) from HINTS");
    q.ExecQuery();
    return q.Fields(0).AsInteger();
}

void write(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

} // namespace

TEST(CommandLine, ImportAndExportWithoutAWindowAndTheirExitCodes) {
    const dbbuild::Catalogue c = small();
    const TempDatabase file(&c);
    const fs::path dir = file.dir().path();
    const fs::path exe = dir / "tipsara";
    fs::copy_file(fs::path(TIPSARA_BIN_DIR) / "tipsara", exe);
    const QString program = QString::fromStdString(exe.string());
    const QString notes = QString::fromStdString((dir / "notes").string());
    write(dir / "notes/a.md", "# Заметка\n");
    write(dir / "notes/b.txt", "текст");

    Outcome r = run(program, {"--import", notes, "--category", "Мои", "--subcategory", "Разное"});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(QString::fromUtf8("Импортировано: 2"))) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains(QString::fromUtf8("a.md «Заметка»"))) << r.out.toStdString();
    EXPECT_EQ(articles(file.path()), 3);

    // Refused files are reported and the exit code says so; the rest goes in.
    write(dir / "notes/c.txt", "новый");
    write(dir / "notes/d.bin", "x");
    r = run(program, {"--import", notes, "--category", "Мои", "--subcategory", "Разное"});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.out.contains(QString::fromUtf8("Пропущено (уже есть в базе): 2")))
        << r.out.toStdString();
    EXPECT_TRUE(r.out.contains(QString::fromUtf8("d.bin: вид файла не поддерживается")));
    EXPECT_EQ(articles(file.path()), 4);

    const QString own = QString::fromStdString((dir / "own.zip").string());
    r = run(program, {"--export", own});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(QString::fromUtf8("Экспортировано статей: 3")))
        << r.out.toStdString();
    EXPECT_EQ(dbbuild::readCatalogue(own.toStdString()).articles.size(), 3u);
    const QString strings = QString::fromStdString((dir / "strings.zip").string());
    EXPECT_EQ(run(program, {"--export", strings, "--category", "Строки"}).code, 0);

    // Wrong arguments, a category that is not there: nothing done.
    for (const QStringList& args :
         {QStringList{"--import"}, QStringList{"--import", notes, "--category", "x"},
          QStringList{"--export", own, "--all", "--category", "Мои"},
          QStringList{"--export", own, "--frobnicate"}}) {
        r = run(program, args);
        EXPECT_EQ(r.code, 2) << args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains(QString::fromUtf8("использование"))) << r.err.toStdString();
    }
    r = run(program, {"--export", own, "--category", "Нет такой"});
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.err.contains(QString::fromUtf8("категории «Нет такой» нет")));

    // While the program runs (its socket accepts), neither runs.
    {
        int argc = 1;
        char arg0[] = "test";
        char* argv[] = {arg0, nullptr};
        QCoreApplication app(argc, argv);
        SingleInstance running(
            SingleInstance::keyFor(QString::fromStdString((dir / "DB/Tipsara.gdb").string())));
        ASSERT_TRUE(running.listen({}));
        for (const QStringList& args :
             {QStringList{"--import", notes, "--category", "Мои", "--subcategory", "Новая"},
              QStringList{"--export", own}}) {
            r = run(program, args);
            EXPECT_EQ(r.code, 2);
            EXPECT_TRUE(r.err.contains(QString::fromUtf8("программа запущена")))
                << r.err.toStdString();
        }
    }
    EXPECT_EQ(articles(file.path()), 4);

    // The update server makes its master from a bundle as from a folder:
    // the server's articles of the category, by their server identifiers.
    const std::string master = (dir / "Master.gdb").string();
    r = run(QString::fromStdString((fs::path(TIPSARA_BIN_DIR) / "tipsara-server").string()),
            {"--make-master", QString::fromStdString(master),
             QString::fromStdString(testing_support::sourceDir() + "/db/schema.sql"), strings});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    AttachedDatabase m(master);
    fb::Query q(m.db, m.tr);
    q.setSQL("select ID, NAME from HINTS");
    q.ExecQuery();
    ASSERT_FALSE(q.Eof());
    EXPECT_EQ(q.Fields(0).AsInteger(), 1001);
    EXPECT_EQ(q.Fields(1).AsString(), cp("С сервера"));
    q.Next();
    EXPECT_TRUE(q.Eof());
    q.Close();

    // The user's own places stay out of a master: clients ask for every
    // category number up to the highest.
    const std::string withOwn = (dir / "MasterOwn.gdb").string();
    r = run(QString::fromStdString((fs::path(TIPSARA_BIN_DIR) / "tipsara-server").string()),
            {"--make-master", QString::fromStdString(withOwn),
             QString::fromStdString(testing_support::sourceDir() + "/db/schema.sql"), strings,
             own});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    AttachedDatabase mo(withOwn);
    fb::Query qo(mo.db, mo.tr);
    qo.setSQL("select max(NUM), (select max(NUM) from SUB_CATEGORIES) from CATEGORIES");
    qo.ExecQuery();
    EXPECT_LT(qo.Fields(0).AsInteger(), 1000000);
    EXPECT_LT(qo.Fields(1).AsInteger(), 1000000);
}
