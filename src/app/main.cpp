// The entry: the main window, the data module and the long-lived dialogs are
// made in a fixed order, then the message loop runs until the main window
// closes.

#include "SingleInstance.h"
#include "UMain.h"

#include "components/widgets/ErrorReport.h"
#include "data/UData.h"

#include <QLibraryInfo>
#include <QTranslator>

int main(int argc, char** argv) {
    ui::Application app(argc, argv);
    app.setApplicationName(QStringLiteral("Tipsara"));
    app.setOrganizationName(QStringLiteral("Marvek Systems"));
    app.setQuitOnLastWindowClosed(true);

    // Standard buttons and dialogs in Russian, like the rest of the program.
    QTranslator qtTranslation;
    if (qtTranslation.load(QStringLiteral("qtbase_ru"),
                           QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        app.installTranslator(&qtTranslation);

    SingleInstance instance(
        SingleInstance::keyFor(QString::fromStdString(TDataFrm::DefaultDBName())));
    if (instance.askRunningCopy())
        return 0;
    instance.listen([] {
        if (Main)
            Main->BringToFront();
    });

    Main = new TMain();
    DataFrm = new TDataFrm();

    Main->show();
    app.exec();

    delete Main;
    delete DataFrm;
    DataFrm = nullptr;
    return 0;
}
