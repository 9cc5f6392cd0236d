// SPDX-License-Identifier: GPL-3.0-or-later
// Error texts under a Russian UTF-8 locale. The C library, libzip and Qt
// answer in Russian there, in UTF-8; the program's error texts are
// Windows-1251, so every one of them must come out of text::toQ readable:
// the Russian words whole and none of the marks that UTF-8 read as
// Windows-1251 leaves ("Р" or "С" followed by a second letter of that page).

#include "components/fb/Fb.h"
#include "components/http/Http.h"
#include "components/smtp/SmtpClient.h"
#include "components/text/QtText.h"
#include "components/widgets/PageView.h"
#include "components/zip/UnZip.h"
#include "support/TempDatabase.h"
#include "support/mail/MailServers.h"
#include "update/UpdateSteps.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include <gtest/gtest.h>
#include <netdb.h>
#include <zip.h>

#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <fstream>

using testing_support::TempDir;

namespace {

bool russianLocale = false;

// UTF-8 read as Windows-1251 turns every Cyrillic letter into "Р" or "С"
// followed by one of these.
bool mojibake(const QString& s) {
    static const QString seconds = QString::fromUtf8("ЎµЅ‚°ѕ»Ђ‹Ќ¶·ёЊЏЃ");
    for (qsizetype i = 0; i + 1 < s.size(); ++i)
        if ((s[i] == QChar(0x0420) || s[i] == QChar(0x0421)) && seconds.contains(s[i + 1]))
            return true;
    return false;
}

// The error box's view of an error text.
::testing::AssertionResult readsAs(const std::string& error, const char* fragmentUtf8) {
    const QString shown = text::toQ(error);
    if (mojibake(shown))
        return ::testing::AssertionFailure() << "garbled: " << shown.toStdString();
    if (!shown.contains(QString::fromUtf8(fragmentUtf8)))
        return ::testing::AssertionFailure()
               << "\"" << fragmentUtf8 << "\" missing in \"" << shown.toStdString() << "\"";
    return ::testing::AssertionSuccess();
}

template <class F> std::string failureOf(F&& run) {
    try {
        run();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "(no failure)";
}

class RussianLocale : public ::testing::Test {
protected:
    void SetUp() override {
        if (!russianLocale)
            GTEST_SKIP() << "the locale ru_RU.UTF-8 is not available (scripts/setup.sh makes it)";
    }
};

quint16 closedPort() {
    mailtest::ScriptedServer gone; // a port that was free a moment ago, closed again
    return gone.port;
}

} // namespace

using TextConversion = RussianLocale;
using SmtpErrors = RussianLocale;
using HttpErrors = RussianLocale;
using ZipErrors = RussianLocale;
using FileErrors = RussianLocale;
using DatabaseErrors = RussianLocale;

TEST_F(TextConversion, SystemTextsBecomeWindows1251) {
    EXPECT_TRUE(readsAs(text::systemError(ENOENT), "Нет такого файла или каталога"));
    EXPECT_TRUE(readsAs(text::systemError(EACCES), "Отказано в доступе"));
    EXPECT_TRUE(
        readsAs(text::fromLocale(::gai_strerror(EAI_NONAME)), "Неизвестное имя или служба"));
    // libzip's messages embed the C library's.
    zip_error_t zipError;
    errno = EACCES;
    zip_error_init_with_code(&zipError, ZIP_ER_READ);
    EXPECT_TRUE(readsAs(text::fromLocale(zip_error_strerror(&zipError)), "Отказано в доступе"));
    zip_error_fini(&zipError);
    // Converted once, the box shows it as it was written.
    EXPECT_EQ(text::toQ(text::fromLocale("Ошибка: ±")), QString::fromUtf8("Ошибка: ±"));
    // What the code page lacks becomes '?'.
    EXPECT_EQ(text::fromLocale("a→b"), "a?b");
}

TEST(TextConversionInTheCLocale, OutsideUtf8OnlyAsciiIsTrusted) {
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    std::setlocale(LC_ALL, "C");
    EXPECT_EQ(text::fromLocale("No such file \xD0\x9D"), "No such file ??");
    EXPECT_EQ(text::systemError(ENOENT), "No such file or directory");
    std::setlocale(LC_ALL, saved.c_str());
}

TEST_F(SmtpErrors, RefusedUnresolvedAndUntrustedReadAsRussian) {
    smtp::Client refused;
    refused.Host = "127.0.0.1:" + std::to_string(closedPort());
    EXPECT_TRUE(readsAs(failureOf([&] { refused.Connect(); }), "В соединении отказано"));

    // A name the resolver rejects without asking a name server: longer than
    // a DNS name may be, yet every label short enough to pass the client's
    // own check.
    smtp::Client unresolved;
    std::string longName;
    for (int i = 0; i < 5; ++i)
        longName += std::string(60, static_cast<char>('a' + i)) + ".";
    unresolved.Host = longName + "invalid";
    const std::string unknown = failureOf([&] { unresolved.Connect(); });
    EXPECT_TRUE(readsAs(unknown, "Cannot resolve the host name"));
    EXPECT_TRUE(readsAs(unknown, "Неизвестное имя или служба"));

    const QString cert = mailtest::sourceFile("tests/support/mail/data/tls-cert.pem");
    mailtest::SinkServer sink(
        {"--tls", cert, mailtest::sourceFile("tests/support/mail/data/tls-key.pem")});
    smtp::Client untrusted;
    untrusted.Host = "127.0.0.1:" + std::to_string(sink.port);
    smtp::Message m;
    m.From = {"Ivan", "ivan@example.com"};
    m.Recipients = {{"Hints", "hints@example.org"}};
    m.Subject = "Test";
    m.Body = {"Hello"};
    const std::string why = failureOf([&] {
        untrusted.Connect();
        untrusted.Send(m);
    });
    untrusted.Disconnect();
    EXPECT_TRUE(readsAs(why, "Cannot establish a secure connection with 127.0.0.1: "));
    EXPECT_TRUE(readsAs(why, "Сертификат"));
}

TEST_F(HttpErrors, RefusedConnectionAndUncreatableFile) {
    http::TInternetSession session;
    http::TInternetConnection connection(session);
    http::TInternetHTTPRequest request(connection);
    request.setURL("http://127.0.0.1:" + std::to_string(closedPort()) + "/x");
    request.OpenRequest();
    http::MemoryStream body;
    EXPECT_TRUE(readsAs(failureOf([&] { request.ReadToStream(body); }),
                        "Не удается установить соединение с сервером"));

    TempDir dir;
    const std::string inMissing = dir.file("нет/файл.zip");
    const std::string created = failureOf([&] { http::FileStream file(inMissing); });
    EXPECT_TRUE(readsAs(created, "Нет такого файла или каталога"));
    EXPECT_TRUE(readsAs(created, "нет/файл.zip"));
}

TEST_F(ZipErrors, MissingArchiveAndAFileWhereAFolderShouldBe) {
    TempDir dir;
    unzip::TUnZip zip;
    zip.DestDir = dir.path().string();
    zip.ZipName = dir.file("архив.zip");
    const std::string missing = failureOf([&] { zip.UnZip(); });
    EXPECT_TRUE(readsAs(missing, "Нет такого файла или каталога"));
    EXPECT_TRUE(readsAs(missing, "архив.zip"));

    // A file where a folder should be.
    const std::string plain = dir.file("файл");
    std::ofstream(plain) << "x";
    zip.ZipName = plain + "/a.zip";
    EXPECT_TRUE(readsAs(failureOf([&] { zip.UnZip(); }), "Это не каталог"));
}

TEST_F(FileErrors, PageViewAndArticleFilesReadAsWritten) {
    TempDir dir;
    ui::PageView view;
    const std::string missingPage =
        failureOf([&] { view.Navigate(QString::fromStdString(dir.file("страница.html"))); });
    EXPECT_TRUE(readsAs(missingPage, "страница.html"));
    EXPECT_TRUE(readsAs(missingPage, "Файл или каталог не существует"));

    const std::string plain = dir.file("файл");
    std::ofstream(plain) << "x";
    const std::string notFolder =
        failureOf([&] { view.Navigate(QString::fromStdString(plain + "/1.html")); });
    EXPECT_TRUE(readsAs(notFolder, "Это не каталог")) << notFolder;

    const std::string article = failureOf([&] { update::ReadArticleFile(plain + "/1.html"); });
    EXPECT_TRUE(readsAs(article, "Не удаётся открыть файл \""));
    EXPECT_TRUE(readsAs(article, "файл/1.html\": Это не каталог"));
}

TEST_F(DatabaseErrors, FileNamesEngineArgumentsAndSystemReasonsAllReadable) {
    // Not attached: the file name as the file system has it, the reason the
    // C library's.
    TempDir dir;
    fb::Database db;
    db.DBName = dir.file("база/Tipsara.gdb");
    db.DBParams = {"lc_ctype=WIN1251", "user_name=sysdba", "password=vaultsong"};
    db.SQLDialect = 1;
    const std::string why = failureOf([&] { db.Open(); });
    EXPECT_TRUE(readsAs(why, "база/Tipsara.gdb"));
    EXPECT_TRUE(readsAs(why, "Нет такого файла или каталога"));

    // Attached: the engine's arguments come in the connection's code page
    // and stay as they are.
    testing_support::TempDatabase file;
    db.DBName = file.path();
    db.Open();
    fb::Transaction tr(db);
    tr.StartTransaction();
    fb::Query q(db, tr);
    q.setSQL(text::utf8ToCp1251("select cast('Строка' as integer) from rdb$database"));
    EXPECT_TRUE(
        readsAs(failureOf([&] { q.ExecQuery(); }), "conversion error from string \"Строка\""));
}

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    // After the application, which sets the locale from the environment.
    ::unsetenv("LANGUAGE");
    russianLocale = std::setlocale(LC_ALL, "ru_RU.UTF-8") != nullptr;
    // Qt's texts in Russian, as the program has them.
    QTranslator qtTranslation;
    if (qtTranslation.load(QStringLiteral("qtbase_ru"),
                           QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        app.installTranslator(&qtTranslation);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
