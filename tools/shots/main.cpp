// SPDX-License-Identifier: GPL-3.0-or-later
// tipsara-shots: the README's screenshots, made the same way every time.
//
//   tipsara-shots OUT.png [--dark] [--size WxH] [--article FILE] [--edit]
//   tipsara-shots OUT.png --search WORDS [--dark] [--size WxH]
//   tipsara-shots --windows DIR [--dark]
//   tipsara-shots --import-report OUT.png [--dark]
//
// Builds the shipped catalogue into a temporary database, opens the main
// window at the given size (1000 x 720 by default) with the browser showing
// the article of the catalogue file FILE (alg_quicksort.html by default) and
// its tree 300 wide, and saves the window as the program draws it
// (QWidget::grab, at the screen's device pixel ratio: set QT_SCALE_FACTOR=2
// for a 200 % shot). --dark runs
// with the Fusion style and the palette of a dark desktop. The settings go to
// a temporary folder; the user's own are never read or written.
//
// --search shoots the search window instead, at the given size (860 x 560
// by default), after a search in the articles' texts for WORDS with its
// first hit selected.
// --edit saves instead the window "Изменение статьи" over the browser, on a
// copy of the article made the user's own.
//
// --windows saves every other window of the program into DIR instead, one
// PNG each named after the window, to look them over at 200 % or dark.
//
// --import-report imports a few sample notes (one of them twice, one that
// is no text) and saves the report window.

#include "DarkPalette.h"
#include "app/Dialogs.h"
#include "app/Icons.h"
#include "app/UAbout.h"
#include "app/UMain.h"
#include "app/USplash.h"
#include "authoring/Articles.h"
#include "authoring/UAdd.h"
#include "authoring/UImport.h"
#include "browser/UProgress.h"
#include "browser/UView.h"
#include "components/text/Strings.h"
#include "data/DbBuild.h"
#include "data/UData.h"
#include "mail/USendMail.h"
#include "search/USearch.h"
#include "settings/Store.h"
#include "settings/UPrefs.h"
#include "update/UPro.h"
#include "update/UUpd.h"
#include "update/UWait.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPixmap>
#include <QTemporaryDir>
#include <QThread>
#include <QTreeWidget>
#include <QWindow>

#include <cstdio>
#include <functional>
#include <string>

