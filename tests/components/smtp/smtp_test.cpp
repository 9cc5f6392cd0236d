// SPDX-License-Identifier: GPL-3.0-or-later
// The mail layer: the message composer byte for byte, and the SMTP exchange
// against aiosmtpd and against a scripted server for the fault paths.

#include "components/smtp/AntiFreeze.h"
#include "components/smtp/MailMessage.h"
#include "components/smtp/SmtpClient.h"
#include "components/text/Cp1251.h"
#include "components/text/Strings.h"
#include "support/mail/MailServers.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHostInfo>
#include <QJsonArray>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QTemporaryDir>
#include <QTimeZone>
#include <QTimer>
#include <QUrl>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

using namespace smtp;
using mailtest::ScriptedServer;
using mailtest::SinkServer;

namespace {

using text::cp;

const QDateTime kDate(QDate(2024, 3, 5), QTime(14, 3, 7), QTimeZone(3 * 3600));

Message tip(std::vector<std::string> body = {"Category=A", "SubCategory=B", "", "", "Hello"}) {
    Message m;
    m.From = {"Ivan", "ivan@example.com"};
    m.Recipients = {{"Marvek Delphi Hints", "hints@example.org"}};
    m.Subject = "Delphi-Hint: Test";
    m.Body = std::move(body);
    return m;
}

const char* const kHeadFromTo = "From: \"Ivan\" <ivan@example.com>\r\n"
                                "Subject: Delphi-Hint: Test\r\n"
                                "To: \"Marvek Delphi Hints\" <hints@example.org>\r\n";
const char* const kHeadTail = "MIME-Version: 1.0\r\n"
                              "Date: Tue, 5 Mar 2024 14:03:07 +0300\r\n"
                              "X-Priority: 3\r\n"
                              "\r\n";

std::string writeFile(const QTemporaryDir& dir, const char* name, const QByteArray& bytes) {
    const QString path = dir.filePath(QString::fromUtf8(name));
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
    return path.toStdString();
}

QByteArray bytesUpTo(int n) {
    QByteArray b;
    for (int i = 0; i < n; ++i)
        b.append(char(i * 7 + 3));
    return b;
}

} // namespace

TEST(Message, AddressesAreQuotedEncodedOrBare) {
    EXPECT_EQ(formatAddress({"Ivan Petrov", "i@x.ru"}), "\"Ivan Petrov\" <i@x.ru>");
    EXPECT_EQ(formatAddress({"Say \"hi\" \\o/", "i@x.ru"}), "\"Say \\\"hi\\\" \\\\o/\" <i@x.ru>");
    EXPECT_EQ(formatAddress({"", "i@x.ru"}), "i@x.ru");
    EXPECT_EQ(formatAddress({cp("Иван Петров"), "i@x.ru"}),
              "=?windows-1251?Q?=C8=E2=E0=ED_=CF=E5=F2=F0=EE=E2?= <i@x.ru>");
    // A line break in a setting cannot start a header of its own.
    EXPECT_EQ(formatAddress({"a\r\nBcc: b", "i@x.ru\nX: y"}), "\"a  Bcc: b\" <i@x.ru X: y>");
}

TEST(Message, SubjectWordsOutsidePrintableAsciiBecomeEncodedWords) {
    EXPECT_EQ(encodeUnstructured("Delphi-Hint: Hello,  world"), "Delphi-Hint: Hello,  world");
    // Adjacent Cyrillic words share one encoded word, so their space survives.
    EXPECT_EQ(encodeUnstructured(cp("Delphi-Hint: Привет  мир")),
              "Delphi-Hint: =?windows-1251?Q?=CF=F0=E8=E2=E5=F2__=EC=E8=F0?=");
    EXPECT_EQ(encodeUnstructured(cp("и Canvas =?x?=")),
              "=?windows-1251?Q?=E8?= Canvas =?windows-1251?Q?=3D=3Fx=3F=3D?=");
    // Long values: encoded words of at most 75 characters, lines of at most 76.
    std::string longSubject = "Delphi-Hint:";
    for (int i = 0; i < 12; ++i)
        longSubject += cp(" Длинное_слово");
    const std::string folded = "Subject: " + encodeUnstructured(longSubject);
    size_t start = 0;
    for (size_t end; (end = folded.find("\r\n", start)) != std::string::npos; start = end + 3)
        EXPECT_LE(end - start, 76u);
    EXPECT_LE(folded.size() - start, 76u);
}

