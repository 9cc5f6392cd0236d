// SPDX-License-Identifier: GPL-3.0-or-later

#include "Catalogue.h"

#include "components/fb/Fb.h"
#include "components/text/QtText.h"
#include "data/Database.h"

#include <QDir>
#include <QFile>
#include <QTemporaryFile>

#include <algorithm>
#include <stdexcept>
#include <utility>

int ShowTopicID = 0;
std::vector<std::string> ShowTopicWords;
std::function<void()> TopicAsked;
QString TempPageFileName;

void AskForTopic(int id, std::vector<std::string> words) {
    ShowTopicID = id;
    ShowTopicWords = std::move(words);
    if (TopicAsked)
        TopicAsked();
}

// ---------------------------------------------------------------- catalogue

void LoadCatalogue(const CatalogueQueries& q, Catalogue& out,
                   const std::function<void(int, int, int)>& step) {
    // The nodes read so far stay when a statement fails; every cursor is
    // closed then, so that the next load can start afresh.
    fb::CloseOnFailure g1(q.categories);
    fb::CloseOnFailure g2(q.subcategories);
    fb::CloseOnFailure g3(q.articles);
    fb::CloseOnFailure g4(q.count);

    // A load that failed before may have left the category cursor open.
    q.categories.Close();
    RunReading(q.categories);

    q.count.Close();
    q.count.setSQL("select count(*) from hints");
    q.count.Prepare();
    q.count.ExecQuery();
    const int total = q.count.Fields(0).AsInteger();
    q.count.Close();

    int subcategories = 0;
    int articles = 0;
    while (!q.categories.Eof()) {
        CatalogueCategory& category = out.emplace_back();
        category.name = q.categories.Fields(0).AsString();
        category.num = q.categories.Fields(1).AsInteger();

        q.subcategories.Close();
        q.subcategories.setSQL("select SUB_CAT,NUM from SUB_CATEGORIES where CATNUM=" +
                               std::to_string(category.num));
        RunReading(q.subcategories);
        while (!q.subcategories.Eof()) {
            ++subcategories;
            CatalogueSubcategory& sub = category.subcategories.emplace_back();
            sub.name = q.subcategories.Fields(0).AsString();
            sub.num = q.subcategories.Fields(1).AsInteger();

            q.articles.Close();
            q.articles.setSQL(
                "select NAME,ID from HINTS where CAT=" + std::to_string(category.num) +
                " and SUBCAT=" + std::to_string(sub.num) + " order by NAME");
            RunReading(q.articles);
            while (!q.articles.Eof()) {
                sub.articles.push_back(
                    {q.articles.Fields(0).AsString(), q.articles.Fields(1).AsInteger()});
                ++articles;
                q.articles.Next();
            }
            q.subcategories.Next();
            if (step)
                step(subcategories, articles, total);
        }
        q.categories.Next();
    }
    q.categories.Close();
    q.subcategories.Close();
    q.articles.Close();
}

std::optional<std::string> ReadCategoryName(fb::Query& q, int cat) {
    fb::CloseOnFailure guard(q);
    q.Close();
    q.setSQL("select CATEGORY_NAME from CATEGORIES where NUM=:cat");
    q.Params(0).setAsInteger(cat);
    q.ExecQuery();
    std::optional<std::string> name;
    if (!q.Eof())
        name = q.Fields(0).AsString();
    q.Close();
    return name;
}

std::vector<int> CategoryOrder(fb::Query& q) {
    fb::CloseOnFailure guard(q);
    q.Close();
    // The order of the fixed category statement that the load reads.
    q.setSQL("select NUM from CATEGORIES order by CATEGORY_NAME");
    q.ExecQuery();
    std::vector<int> nums;
    while (!q.Eof()) {
        nums.push_back(q.Fields(0).AsInteger());
        q.Next();
    }
    q.Close();
    return nums;
}

std::optional<CatalogueSubcategory> ReadSubcategory(fb::Query& q, int cat, int subcat) {
    fb::CloseOnFailure guard(q);
    q.Close();
    q.setSQL("select SUB_CAT from SUB_CATEGORIES where CATNUM=:cat and NUM=:num");
    q.Params(0).setAsInteger(cat);
    q.Params(1).setAsInteger(subcat);
    q.ExecQuery();
    if (q.Eof()) {
        q.Close();
        return std::nullopt;
    }
    CatalogueSubcategory sub;
    sub.name = q.Fields(0).AsString();
    sub.num = subcat;
    q.Close();
    q.setSQL("select NAME,ID from HINTS where CAT=:cat and SUBCAT=:num order by NAME");
    q.Params(0).setAsInteger(cat);
    q.Params(1).setAsInteger(subcat);
    q.ExecQuery();
    while (!q.Eof()) {
        sub.articles.push_back({q.Fields(0).AsString(), q.Fields(1).AsInteger()});
        q.Next();
    }
    q.Close();
    return sub;
}

