// SPDX-License-Identifier: GPL-3.0-or-later
// tipsara-server --publish on the demonstration master: mailed tips as the
// submission composes them and as transports re-encode them, bundles,
// malformed sources, and a running server that takes the published
// articles while clients read.

#include "components/http/Http.h"
#include "components/smtp/MailMessage.h"
#include "components/text/Cp1251.h"
#include "components/zip/UnZip.h"
#include "mail/Submission.h"
#include "support/ServerProcess.h"
#include "support/TempDatabase.h"
#include "support/ZipMaker.h"
#include "update/UpdateProtocol.h"

#include <QDateTime>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

using testing_support::ServerProcess;
using testing_support::TempDir;
namespace fs = std::filesystem;

namespace {

const std::string kServer = std::string(TIPSARA_BIN_DIR) + "/tipsara-server";
const std::string kSource = TIPSARA_SOURCE_DIR;

std::string cp(const char* utf8) {
    return text::utf8ToCp1251(utf8, true);
}

void spit(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

// The file as stat sees it: renamed over or written to, it differs.
std::vector<int64_t> signature(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return {};
    return {static_cast<int64_t>(st.st_ino), st.st_size, st.st_mtim.tv_sec, st.st_mtim.tv_nsec};
}

struct Article {
    int32_t id;
    std::string category, subcategory, name, text; // Windows-1251
    int32_t cat, sub;
    bool operator==(const Article&) const = default;
};

// A tip as the submission window mails it.
std::string submitted(const std::string& name, const std::string& category,
                      const std::string& subcategory, const std::string& comment,
                      const QString& file = {}) {
    const mail::MailSettings from{"127.0.0.1", "", "", cp("Иван"), "ivan@example.com"};
    const mail::Submission tip{name, category, subcategory, comment, file};
    return smtp::compose(mail::ComposeSubmission(from, tip), QDateTime::currentDateTime());
}

class Publish : public ::testing::Test {
protected:
    void SetUp() override {
        master_ = dir_.file("Master.gdb");
        const std::string make = kServer + " --make-master " + master_ + " " + kSource +
                                 "/db/schema.sql " + kSource + "/db/catalogue " + kSource +
                                 "/db/demo-server > /dev/null";
        ASSERT_EQ(std::system(make.c_str()), 0);
        before_ = articles();
        ASSERT_FALSE(before_.empty());
    }

    // Runs the command; its exit status, standard output and error.
    struct Result {
        int status;
        std::string out, err;
    };
    Result publish(const std::vector<std::string>& args) {
        std::string command = kServer + " --publish " + master_;
        for (const std::string& a : args)
            command += " '" + a + "'";
        command += " > " + dir_.file("out") + " 2> " + dir_.file("err");
        const int status = std::system(command.c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, dbbuild::readFile(dir_.file("out")),
                dbbuild::readFile(dir_.file("err"))};
    }

    std::string file(const std::string& name, const std::string& content) {
        spit(dir_.file(name), content);
        return dir_.file(name);
    }

    // Every article of the master with its places' names, by ID.
    std::vector<Article> articles() {
        testing_support::AttachedDatabase m(master_);
        fb::Query q(m.db, m.tr);
        q.setSQL("select H.ID, C.CATEGORY_NAME, S.SUB_CAT, H.NAME, H.INFORMATION, H.CAT, "
                 "H.SUBCAT from HINTS H join CATEGORIES C on C.NUM=H.CAT join SUB_CATEGORIES S "
                 "on S.CATNUM=H.CAT and S.NUM=H.SUBCAT order by H.ID");
        q.ExecQuery();
        std::vector<Article> out;
        for (; !q.Eof(); q.Next())
            out.push_back({q.Fields(0).AsInteger(), q.Fields(1).AsString(), q.Fields(2).AsString(),
                           q.Fields(3).AsString(), q.Fields(4).AsString(), q.Fields(5).AsInteger(),
                           q.Fields(6).AsInteger()});
        q.Close();
        m.tr.Rollback();
        m.db.Close();
        return out;
    }
    int32_t highest(const char* sql) {
        testing_support::AttachedDatabase m(master_);
        fb::Query q(m.db, m.tr);
        q.setSQL(sql);
        q.ExecQuery();
        const int32_t n = q.Fields(0).AsInteger();
        q.Close();
        m.tr.Rollback();
        m.db.Close();
        return n;
    }
    std::vector<Article> added() {
        std::vector<Article> all = articles();
        return {all.begin() + static_cast<ptrdiff_t>(before_.size()), all.end()};
    }
    int32_t nextId() const { return before_.back().id + 1; }

    TempDir dir_;
    std::string master_;
    std::vector<Article> before_;
};

TEST_F(Publish, MailedTipsInEveryTransferEncodingAreAddedUnderTheNextIdentifiers) {
    const std::string strings = cp("Строки и текст");
    const std::string search = cp("Поиск и замена");
    const int32_t maxCat = highest("select max(NUM) from CATEGORIES");
    const int32_t stringsCat = 1;
    const int32_t maxSub = highest("select max(NUM) from SUB_CATEGORIES where CATNUM=1");

    // As the window sends them: 7-bit text, then quoted-printable.
    const std::string plain = file("plain.eml", submitted("Plain ASCII tip", strings, search,
                                                          "<p>Use Pos.</p>\n\n<p>Done.</p>\n"));
    const std::string qp = file(
        "qp.eml", submitted(cp("Совет по-русски"), cp("Новая категория"), cp("Новая подкатегория"),
                            cp("Первая строка\n\tс табуляцией = знак\nпоследняя")));
    // As transports re-encode them: 8-bit, and base64 in UTF-8 with a
    // character that Windows-1251 lacks.
    const std::string eight = file(
        "8bit.eml", "From: x@example.com\r\nSubject: =?windows-1251?B?" +
                        QByteArray::fromStdString("Delphi-Hint: " + cp("Восьмибитный"))
                            .toBase64()
                            .toStdString() +
                        "?=\r\nMIME-Version: 1.0\r\nContent-Type: text/plain; charset=windows-1251"
                        "\r\nContent-Transfer-Encoding: 8bit\r\n\r\nCategory=" +
                        strings + "\r\nSubCategory=" + search + "\r\n\r\n\r\n" +
                        cp("Текст <b>как есть</b>") + "\r\n");
    const std::string base64 = file(
        "base64.eml",
        "From: x@example.com\r\nSubject: Delphi-Hint: Arrows\r\nMIME-Version: 1.0\r\n"
        "Content-Type: text/plain; charset=\"utf-8\"\r\nContent-Transfer-Encoding: base64\r\n\r\n" +
            QByteArray("Category=Строки и текст\r\nSubCategory=Новая подкатегория\r\n\r\n"
                       "Стрелка → и ещё\r\nвторая строка")
                .toBase64()
                .toStdString() +
            "\r\n");

    const Result r = publish({plain, qp, eight, base64});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<Article> expected = {
        {nextId(), strings, search, "Plain ASCII tip", "<p>Use Pos.</p>\r\n\r\n<p>Done.</p>",
         stringsCat, 1},
        {nextId() + 1, cp("Новая категория"), cp("Новая подкатегория"), cp("Совет по-русски"),
         cp("Первая строка\r\n\tс табуляцией = знак\r\nпоследняя"), maxCat + 1, 1},
        {nextId() + 2, strings, search, cp("Восьмибитный"), cp("Текст <b>как есть</b>"), stringsCat,
         1},
        // A name the category lacks makes the subcategory after its highest.
        {nextId() + 3, strings, cp("Новая подкатегория"), "Arrows",
         cp("Стрелка &#8594; и ещё\r\nвторая строка"), stringsCat, maxSub + 1}};
    EXPECT_EQ(added(), expected);

    // Published again: present already, and the master is left alone.
    const auto once = signature(master_);
    const Result again = publish({qp});
    EXPECT_EQ(again.status, 0);
    EXPECT_NE(again.out.find("already present as " + std::to_string(nextId() + 1)),
              std::string::npos)
        << again.out;
    EXPECT_EQ(signature(master_), once);
}

TEST_F(Publish, AnAttachmentOfTextJoinsTheArticleAndOneOfBytesIsNamedAndLeftOut) {
    const std::string unit = dir_.file("Unit1.pas");
    spit(unit, cp("// юнит\r\nif a < b then\r\n  Result := 'x & y';\r\n"));
    const std::string archive = dir_.file(text::cp1251ToUtf8(cp("Исходники.zip")));
    spit(archive, std::string("PK\x03\x04\0\0binary", 12));
    const std::string strings = cp("Строки и текст");
    const std::string sub = cp("Поиск и замена");
    const std::string withText =
        file("text.eml", submitted(cp("С юнитом"), strings, sub, cp("Смотрите юнит."),
                                   QString::fromStdString(unit)));
    const std::string withBytes =
        file("bytes.eml", submitted(cp("С архивом"), strings, sub, cp("Архив приложен."),
                                    QString::fromStdString(archive)));
    const Result r = publish({withText, withBytes});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<Article> got = added();
    ASSERT_EQ(got.size(), 2U);
    EXPECT_EQ(text::cp1251ToUtf8(got[0].text),
              "Смотрите юнит.\r\n<p><b>Unit1.pas</b></p>\r\n<pre>// юнит\r\nif a &lt; b then\r\n"
              "  Result := 'x &amp; y';</pre>");
    EXPECT_EQ(text::cp1251ToUtf8(got[1].text), "Архив приложен.");
    EXPECT_NE(r.out.find("note: attachment \"Исходники.zip\" (12 bytes) is not text"),
              std::string::npos)
        << r.out;
}

TEST_F(Publish, ABundleIsPlacedByNamesAndADryRunChangesNothing) {
    // The user's own numbers; the names decide where the articles go.
    const std::string bundle = dir_.file("own.zip");
    testing_support::makeZip(
        bundle,
        {{"categories.txt", "1000001\tСтроки и текст\n1000002\tСвоё\n"},
         {"subcategories.txt", "1000001\t1000000\tПоиск и замена\n1000002\t1000000\tРазное\n"},
         {"articles.txt", "# comment\na.html\t1000001\t1000000\t\tПервая\n"
                          "b.html\t1000002\t1000000\t\tВторая\n"},
         {"articles/a.html", "<p>один</p>"},
         {"articles/b.html", "<p>два</p>"}});
    const auto untouched = signature(master_);
    const Result dry = publish({"--dry-run", bundle});
    ASSERT_EQ(dry.status, 0) << dry.err;
    EXPECT_NE(dry.out.find("would add " + std::to_string(nextId()) + ": \"Первая\""),
              std::string::npos)
        << dry.out;
    EXPECT_NE(dry.out.find("\"Своё\" (new) / \"Разное\" (new)"), std::string::npos) << dry.out;
    EXPECT_EQ(signature(master_), untouched);

    ASSERT_EQ(publish({bundle}).status, 0);
    const std::vector<Article> got = added();
    ASSERT_EQ(got.size(), 2U);
    EXPECT_EQ(got[0].id, nextId());
    EXPECT_EQ(got[0].category, cp("Строки и текст"));
    EXPECT_EQ(got[0].subcategory, cp("Поиск и замена"));
    EXPECT_EQ(got[0].text, cp("<p>один</p>"));
    EXPECT_EQ(got[1].id, nextId() + 1);
    EXPECT_EQ(got[1].category, cp("Своё"));
    EXPECT_LT(got[1].cat, 1000000) << "the master numbers its own categories";
}

TEST_F(Publish, ASourceThatCannotBeReadIsRefusedAndNothingIsPublished) {
    const std::string good =
        file("good.eml", submitted("Good", cp("Строки и текст"), cp("Поиск и замена"), "text"));
    const auto bundle = [&](const char* name, const testing_support::Members& members) {
        testing_support::makeZip(dir_.file(name), members);
        return dir_.file(name);
    };
    const testing_support::Members lists = {{"categories.txt", "1\tA\n"},
                                            {"subcategories.txt", "1\t1\tB\n"}};
    testing_support::Members outside = lists, missing = lists;
    outside.push_back({"articles.txt", "../../../../../../etc/passwd\t1\t1\t\tStolen\n"});
    missing.push_back({"articles.txt", "gone.html\t1\t1\t\tGone\n"});
    const std::map<std::string, std::string> refused = {
        {file("text.eml", "hello, this is no mail\n"), "not a mail message"},
        {file("subject.eml", "From: a@b.c\r\nSubject: Hello\r\n\r\nCategory=A\r\n"),
         "the subject does not begin with \"Delphi-Hint:\""},
        {file("nocat.eml", "From: a@b.c\r\nSubject: Delphi-Hint: X\r\n\r\ntext only\r\n"),
         "no \"Category=\" line"},
        {file("noname.eml",
              "Subject: Delphi-Hint:  \r\n\r\nCategory=A\r\nSubCategory=B\r\n\r\nt\r\n"),
         "no name"},
        {file("notzip.zip", "not a zip"), "не является ZIP-архивом"},
        {bundle("nolists.zip", {{"articles/a.html", "x"}}), "the bundle has no categories.txt"},
        {bundle("outside.zip", outside), "is not a file name in the articles folder"},
        {bundle("missing.zip", missing), "cannot read"},
        {bundle("twice.zip", {{"categories.txt", "1\tA\n"}, {"x/categories.txt", "2\tB\n"}}),
         "two members are named \"categories.txt\""},
        {file("tip.txt", "Subject: Delphi-Hint: x\r\n"), "neither a bundle"},
        {dir_.file("absent.eml"), "no such file"}};
    const auto untouched = signature(master_);
    for (const auto& [source, why] : refused) {
        const Result r = publish({good, source});
        EXPECT_NE(r.status, 0) << source;
        EXPECT_NE(r.err.find(source), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(why), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("nothing published"), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "") << source;
    }
    EXPECT_EQ(signature(master_), untouched);
    EXPECT_EQ(articles(), before_);
    EXPECT_EQ(publish({}).status, 2) << "a source is needed";
}

TEST_F(Publish, ARunningServerServesThePublishedArticleWhileClientsRead) {
    ServerProcess server({kServer, "--listen", "127.0.0.1:0", "--no-log", master_},
                         "listening on http://127\\.0\\.0\\.1:(\\d+)/");
    const std::string id = std::to_string(nextId());
    std::atomic<bool> stop = false;
    std::atomic<int> failures = 0, reads = 0;
    std::vector<std::thread> readers;
    readers.reserve(4);
    for (int t = 0; t < 4; ++t)
        readers.emplace_back([&] {
            http::TInternetSession session;
            http::TInternetConnection connection{session};
            http::TInternetHTTPRequest request{connection};
            while (!stop) {
                try {
                    update::FetchText(request, server.root(), update::kMaxCatPath);
                    update::FetchText(request, server.root(), update::NewHintsPath(""));
                    ++reads;
                } catch (const std::exception&) {
                    ++failures;
                }
            }
        });
    const std::string tip = file("tip.eml", submitted(cp("Свежий"), cp("Строки и текст"),
                                                      cp("Поиск и замена"), "<p>new</p>"));
    ASSERT_EQ(publish({tip}).status, 0);
    const auto published = std::chrono::steady_clock::now();

    http::TInternetSession session;
    http::TInternetConnection connection{session};
    http::TInternetHTTPRequest request{connection};
    bool offered = false;
    while (!offered && std::chrono::steady_clock::now() - published < std::chrono::seconds(5)) {
        for (const update::NewHint& h : update::ParseNewHints(
                 update::FetchText(request, server.root(), update::NewHintsPath(""))))
            offered = offered || (h.serverId == id && h.title == cp("Свежий"));
        if (!offered)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    const auto seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - published);
    stop = true;
    for (std::thread& t : readers)
        t.join();
    EXPECT_TRUE(offered);
    EXPECT_LT(seconds.count(), 3.0) << "not served within seconds";
    EXPECT_EQ(failures, 0) << "a client's read failed while the master changed";
    EXPECT_GT(reads, 0);

    const std::string package = dir_.file("package.zip");
    update::FetchFile(request, server.root(), update::PackagePath(id), package);
    unzip::TUnZip unpack;
    unpack.ZipName = package;
    unpack.DestDir = dir_.path().string();
    unpack.UnZip();
    EXPECT_EQ(dbbuild::readFile(dir_.file(id + ".html")), "<p>new</p>");
    EXPECT_EQ(server.stop(), 0);
}

} // namespace