TEST(Message, QuotedPrintableKeepsLinesShortAndTrailingSpaceVisible) {
    EXPECT_TRUE(isPlainText({"Category=A", "\tindented ~"}));
    EXPECT_FALSE(isPlainText({cp("Привет")}));
    EXPECT_FALSE(isPlainText({std::string(999, 'x')})) << "longer than a mail line may be";
    EXPECT_EQ(quotedPrintable({"a=b ", "", cp("Да\t."), "tab\t", std::string(80, 'x')}),
              "a=3Db=20\r\n\r\n=C4=E0\t.\r\ntab=09\r\n" + std::string(75, 'x') + "=\r\nxxxxx\r\n");
}

TEST(Message, DateIsInInternetFormWithTheUtcOffset) {
    EXPECT_EQ(internetDate(kDate), "Tue, 5 Mar 2024 14:03:07 +0300");
    EXPECT_EQ(
        internetDate(QDateTime(QDate(2023, 12, 25), QTime(9, 0), QTimeZone(-(5 * 3600 + 1800)))),
        "Mon, 25 Dec 2023 09:00:00 -0530");
}

TEST(Message, TextMessageIsPlainOrQuotedPrintable) {
    EXPECT_EQ(compose(tip(), kDate),
              std::string(kHeadFromTo) + "Content-Type: text/plain; charset=\"windows-1251\"\r\n" +
                  kHeadTail + "Category=A\r\nSubCategory=B\r\n\r\n\r\nHello\r\n");

    Message m = tip({cp("Category=Графика"), "SubCategory=", "", "", ".", ".x"});
    m.From.Name = cp("Иван");
    m.Subject = cp("Delphi-Hint: Привет");
    EXPECT_EQ(compose(m, kDate),
              "From: =?windows-1251?Q?=C8=E2=E0=ED?= <ivan@example.com>\r\n"
              "Subject: Delphi-Hint: =?windows-1251?Q?=CF=F0=E8=E2=E5=F2?=\r\n"
              "To: \"Marvek Delphi Hints\" <hints@example.org>\r\n"
              "Content-Type: text/plain; charset=\"windows-1251\"\r\n"
              "Content-Transfer-Encoding: quoted-printable\r\n" +
                  std::string(kHeadTail) +
                  "Category=3D=C3=F0=E0=F4=E8=EA=E0\r\nSubCategory=3D\r\n\r\n\r\n.\r\n.x\r\n");
}

TEST(Message, FileMakesAMultipartMessageWithBase64Lines) {
    QTemporaryDir dir;
    Message m = tip();
    m.File = Attachment{QString::fromStdString(writeFile(dir, "src \"1\".zip", bytesUpTo(58))),
                        "src \"1\".zip"};
    const QByteArray b64 = bytesUpTo(58).toBase64();
    EXPECT_EQ(
        compose(m, kDate),
        std::string(kHeadFromTo) +
            "Content-Type: multipart/mixed; boundary=\"=_NextPart_2rfkindysadvnqw3nerasdf\"\r\n" +
            kHeadTail +
            "This is a multi-part message in MIME format\r\n"
            "\r\n"
            "--=_NextPart_2rfkindysadvnqw3nerasdf\r\n"
            "Content-Type: text/plain; charset=\"windows-1251\"\r\n"
            "Content-Transfer-Encoding: 7bit\r\n"
            "\r\n"
            "Category=A\r\nSubCategory=B\r\n\r\n\r\nHello\r\n"
            "\r\n"
            "--=_NextPart_2rfkindysadvnqw3nerasdf\r\n"
            "Content-Type: application/octet-stream;\r\n"
            "        name=\"src \\\"1\\\".zip\"\r\n"
            "Content-Transfer-Encoding: base64\r\n"
            "Content-Disposition: attachment;\r\n"
            "        filename=\"src \\\"1\\\".zip\"\r\n"
            "\r\n" +
            b64.left(76).toStdString() + "\r\n" + b64.mid(76).toStdString() + "\r\n" +
            "\r\n"
            "--=_NextPart_2rfkindysadvnqw3nerasdf--\r\n");

    // Cyrillic text is quoted-printable in its part; a Cyrillic file name
    // travels in the RFC 2231 form.
    m.Body = {cp("Привет")};
    m.File->FileName = cp("Проект.zip");
    const std::string s = compose(m, kDate);
    EXPECT_NE(s.find("Content-Transfer-Encoding: quoted-printable\r\n\r\n=CF=F0=E8=E2=E5=F2\r\n"),
              std::string::npos);
    EXPECT_NE(s.find("        filename*=windows-1251''%CF%F0%EE%E5%EA%F2.zip\r\n"),
              std::string::npos);

    m.File->Path = dir.filePath("missing.zip");
    EXPECT_THROW(compose(m, kDate), Error);
}