namespace {

int usage() {
    std::fputs("usage: tipsara-shots OUT.png [--dark] [--size WxH] [--article FILE] [--edit]\n"
               "       tipsara-shots OUT.png --search WORDS [--dark] [--size WxH]\n"
               "       tipsara-shots --windows DIR [--dark]\n"
               "       tipsara-shots --import-report OUT.png [--dark]\n",
               stderr);
    return 2;
}

// Runs the event loop until done() holds or the time is up.
bool waitFor(const std::function<bool()>& done, int ms = 5000) {
    QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

// Lets the windows settle: pending layouts, paints and timers.
void settle(int ms = 300) {
    QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
}

bool save(QWidget* w, const QString& dir) {
    w->show();
    waitFor([w] { return w->windowHandle() && w->windowHandle()->isExposed(); });
    settle(100);
    const QString file = QDir(dir).filePath(w->objectName() + QStringLiteral(".png"));
    const bool ok = w->grab().toImage().save(file, "PNG", 0);
    std::printf("%s%s\n", qPrintable(file), ok ? "" : ": not written");
    w->hide();
    return ok;
}

bool saveWindows(const QString& dir) {
    QDir().mkpath(dir);
    bool ok = true;
    TSplashForm splash;
    splash.setObjectName(QStringLiteral("SplashForm"));
    ok &= save(&splash, dir);
    TWait wait(Main);
    ok &= save(&wait, dir);
    TProgress progress(Main);
    ok &= save(&progress, dir);
    TSearchFrm search(Main);
    ok &= save(&search, dir);
    for (QWidget* w :
         std::initializer_list<QWidget*>{PrefsFrm, UpdFrm, AboutFrm, Pro, SendMail, AddFrm})
        ok &= save(w, dir);
    return ok;
}

// The search window after a search in the texts, its first hit selected.
bool shootSearch(const QString& out, const QString& words, QSize size) {
    settings::SaveSearchInText(true);
    bool saved = false;
    {
        TSearchFrm search(Main);
        search.resize(size);
        search.show();
        waitFor([&search] { return search.windowHandle() && search.windowHandle()->isExposed(); });
        QApplication::setActiveWindow(&search);
        search.LookUp(words);
        if (QTreeWidgetItem* first = search.LV->topLevelItem(0))
            search.LV->setCurrentItem(first);
        search.LV->setFocus();
        settle();
        const QPixmap shot = search.grab();
        saved = shot.toImage().convertToFormat(QImage::Format_RGB32).save(out, "PNG", 0);
        std::printf("%s: %d x %d pixels, %d hits\n", qPrintable(out), shot.width(), shot.height(),
                    search.LV->topLevelItemCount());
    }
    delete Main;
    delete DataFrm;
    DataFrm = nullptr;
    if (!saved)
        std::fprintf(stderr, "tipsara-shots: cannot write %s\n", qPrintable(out));
    return saved;
}

// Imports sample notes into the database and saves the report window.
bool saveImportReport(const QString& out) {
    QTemporaryDir notes;
    if (!notes.isValid())
        return false;
    const auto put = [&](const char* name, const char* text) {
        QFile f(QDir(notes.path()).filePath(QString::fromUtf8(name)));
        QDir().mkpath(QFileInfo(f).path());
        f.open(QIODevice::WriteOnly);
        f.write(text);
    };
    put("Заметки/Запуск/Передача параметров в программу.md",
        "# Параметры командной строки\n\n`ParamCount` и `ParamStr(i)`.\n");
    put("Заметки/Запуск/Один экземпляр.html",
        "<html><head><title>Только один экземпляр программы</title></head><body>...</body></html>");
    put("Заметки/Строки/Повтор строки.txt", "StringOfChar(' ', 10) и DupeString('ab', 3)");
    put("Заметки/Строки/Утилиты.md", "## Сравнение строк без учета регистра\n\nAnsiSameText.\n");
    put("Заметки/Снимок.png", "\x89PNG\r\n");
    {
        QFile big(QDir(notes.path()).filePath(QStringLiteral("Заметки/Журнал.txt")));
        big.open(QIODevice::WriteOnly);
        big.write(QByteArray("a\0b", 3));
    }
    fb::Query& upd = DataFrm->UpdQ;
    authoring::ImportTarget target =
        authoring::TargetByName(upd, text::cp("Мои заметки"), text::cp("Разное"));
    target.subfolders = true;
    authoring::Importer importer(
        upd, {QFile::encodeName(notes.path() + QStringLiteral("/Заметки")).toStdString()}, target);
    // One of them is there already: imported before, and so skipped.
    authoring::Importer before(
        upd,
        {QFile::encodeName(notes.path() + QStringLiteral("/Заметки/Строки/Повтор строки.txt"))
             .toStdString()},
        authoring::TargetByName(upd, text::cp("Мои заметки"), text::cp("Строки")));
    authoring::RunImport(upd, DataFrm->FBTransUpd, before);
    authoring::RunImport(upd, DataFrm->FBTransUpd, importer);
    TImportReportFrm report(importer.report(), QString::fromUtf8("Импорт завершен."), Main);
    report.show();
    waitFor([&] { return report.windowHandle() && report.windowHandle()->isExposed(); });
    settle();
    const QPixmap shot = report.grab();
    const bool ok = shot.toImage().convertToFormat(QImage::Format_RGB32).save(out, "PNG", 0);
    std::printf("%s: %d x %d pixels%s\n", qPrintable(out), shot.width(), shot.height(),
                ok ? "" : ", not written");
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    QTemporaryDir config;
    if (!config.isValid())
        return 1;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Tipsara"));
    app.setOrganizationName(QStringLiteral("Marvek Systems"));
    app.setWindowIcon(icons::commandIcon(9)); // as the program's own start sets it

    QString out;
    QString windowsDir;
    QString importReport;
    bool dark = false;
    QSize size;
    QString searchWords;
    bool edit = false;
    QString articleFile = QStringLiteral("alg_quicksort.html");
    const QStringList args = app.arguments().mid(1);
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--dark")) {
            dark = true;
        } else if (a == QLatin1String("--edit")) {
            edit = true;
        } else if (a == QLatin1String("--size") && i + 1 < args.size()) {
            const QStringList wh = args[++i].split(QLatin1Char('x'));
            if (wh.size() != 2)
                return usage();
            size = QSize(wh[0].toInt(), wh[1].toInt());
        } else if (a == QLatin1String("--windows") && i + 1 < args.size()) {
            windowsDir = args[++i];
        } else if (a == QLatin1String("--search") && i + 1 < args.size()) {
            searchWords = args[++i];
        } else if (a == QLatin1String("--import-report") && i + 1 < args.size()) {
            importReport = args[++i];
        } else if (a == QLatin1String("--article") && i + 1 < args.size()) {
            articleFile = args[++i];
        } else if (!a.startsWith(QLatin1String("--")) && out.isEmpty()) {
            out = a;
        } else {
            return usage();
        }
    }
    if (!size.isValid())
        size = searchWords.isEmpty() ? QSize(1000, 720) : QSize(860, 560);
    if (int(!out.isEmpty()) + int(!windowsDir.isEmpty()) + int(!importReport.isEmpty()) != 1 ||
        size.isEmpty())
        return usage();

