// SPDX-License-Identifier: GPL-3.0-or-later
// The start-up baseline: a bare Qt program that shows an empty main window
// and reports when it is on screen, the way the program does. With --texts
// the window has the program's menu bar and a status line: the cost of the
// first text on screen (the font configuration read, fonts loaded), which
// the empty window never pays.

#include "components/widgets/ShownProbe.h"

#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QStatusBar>

#include <cstring>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QMainWindow window;
    window.resize(640, 480);
    if (argc > 1 && std::strcmp(argv[1], "--texts") == 0) {
        for (const char* menu : {"Файл", "Связь", "Статьи", "Настройки", "Помощь"})
            window.menuBar()->addMenu(QString::fromUtf8(menu));
        window.statusBar()->showMessage(QString::fromUtf8("Готово"));
    }
    ui::ShownProbe probe(&window);
    window.show();
    return app.exec();
}