TEST(Message, OnlyPlainAddressesAreAccepted) {
    for (const char* good : {"ivan@example.com", "first.last+tag@mail.ru", "o'brien@x-y.example",
                             "a@[192.0.2.1]", "A_B@Host_1.Example"})
        EXPECT_TRUE(isPlainAddress(good)) << good;
    const std::string bad[] = {
        "",
        "ivan.example.com",
        "@example.com",
        "ivan@",
        "ivan@x@example.com",
        "ivan petrov@example.com",
        " ivan@example.com",
        "ivan@example.com ",
        "ivan\t@example.com",
        cp("иван@example.com"),
        cp("ivan@пример.рф"),
        std::string("iv\0an@example.com", 17),
        "\x01ivan@example.com",
        "ivan@example.com\x7f",
        "ivan@example.com\r\nRCPT TO:<x@y.z>",
        "<ivan@example.com>",
        "\"ivan\"@example.com",
        "ivan@example..com",
        "ivan@.example.com",
        "ivan@example.com.",
        "ivan@[1.2.3.4\\]",
    };
    for (const auto& a : bad)
        EXPECT_FALSE(isPlainAddress(a)) << QByteArray::fromStdString(a).toHex().toStdString();
}

TEST(Message, DotStuffingDoublesALeadingFullStop) {
    EXPECT_EQ(dotStuffed("a\r\n.\r\n.x\r\nb.c\r\n"), "a\r\n..\r\n..x\r\nb.c\r\n.\r\n");
    EXPECT_EQ(dotStuffed(".end"), "..end\r\n.\r\n");
}

TEST(Client, HostMayCarryAPort) {
    auto hp = [](const char* s) {
        HostPort p = splitHostPort(s);
        return p.host + "|" + std::to_string(p.port);
    };
    EXPECT_EQ(hp("mail.example.org"), "mail.example.org|25");
    EXPECT_EQ(hp("127.0.0.1:2525"), "127.0.0.1|2525");
    EXPECT_EQ(hp("[::1]:587"), "::1|587");
    EXPECT_EQ(hp("::1"), "::1|25");
    EXPECT_EQ(hp("host:99999"), "host:99999|25");
}

// One submission as the window makes it: connect, send, and disconnect
// whether the sending succeeded or not. Returns the error text, if any.
struct Submission {
    Client client;
    std::vector<std::string> progress;
    std::string error;
    bool aborted = false;

    explicit Submission(const std::string& host, std::string user = "user",
                        std::string password = "pw") {
        client.Host = host;
        client.Username = std::move(user);
        client.Password = std::move(password);
        client.OnStatus = [this](const std::string& s) { progress.push_back(s); };
    }
    Submission& send(const Message& m) {
        try {
            client.Connect();
            try {
                client.Send(m);
            } catch (...) {
                client.Disconnect();
                throw;
            }
            client.Disconnect();
        } catch (const Aborted& e) {
            aborted = true;
            error = e.what();
        } catch (const Error& e) {
            error = e.what();
        }
        return *this;
    }
};

std::string local(quint16 port) {
    return "127.0.0.1:" + std::to_string(port);
}

