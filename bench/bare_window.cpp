// SPDX-License-Identifier: GPL-3.0-or-later
// The start-up baseline: a bare Qt program that shows an empty main window
// and reports when it is on screen, the way the program does.

#include "components/widgets/ShownProbe.h"

#include <QApplication>
#include <QMainWindow>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QMainWindow window;
    window.resize(640, 480);
    ui::ShownProbe probe(&window);
    window.show();
    return app.exec();
}
