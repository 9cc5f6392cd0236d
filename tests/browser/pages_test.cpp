// Catalogue pages, file names, temporary files and page decoding: the parts
// of the browser that need no window.

#include "browser/UView.h"
#include "components/text/Cp1251.h"
#include "components/widgets/PageView.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdlib>
#include <set>

namespace {

std::string cp(const char* utf8) { return text::utf8ToCp1251(utf8); }

// TMPDIR for one test, restored after it.
class TempDirEnv {
public:
    explicit TempDirEnv(const QString& dir) : old_(qgetenv("TMPDIR")), had_(qEnvironmentVariableIsSet("TMPDIR")) {
        qputenv("TMPDIR", QFile::encodeName(dir));
    }
    ~TempDirEnv() {
        if (had_)
            qputenv("TMPDIR", old_);
        else
            qunsetenv("TMPDIR");
    }

private:
    QByteArray old_;
    bool had_;
};

} // namespace

TEST(CataloguePage, CategoryAndSubcategoryPagesAreExactBytesWithNamesEscaped) {
    // Names come from the update server and go in as text, not markup.
    const std::string cat = cp("Ввод &amp; &lt;вывод&gt;");
    const std::string sub = cp("Файлы &lt;*.txt&gt; &amp; &quot;кавычки&quot;");
    const std::string head =
        "about:<head>\r\n"
        "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=\"Windows-1251\"></head>\r\n"
        "<center><b>\r\n";
    const std::string rawCat = cp("Ввод & <вывод>");
    const std::string rawSub = cp("Файлы <*.txt> & \"кавычки\"");
    EXPECT_EQ(BuildNodePage(0, rawCat, rawSub),
              head + "<font size=7 face=\"Tahoma\">" + cat + "</font>\r\n</b></center>\r\n");
    EXPECT_EQ(BuildNodePage(1, rawCat, rawSub), head + "<font size=7 face=\"Tahoma\">" + cat +
                                              "\r\n<br><font size=5>" + sub +
                                              "</font></font>\r\n</b></center>\r\n");
    // Empty names (NULL in the database) leave the tags as they are.
    EXPECT_EQ(BuildNodePage(0, "", ""), head + "<font size=7 face=\"Tahoma\"></font>\r\n</b></center>\r\n");
}

TEST(MakeFileName, ReplacesExactlyTheCodesThatNoFileNameMayHold) {
    // The replaced codes, as the list of characters a file name cannot take.
    std::set<int> replaced = {34, 38, 42, 43, 47, 124, 127};
    for (int b = 0; b <= 31; ++b)
        replaced.insert(b);
    for (int b = 58; b <= 63; ++b)
        replaced.insert(b);
    for (int b = 91; b <= 94; ++b)
        replaced.insert(b);
    for (int b = 128; b <= 191; ++b)
        replaced.insert(b);

    std::string all;
    for (int b = 0; b < 256; ++b)
        all += static_cast<char>(b);
    const std::string made = MakeFileName(all);
    ASSERT_EQ(made.size(), 256u);
    for (int b = 0; b < 256; ++b) {
        const char expected = replaced.count(b) ? '_' : static_cast<char>(b);
        EXPECT_EQ(made[static_cast<size_t>(b)], expected) << "code " << b;
    }
    EXPECT_EQ(MakeFileName(cp("Как: путь/файл? Ёлка")), cp("Как_ путь_файл_ _лка"));
    EXPECT_EQ(MakeFileName("two.words"), "two.words");
}

TEST(TempFile, AUniqueNewFileInTheSystemFolderOrTheFallbackName) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    {
        TempDirEnv env(dir.path());
        const QString a = GetTempHTMLFileName();
        const QString b = GetTempHTMLFileName();
        EXPECT_NE(a, b);
        for (const QString& name : {a, b}) {
            const QFileInfo fi(name);
            EXPECT_TRUE(fi.exists()) << name.toStdString();
            EXPECT_EQ(fi.size(), 0);
            EXPECT_EQ(fi.absolutePath(), QDir(dir.path()).absolutePath());
            EXPECT_TRUE(fi.fileName().startsWith(QLatin1String("tip")));
            EXPECT_TRUE(fi.fileName().endsWith(QLatin1String(".tmp")));
        }
    }
    {
        // A folder where no file can be made, not even by root, gives the
        // fixed name there.
        TempDirEnv env(QStringLiteral("/proc"));
        EXPECT_EQ(GetTempHTMLFileName(), QStringLiteral("/proc/TemporaryHTMLFile.html"));
    }
}

TEST(PageDecoding, MetaCharsetIsHonouredAndWindows1251IsTheDefault) {
    const QString russian = QString::fromUtf8("Привет, мир");
    const std::string w1251 = cp("<p>Привет, мир</p>");
    // No declaration: Windows-1251, not UTF-8 guessing.
    EXPECT_TRUE(ui::decodeHtmlPage(QByteArray::fromStdString(w1251)).contains(russian));

    // The catalogue pages' own odd quoting still names Windows-1251.
    const std::string page = BuildNodePage(0, cp("Привет, мир"), "").substr(6);
    EXPECT_EQ(ui::declaredCharset(QByteArray::fromStdString(page)), QByteArray("Windows-1251"));
    EXPECT_TRUE(ui::decodeHtmlPage(QByteArray::fromStdString(page)).contains(russian));

    QByteArray koi8 = "<html><head><META HTTP-EQUIV='Content-Type' CONTENT='text/html; charset=koi8-r'>"
                      "</head><body>";
    koi8 += "\xF0\xD2\xC9\xD7\xC5\xD4, \xCD\xC9\xD2"; // "Привет, мир" in KOI8-R
    EXPECT_EQ(ui::declaredCharset(koi8), QByteArray("koi8-r"));
    EXPECT_TRUE(ui::decodeHtmlPage(koi8).contains(russian));

    const QByteArray utf8 = "<meta charset=\"utf-8\"><p>" + russian.toUtf8() + "</p>";
    EXPECT_TRUE(ui::decodeHtmlPage(utf8).contains(russian));
    EXPECT_TRUE(ui::decodeHtmlPage("\xEF\xBB\xBF" + russian.toUtf8()).startsWith(russian));

    // A charset nobody knows, or bytes that do not fit it, still show a page.
    EXPECT_TRUE(ui::decodeHtmlPage(QByteArray("<meta charset=no-such-set>") + w1251.c_str()).contains(russian));
    EXPECT_TRUE(ui::decodeHtmlPage(QByteArray("<meta charset=utf-8>ok \xFF end")).contains(QLatin1String("end")));
}

TEST(PageDecoding, TheFirstMetaTagNamingACharsetCountsWhereverItStands) {
    // Tags that only look alike, a meta tag without a charset, and "charset"
    // outside any tag are passed over; the declaration may come after a long
    // body and may be cut off by the end of the page.
    QByteArray page = "<metadata charset=bad><meta name=author content=someone>"
                      "<p>charset=koi8-u</p><META\nhttp-equiv=x content=\"text/html; ";
    page += "charset = 'ISO-8859-5'\"><meta charset=utf-8>";
    EXPECT_EQ(ui::declaredCharset(page), QByteArray("ISO-8859-5"));
    QByteArray late = QByteArray(300000, 'x') + "<p><meta charset=cp866";
    EXPECT_EQ(ui::declaredCharset(late), QByteArray("cp866"));
    EXPECT_EQ(ui::declaredCharset("<p>no declaration</p><meta"), QByteArray());
}