TEST(Exchange, AiosmtpdReceivesTheMessageAndTheLogin) {
    SinkServer sink;
    QTemporaryDir dir;
    Message m = tip({"Category=A", "SubCategory=B", "", "", ".", ".x", cp("Строка")});
    m.From.Name = cp("Иван \"Грозный\"");
    m.Subject = cp("Delphi-Hint: =?x?= ") + std::string(90, 'a');
    for (int i = 0; i < 8; ++i)
        m.Subject += cp(" Очень длинная тема");
    m.File = Attachment{QString::fromStdString(writeFile(dir, "a.bin", bytesUpTo(1000))), "a.bin"};

    Submission run(local(sink.port), "user", cp("пароль"));
    run.send(m);
    ASSERT_EQ(run.error, "");
    EXPECT_EQ(run.progress,
              (std::vector<std::string>{"Connecting to 127.0.0.1.", "Connected.",
                                        "Encoding attachment", "Disconnecting.", "Disconnected."}));
    const QJsonObject got = sink.message();
    EXPECT_EQ(got["login"].toString(), "user");
    EXPECT_EQ(got["password"].toString().toLatin1().toStdString(), cp("пароль"));
    EXPECT_EQ(got["mail_from"].toString(), "ivan@example.com");
    EXPECT_EQ(got["rcpt_tos"].toArray().first().toString(), "hints@example.org");
    EXPECT_TRUE(got["defects"].toArray().isEmpty())
        << QJsonDocument(got["defects"].toArray()).toJson().toStdString();
    EXPECT_EQ(got["subject"].toString().toStdString(), text::cp1251ToUtf8(m.Subject));
    EXPECT_EQ(got["from_name"].toString().toStdString(), "Иван \"Грозный\"");
    EXPECT_EQ(got["text"].toString().replace("\r\n", "\n").toStdString(),
              "Category=A\nSubCategory=B\n\n\n.\n.x\nСтрока\n");
    EXPECT_EQ(QByteArray::fromBase64(got["files"][0]["data"].toString().toLatin1()),
              bytesUpTo(1000));

    // What arrived, after the server undid the dot-stuffing, is the message
    // as composed.
    std::string raw = QByteArray::fromBase64(got["raw"].toString().toLatin1()).toStdString();
    std::string expected = compose(m, kDate);
    auto dateLine = [](const std::string& s) {
        const size_t at = s.find("\r\nDate: ") + 2;
        return s.substr(at, s.find("\r\n", at) - at);
    };
    const std::string composedDate = dateLine(expected);
    expected.replace(expected.find(composedDate), composedDate.size(), dateLine(raw));
    EXPECT_EQ(raw, expected);

    // A host name is resolved first; a message without a file is text.
    Submission byName("localhost:" + std::to_string(sink.port));
    byName.send(tip());
    ASSERT_EQ(byName.error, "");
    EXPECT_EQ(byName.progress,
              (std::vector<std::string>{"Resolving hostname localhost.", "Connecting to 127.0.0.1.",
                                        "Connected.", "Encoding text", "Disconnecting.",
                                        "Disconnected."}));
    EXPECT_EQ(sink.message(2)["text"].toString().replace("\r\n", "\n"),
              "Category=A\nSubCategory=B\n\n\nHello\n");
}

TEST(Exchange, BoundaryLinesInTheTextKeepTheAttachment) {
    SinkServer sink;
    QTemporaryDir dir;
    const std::vector<std::string> body = {"Category=A",
                                           "SubCategory=B",
                                           "",
                                           "",
                                           "--=_NextPart_2rfkindysadvnqw3nerasdf--",
                                           "--=_NextPart_2rfkindysadvnqw3nerasdf",
                                           "--=_nextpart_2rfkindysadvnqw3nerasdf and more",
                                           "end"};
    Message m = tip(body);
    m.File = Attachment{QString::fromStdString(writeFile(dir, "a.bin", bytesUpTo(300))), "a.bin"};
    Submission run(local(sink.port));
    run.send(m);
    ASSERT_EQ(run.error, "");

    // Python's email package reads the message back whole.
    const QJsonObject got = sink.message();
    EXPECT_TRUE(got["defects"].toArray().isEmpty())
        << QJsonDocument(got["defects"].toArray()).toJson().toStdString();
    std::string text;
    for (const auto& l : body)
        text += l + "\n";
    EXPECT_EQ(got["text"].toString().replace("\r\n", "\n").toStdString(), text);
    ASSERT_EQ(got["files"].toArray().size(), 1);
    EXPECT_EQ(got["files"][0]["name"].toString(), "a.bin");
    EXPECT_EQ(QByteArray::fromBase64(got["files"][0]["data"].toString().toLatin1()),
              bytesUpTo(300));

    // Without a file there are no parts to break: the text stays plain.
    m.File.reset();
    EXPECT_EQ(compose(m, kDate).find("Content-Transfer-Encoding"), std::string::npos);
}

