// SPDX-License-Identifier: GPL-3.0-or-later
// Catalogue pages, file names, temporary files and page decoding: the parts
// of the browser that need no window.

#include "browser/Catalogue.h"
#include "components/text/Cp1251.h"
#include "components/text/Strings.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

namespace {

using text::cp;

// TMPDIR for one test, restored after it.
class TempDirEnv {
public:
    explicit TempDirEnv(const QString& dir)
        : old_(qgetenv("TMPDIR")), had_(qEnvironmentVariableIsSet("TMPDIR")) {
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
    const std::string head = "about:<head>\r\n"
                             "<meta http-equiv=\"Content-Type\" content=\"text/html; "
                             "charset=\"Windows-1251\"></head>\r\n"
                             "<center><b>\r\n";
    const std::string rawCat = cp("Ввод & <вывод>");
    const std::string rawSub = cp("Файлы <*.txt> & \"кавычки\"");
    EXPECT_EQ(BuildNodePage(0, rawCat, rawSub),
              head + "<font size=7 face=\"Tahoma\">" + cat + "</font>\r\n</b></center>\r\n");
    EXPECT_EQ(BuildNodePage(1, rawCat, rawSub), head + "<font size=7 face=\"Tahoma\">" + cat +
                                                    "\r\n<br><font size=5>" + sub +
                                                    "</font></font>\r\n</b></center>\r\n");
    // Empty names (NULL in the database) leave the tags as they are.
    EXPECT_EQ(BuildNodePage(0, "", ""),
              head + "<font size=7 face=\"Tahoma\"></font>\r\n</b></center>\r\n");
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
