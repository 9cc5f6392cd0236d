#pragma once
// The download window: how many article packages have arrived out of how
// many, with a progress bar. Created at start-up and kept for the whole run;
// shown by the update run while it downloads.

#include "UpdateWindow.h"

#include <QString>

class QLabel;
class QProgressBar;

// n, then " файл" with the ending its last decimal digit asks for:
// 1 файл, 2 файла, 5 файлов, 11 файл, 12 файла, 0 файлов.
QString FileCountText(int n);

class TPro : public update::UpdateWindow {
public:
    explicit TPro(QWidget* owner = nullptr);
    ~TPro() override;

    QLabel* Title = nullptr;
    QLabel* loaded = nullptr;
    QLabel* overall = nullptr;
    QLabel* Image = nullptr;
    QProgressBar* PB = nullptr;
};

extern TPro* Pro;