TEST(Exchange, StartTlsProtectsTheLoginAndChecksTheCertificate) {
    const QString cert = mailtest::sourceFile("tests/support/mail/data/tls-cert.pem");
    SinkServer sink({"--tls", cert, mailtest::sourceFile("tests/support/mail/data/tls-key.pem")});

    Submission untrusted(local(sink.port));
    untrusted.send(tip());
    EXPECT_NE(untrusted.error.find("Cannot establish a secure connection with 127.0.0.1"),
              std::string::npos)
        << untrusted.error;
    EXPECT_EQ(untrusted.progress.back(), "Disconnected.");
    EXPECT_EQ(sink.count(), 0);

    const QSslConfiguration saved = QSslConfiguration::defaultConfiguration();
    QSslConfiguration trusting = saved;
    trusting.addCaCertificates(cert);
    QSslConfiguration::setDefaultConfiguration(trusting);
    Submission trusted(local(sink.port), "user", "secret");
    trusted.send(tip());
    QSslConfiguration::setDefaultConfiguration(saved);
    ASSERT_EQ(trusted.error, "");
    const QJsonObject got = sink.message();
    EXPECT_TRUE(got["tls"].toBool());
    EXPECT_EQ(got["password"].toString(), "secret");
    EXPECT_EQ(got["subject"].toString(), "Delphi-Hint: Test");
}

// The commands a scripted server saw, its replies changed as given.
std::vector<std::string> scripted(const std::map<std::string, std::string>& replies,
                                  std::string& error, std::string user = "user",
                                  bool dropInData = false) {
    ScriptedServer server;
    for (auto& [verb, reply] : replies)
        server.replies[verb] = reply;
    server.dropInData = dropInData;
    server.start();
    Submission run(local(server.port), std::move(user), "pw");
    run.send(tip());
    error = run.error;
    server.finish();
    return server.commands;
}

TEST(Exchange, AuthenticationOnlyWhenLoginIsOffered) {
    std::string error;
    const std::string ehlo = "EHLO " + QUrl::toAce(QHostInfo::localHostName()).toStdString();
    const std::string helo = "HELO" + ehlo.substr(4);
    const std::vector<std::string> tail = {"MAIL FROM:<ivan@example.com>",
                                           "RCPT TO:<hints@example.org>", "DATA", "QUIT"};
    auto with = [&](std::vector<std::string> head) {
        head.insert(head.end(), tail.begin(), tail.end());
        return head;
    };

    EXPECT_EQ(scripted({{"EHLO", "502 Not implemented"}}, error), with({ehlo, helo, "RSET"}));
    EXPECT_EQ(error, "");
    EXPECT_EQ(scripted({{"EHLO", "250-x\r\n250 AUTH PLAIN CRAM-MD5"}}, error),
              with({ehlo, "RSET"}));
    EXPECT_EQ(scripted({{"EHLO", "250-x\r\n250-auth=login\r\n250 SIZE 100"}, {"RSET", "500 ?"}},
                       error, ""),
              with({ehlo, "RSET", "AUTH LOGIN", "", "cHc="}))
        << "old-style AUTH=, any case, empty user name; RSET may fail";
    EXPECT_EQ(error, "");
    EXPECT_EQ(scripted({{"RCPT", "251 User not local; will forward"}}, error),
              with({ehlo, "RSET", "AUTH LOGIN", "dXNlcg==", "cHc="}));
    EXPECT_EQ(error, "");

    std::string helloFails;
    scripted({{"EHLO", "500 no"}, {"HELO", "501 Go away"}}, helloFails);
    EXPECT_EQ(helloFails, "Go away");
}

