// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// The splash window: on screen while the entry makes the data module and the
// long-lived dialogs, with the word "Загрузка" and a changing row of dots.

#include <QWidget>

class BevelPanel;
class QLabel;
class QTimer;

class TSplashForm : public QWidget {
    Q_OBJECT
public:
    TSplashForm();
    ~TSplashForm() override;

    BevelPanel* Panel1 = nullptr;
    QLabel* Image1 = nullptr;
    QLabel* l = nullptr;
    QTimer* Timer = nullptr;
    int Dots = 0;

    void FormCreate();
    void TimerTimer();

    // Shows the window and paints it before returning, so that it is on
    // screen while the entry goes on without serving the message queue.
    void ShowAndPaint();
};

extern TSplashForm* SplashForm;