int LoadPosition(int articles, int total) {
    if (total <= 0)
        return 0;
    return static_cast<int>(std::min<long long>(100, 100LL * articles / total));
}

// ---------------------------------------------------------------- pages

std::string HtmlEscaped(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char ch : text) {
        switch (ch) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += ch;
        }
    }
    return out;
}

std::string BuildNodePage(int level, const std::string& rawCategoryName,
                          const std::string& rawSubcategoryName) {
    static const char* const kCrLf = "\r\n";
    // The names come from the update server: text, never markup, as the
    // tree shows them.
    const std::string categoryName = HtmlEscaped(rawCategoryName);
    const std::string subcategoryName = HtmlEscaped(rawSubcategoryName);
    std::string page;
    page += "<head>";
    page += kCrLf;
    page +=
        "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=\"Windows-1251\"></head>";
    page += kCrLf;
    page += "<center><b>";
    page += kCrLf;
    if (level == 0) {
        page += "<font size=7 face=\"Tahoma\">" + categoryName + "</font>";
        page += kCrLf;
    } else {
        page += "<font size=7 face=\"Tahoma\">" + categoryName;
        page += kCrLf;
        page += "<br><font size=5>" + subcategoryName + "</font></font>";
        page += kCrLf;
    }
    page += "</b></center>";
    page += kCrLf;
    return "about:" + page;
}

std::string EmptyCataloguePage() {
    return text::utf8ToCp1251("about:<center><b><font size=5 face=\"Tahoma\">"
                              "В базе нет ни одной категории</font></b></center>");
}

std::string MakeFileName(const std::string& name) {
    std::string out = name;
    for (char& ch : out) {
        const auto b = static_cast<unsigned char>(ch);
        const bool kept = b == 32 || b == 33 || (b >= 35 && b <= 37) || (b >= 39 && b <= 41) ||
                          (b >= 44 && b <= 46) || (b >= 48 && b <= 57) || (b >= 64 && b <= 90) ||
                          (b >= 95 && b <= 123) || b == 125 || b == 126 || b >= 192;
        if (!kept)
            ch = '_';
    }
    return out;
}

QString GetTempHTMLFileName() {
    QString dir = QDir::tempPath();
    if (dir.isEmpty())
        dir = QStringLiteral("/tmp");
    if (!dir.endsWith(QLatin1Char('/')))
        dir += QLatin1Char('/');
    QTemporaryFile file(dir + QStringLiteral("tipXXXXXX.tmp"));
    file.setAutoRemove(false);
    if (file.open()) {
        QString name = file.fileName();
        file.close();
        return name;
    }
    return dir + QStringLiteral("TemporaryHTMLFile.html");
}

// ---------------------------------------------------------------- article files

namespace {

[[noreturn]] void fileError(const char* what, const QString& path, const QFile& f) {
    throw std::runtime_error(text::fromQ(
        QStringLiteral("%1 \"%2\". %3").arg(QLatin1String(what), path, f.errorString())));
}

} // namespace

void WriteWholeFile(const QString& path, const std::string& bytes, bool fresh) {
    QFile f(path);
    if (fresh)
        QFile::remove(path);
    const QIODevice::OpenMode mode = fresh ? QIODevice::WriteOnly | QIODevice::NewOnly
                                           : QIODevice::WriteOnly | QIODevice::Truncate;
    if (!f.open(mode))
        fileError("Cannot create file", path, f);
    if (f.write(bytes.data(), static_cast<qint64>(bytes.size())) !=
        static_cast<qint64>(bytes.size()))
        fileError("Cannot write file", path, f);
    if (!f.flush())
        fileError("Cannot write file", path, f);
    f.close();
    if (f.error() != QFileDevice::NoError)
        fileError("Cannot write file", path, f);
}

std::string ReadArticle(fb::Query& q, int id) {
    fb::CloseOnFailure guard(q);
    q.Close();
    q.setSQL("select INFORMATION from HINTS where ID=" + std::to_string(id));
    RunReading(q);
    std::string text = q.Fields(0).AsString();
    q.Close();
    return text;
}

QString WriteArticlePage(fb::Query& q, int id) {
    const std::string article = ReadArticle(q, id);
    TempPageFileName = GetTempHTMLFileName();
    const bool unique = !TempPageFileName.endsWith(QLatin1String("/TemporaryHTMLFile.html"));
    WriteWholeFile(TempPageFileName, article, !unique);
    return TempPageFileName;
}
