// SPDX-License-Identifier: GPL-3.0-or-later
// tipsara-shots: the README's screenshots, made the same way every time.
//
//   tipsara-shots OUT.png [--dark] [--size WxH] [--article FILE] [--edit]
//   tipsara-shots --windows DIR [--dark]
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
// --edit saves instead the window "Изменение статьи" over the browser, on a
// copy of the article made the user's own.
//
// --windows saves every other window of the program into DIR instead, one
// PNG each named after the window, to look them over at 200 % or dark.

#include "DarkPalette.h"
#include "app/Dialogs.h"
#include "app/Icons.h"
#include "app/UAbout.h"
#include "app/UMain.h"
#include "app/USplash.h"
#include "authoring/Articles.h"
#include "authoring/UAdd.h"
#include "browser/UProgress.h"
#include "browser/UView.h"
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
#include <QWindow>

#include <cstdio>
#include <functional>
#include <string>

namespace {

int usage() {
    std::fputs("usage: tipsara-shots OUT.png [--dark] [--size WxH] [--article FILE] [--edit]\n"
               "       tipsara-shots --windows DIR [--dark]\n",
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
    bool dark = false;
    bool edit = false;
    QSize size(1000, 720);
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
        } else if (a == QLatin1String("--article") && i + 1 < args.size()) {
            articleFile = args[++i];
        } else if (!a.startsWith(QLatin1String("--")) && out.isEmpty()) {
            out = a;
        } else {
            return usage();
        }
    }
    if (out.isEmpty() == windowsDir.isEmpty() || size.isEmpty())
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
    if (!windowsDir.isEmpty()) {
        const bool ok = saveWindows(windowsDir);
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
