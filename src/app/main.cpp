// SPDX-License-Identifier: GPL-3.0-or-later
// The entry: the main window, the data module and the long-lived dialogs are
// made in a fixed order, then the message loop runs until the main window
// closes.

#include "Dialogs.h"
#include "Exchange.h"
#include "Icons.h"
#include "Request.h"
#include "SingleInstance.h"
#include "UMain.h"
#include "USplash.h"
#include "components/desktop/QuitSignals.h"
#include "components/widgets/ErrorReport.h"
#include "components/widgets/ShownProbe.h"
#include "data/UData.h"
#include "search/TextSearch.h"

#include <QLibraryInfo>
#include <QTimer>
#include <QTranslator>

#include <cstdio>
#include <memory>
#include <optional>
#include <string>

int main(int argc, char** argv) {
    // Import and export from the command line need no window.
    if (const auto code = exchange::RunFromCommandLine(argc, argv))
        return *code;
    quitsignals::block();
    ui::Application app(argc, argv);
    app.setApplicationName(QStringLiteral("Tipsara"));
    app.setOrganizationName(QStringLiteral("Marvek Systems"));
    // The installed menu entry's name, by which a Wayland desktop matches the
    // window to it (and its icon).
    app.setDesktopFileName(QStringLiteral("ru.marvek.Tipsara"));
    app.setQuitOnLastWindowClosed(true);
    app.setWindowIcon(icons::commandIcon(9));

    // Standard buttons and dialogs in Russian, like the rest of the program.
    QTranslator qtTranslation;
    if (qtTranslation.load(QStringLiteral("qtbase_ru"),
                           QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        app.installTranslator(&qtTranslation);

    // A look-up from outside ("--search WORDS", "--article ID", a tipsara:
    // link) is checked here, so that a running copy gets only sound ones.
    const lookup::Parsed lookUp = lookup::fromArguments(QCoreApplication::arguments().mid(1));
    if (!lookUp.error.isEmpty()) {
        std::fprintf(stderr, "tipsara: %s\n", lookUp.error.toLocal8Bit().constData());
        return 2;
    }
    const QByteArray request = lookUp.request ? lookup::toLine(*lookUp.request) : QByteArray();
    // Asked before the main window is up, a look-up waits for it.
    std::optional<lookup::Request> pending = lookUp.request;
    const auto carryOut = [](const lookup::Request& r) {
        QTimer::singleShot(0, Main, [r] {
            if (Main)
                Main->LookUp(r);
        });
    };

    const std::string dbName = TDataFrm::DefaultDBName();
    SingleInstance instance(SingleInstance::keyFor(QString::fromStdString(dbName)));
    if (instance.askRunningCopy(request))
        return 0;
    const auto bringToFront = [&pending, &carryOut](const QByteArray& line) {
        const std::optional<lookup::Request> asked = lookup::fromLine(line);
        if (!Main || !Main->isVisible()) {
            if (asked)
                pending = asked;
            return;
        }
        Main->BringToFront();
        if (asked)
            carryOut(*asked);
    };
    // A copy started at the same moment may have taken the name in between.
    // Where the socket cannot be made at all, the program runs unguarded:
    // it may well be the only copy, and a second one still ends, with the
    // database message, on the database it cannot open.
    if (!instance.listen(bringToFront) && instance.askRunningCopy(request))
        return 0;

    // The engine's attach takes about as long as all the windows together:
    // it runs on a thread of its own while they are made. No window reads
    // the data module while it is made; it is handed out only once attached.
    auto data = std::make_unique<TDataFrm>(dbName, TDataFrm::InBackground{});
    Main = new TMain();
    // On screen while the data module and the dialogs are made.
    SplashForm = new TSplashForm();
    SplashForm->ShowAndPaint();
    MakeLongLivedDialogs();
    // A failed attach shows its message here and ends the run with 255.
    data->WaitOpen();
    DataFrm = data.release();

    delete SplashForm;

    // A signal closes the window, which saves the settings, and ends the run
    // whatever the outcome: a session manager logging out or a shutdown has
    // nobody to answer a box, so a failed save goes to standard error
    // instead. quit() would not do: it asks the windows again and the main
    // window refuses. exit() also leaves any dialog's loop. The code is 1
    // when the settings were not stored, so that whoever sent the signal can
    // tell.
    QuitSignals quitSignals([] {
        const bool saved = !Main || Main->CloseForSignal();
        QCoreApplication::exit(saved ? 0 : 1);
    });

    // The start-up benchmark's signal that the window is on screen.
    std::unique_ptr<ui::ShownProbe> probe;
    if (qEnvironmentVariableIsSet("TIPSARA_REPORT_SHOWN"))
        probe = std::make_unique<ui::ShownProbe>(Main);

    Main->show();
    if (pending)
        carryOut(*pending);
    const int code = app.exec();

    delete Main;
    search::CloseTextIndex();
    delete DataFrm;
    DataFrm = nullptr;
    return code;
}