TEST(Exchange, RefusalEndsTheExchangeWithTheServersTextAndQuit) {
    std::string error;
    auto commands =
        scripted({{"AUTH-PASS", "535 5.7.8 Authentication credentials invalid"}}, error);
    EXPECT_EQ(error, "5.7.8 Authentication credentials invalid");
    EXPECT_EQ(commands.back(), "QUIT");
    EXPECT_EQ(commands[commands.size() - 2], "cHc=");

    commands = scripted({{"MAIL", "550-Sender rejected:\r\n550 not our customer"}}, error);
    EXPECT_EQ(error, "Sender rejected:\nnot our customer");
    EXPECT_EQ(commands.back(), "QUIT");
    EXPECT_EQ(commands[commands.size() - 2].rfind("MAIL FROM:", 0), 0u);

    commands = scripted({{"RCPT", "554 No such user"}}, error);
    EXPECT_EQ(error, "No such user");
    EXPECT_EQ(commands.back(), "QUIT");

    commands = scripted({{"GREETING", "554 Not now"}}, error);
    EXPECT_EQ(error, "Not now");
    EXPECT_EQ(commands, std::vector<std::string>{"QUIT"});

    commands = scripted({}, error, "user", true);
    EXPECT_EQ(error, "The mail server closed the connection");
}

TEST(Exchange, UnreachableServersFailBeforeAnyConnection) {
    quint16 port = 0; // a port that was free a moment ago, closed again
    {
        ScriptedServer gone;
        port = gone.port;
    }

    Submission refused(local(port));
    refused.send(tip());
    EXPECT_NE(refused.error.find("Connection refused"), std::string::npos) << refused.error;
    EXPECT_EQ(refused.progress, std::vector<std::string>{"Connecting to 127.0.0.1."});

    // A label longer than 63 characters is no host name: it fails before
    // anything asks a name server.
    const std::string bad = std::string(64, 'a') + ".invalid";
    Submission unresolved(bad);
    unresolved.send(tip());
    EXPECT_EQ(unresolved.error, "Cannot resolve the host name \"" + bad + "\": invalid host name");
    EXPECT_EQ(unresolved.progress, std::vector<std::string>{"Resolving hostname " + bad + "."});
}

TEST(Exchange, AntiFreezeProcessesEventsWhileTheServerIsSilent) {
    AntiFreeze antiFreeze;
    std::atomic<bool> eventSeen{false};
    ScriptedServer server;
    // The greeting comes only after the application has processed an event,
    // so the connection returns only if the wait let events through.
    server.holdGreeting = [&] { return eventSeen.load(); };
    server.start();
    QTimer::singleShot(0, [&] { eventSeen = true; });
    Submission run(local(server.port));
    run.send(tip());
    server.finish();
    EXPECT_EQ(run.error, "");
    EXPECT_TRUE(eventSeen);
}

TEST(Exchange, BadSenderAddressIsNeverSent) {
    ScriptedServer server;
    server.start();
    Message m = tip();
    m.From.Address = cp("иван@example.com");
    Submission run(local(server.port));
    run.send(m);
    server.finish();
    EXPECT_NE(run.error.find("sender's address"), std::string::npos) << run.error;
    EXPECT_EQ(server.commands, std::vector<std::string>{"QUIT"});
}

// A listener whose queue is full: the kernel answers no further connection
// attempt, so a connect to it hangs as to a dead host.
struct Unanswered {
    int listener = -1, filler = -1;
    quint16 port = 0;
    Unanswered() {
        listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        EXPECT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&a), len), 0) << strerror(errno);
        EXPECT_EQ(::listen(listener, 0), 0) << strerror(errno);
        EXPECT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len), 0);
        port = ntohs(a.sin_port);
        filler = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        // The one connection the queue holds; the next one hangs.
        EXPECT_EQ(::connect(filler, reinterpret_cast<sockaddr*>(&a), len), 0) << strerror(errno);
    }
    ~Unanswered() {
        ::close(filler);
        ::close(listener);
    }
};

// A submission with short limits, and how long it took.
struct Timed : Submission {
    qint64 ms = 0;
    explicit Timed(quint16 port) : Submission(local(port)) {
        client.ConnectTimeout = 1000;
        client.IdleTimeout = 1000;
    }
    Timed& send(const Message& m) {
        QElapsedTimer t;
        t.start();
        Submission::send(m);
        ms = t.elapsed();
        return *this;
    }
};