    if (dark) {
        QApplication::setStyle(QStringLiteral("Fusion"));
        QApplication::setPalette(shots::darkPalette());
    }

    // The shipped catalogue; article identifiers follow its order from 1.
    QTemporaryDir data;
    if (!data.isValid())
        return 1;
    const std::string source = TIPSARA_SOURCE_DIR;
    const dbbuild::Catalogue catalogue = dbbuild::readCatalogue(source + "/db/catalogue");
    int article = 0;
    for (size_t i = 0; i < catalogue.articles.size(); ++i)
        if (QString::fromStdString(catalogue.articles[i].file) == articleFile)
            article = static_cast<int>(i) + 1;
    if (article == 0) {
        std::fprintf(stderr, "tipsara-shots: no article %s in the catalogue\n",
                     qPrintable(articleFile));
        return 1;
    }
    QDir(data.path()).mkpath(QStringLiteral("DB"));
    const std::string dbPath =
        QDir(data.path()).filePath(QStringLiteral("DB/Tipsara.gdb")).toStdString();
    {
        fb::Database db;
        dbbuild::createDatabase(db, dbPath, dbbuild::readFile(source + "/db/schema.sql"));
        dbbuild::loadCatalogue(db, catalogue);
        db.Close();
    }

    // A tree wide enough for the titles of the article's branch.
    settings::SaveTreeWidth(300);

    DataFrm = new TDataFrm(dbPath);
    Main = new TMain();
    MakeLongLivedDialogs();
    if (!windowsDir.isEmpty() || !importReport.isEmpty()) {
        const bool ok =
            windowsDir.isEmpty() ? saveImportReport(importReport) : saveWindows(windowsDir);
        delete Main;
        delete DataFrm;
        DataFrm = nullptr;
        return ok ? 0 : 1;
    }
    Main->show();
    if (!waitFor([] {
            return Main->isVisible() && Main->windowHandle() && Main->windowHandle()->isExposed();
        }))
        std::fputs("tipsara-shots: the window was not exposed; shooting all the same\n", stderr);
    if (!searchWords.isEmpty())
        return shootSearch(out, searchWords, size) ? 0 : 1;
    // After showing: showing restores the size the settings hold.
    Main->resize(size);
    QApplication::setActiveWindow(Main);
    ShowTopicID = article;
    Main->AViewExecute();
    if (!waitFor([] { return ViewFrm && ShowTopicID == 0; })) {
        std::fputs("tipsara-shots: the browser did not show the article\n", stderr);
        return 1;
    }
    settle();

    QPixmap shot;
    if (edit) {
        // The article again as one of the user's own: the next identifier.
        const std::optional<authoring::ArticleRecord> a =
            authoring::ReadArticleRecord(DataFrm->IBSQL4, article);
        authoring::InsertArticle(DataFrm->UpdQ, DataFrm->FBTransUpd, std::to_string(a->cat),
                                 std::to_string(a->subcat), a->name, a->text);
        TAddFrm window(ViewFrm, TAddFrm::Mode::Edit);
        window.EditArticle(static_cast<int32_t>(catalogue.articles.size()) + 1);
        window.show();
        waitFor([&window] { return window.windowHandle() && window.windowHandle()->isExposed(); });
        settle(300);
        shot = window.grab();
    } else {
        shot = Main->grab();
    }
    const bool saved = shot.toImage().convertToFormat(QImage::Format_RGB32).save(out, "PNG", 0);
    delete Main;
    delete DataFrm;
    DataFrm = nullptr;
    if (!saved) {
        std::fprintf(stderr, "tipsara-shots: cannot write %s\n", qPrintable(out));
        return 1;
    }
    std::printf("%s: %d x %d pixels\n", qPrintable(out), shot.width(), shot.height());
    return 0;
}