TEST(Exchange, SilentServersEndTheExchangeAtTheLimits) {
    EXPECT_EQ(Client().ConnectTimeout, 30000);
    EXPECT_EQ(Client().IdleTimeout, 60000);

    {
        Unanswered dead;
        Timed run(dead.port);
        run.send(tip());
        EXPECT_EQ(run.error, "Connection to 127.0.0.1:" + std::to_string(dead.port) + " timed out");
        EXPECT_GE(run.ms, 900);
        EXPECT_LT(run.ms, 3000);
    }

    // Connected, and the server says nothing at all: no greeting.
    struct Outcome {
        std::string error;
        qint64 ms;
        std::vector<std::string> progress;
    };
    auto silentAt = [](const char* verb, std::vector<std::string>& commands) {
        ScriptedServer server;
        server.replies[verb] = ScriptedServer::kSilent;
        server.start();
        Timed run(server.port);
        run.send(tip());
        server.finish();
        commands = server.commands;
        return Outcome{run.error, run.ms, run.progress};
    };
    std::vector<std::string> commands;
    const Outcome greeting = silentAt("GREETING", commands);
    EXPECT_EQ(greeting.error, "The mail server did not answer for 1 second");
    EXPECT_GE(greeting.ms, 900);
    EXPECT_LT(greeting.ms, 3000);
    EXPECT_EQ(commands, std::vector<std::string>{"QUIT"});
    EXPECT_EQ(greeting.progress.back(), "Disconnected.");

    // A server that stops in the middle of the exchange.
    const Outcome mail = silentAt("MAIL", commands);
    EXPECT_EQ(mail.error, "The mail server did not answer for 1 second");
    EXPECT_LT(mail.ms, 3000);
    ASSERT_GE(commands.size(), 2u);
    EXPECT_EQ(commands[commands.size() - 2].rfind("MAIL FROM:", 0), 0u);
    EXPECT_EQ(commands.back(), "QUIT");

    // One that stops reading in the middle of the message: the client's
    // writes stall until the limit.
    QTemporaryDir dir;
    Message big = tip();
    big.File = Attachment{
        QString::fromStdString(writeFile(dir, "big.bin", QByteArray(32 << 20, 'x'))), "big.bin"};
    ScriptedServer server;
    server.stallInData = true;
    server.start();
    Timed data(server.port);
    data.send(big);
    server.stallInData = false;
    server.finish();
    EXPECT_EQ(data.error, "The mail server took no data for 1 second");
    // Encoding 32 MB comes first and is slow in a sanitizer build; without
    // the limit the send would never end.
    EXPECT_LT(data.ms, 60000);
}

TEST(Exchange, AbortStopsAWaitWithQuitAndTheClientServesAgain) {
    AntiFreeze antiFreeze;
    ScriptedServer server;
    server.replies["RCPT"] = ScriptedServer::kSilent;
    server.start();
    Submission run(local(server.port));
    QTimer::singleShot(300, [&] { run.client.Abort(); });
    QElapsedTimer t;
    t.start();
    run.send(tip());
    server.finish();
    EXPECT_TRUE(run.aborted) << run.error;
    EXPECT_LT(t.elapsed(), 5000);
    EXPECT_EQ(server.commands.back(), "QUIT");
    EXPECT_EQ(server.commands[server.commands.size() - 2].rfind("RCPT TO:", 0), 0u);
    EXPECT_EQ(std::count(server.commands.begin(), server.commands.end(), "DATA"), 0);

    // While the connection is still being made: nothing to quit.
    {
        Unanswered dead;
        run.client.Host = local(dead.port);
        run.progress.clear();
        QTimer::singleShot(300, [&] { run.client.Abort(); });
        t.restart();
        run.send(tip());
        EXPECT_TRUE(run.aborted) << run.error;
        EXPECT_LT(t.elapsed(), 5000);
        EXPECT_EQ(run.progress, std::vector<std::string>{"Connecting to 127.0.0.1."});
    }

    // The same client sends the next message as usual.
    SinkServer sink;
    run.client.Host = local(sink.port);
    run.aborted = false;
    run.error.clear();
    run.send(tip());
    EXPECT_FALSE(run.aborted);
    EXPECT_EQ(run.error, "");
    EXPECT_EQ(sink.count(), 1);
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
