// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// The about window: the product title over one read-only text box that shows
// either the about text or the licence, switched by two small buttons. It
// lives for the whole run and reopens with the text shown last.

#include <QDialog>
#include <QStringList>

class BevelPanel;
class QLabel;
class QTextEdit;
class QToolButton;

class TAboutFrm : public QDialog {
    Q_OBJECT
public:
    explicit TAboutFrm(QWidget* parent = nullptr);
    ~TAboutFrm() override;

    BevelPanel* Panel = nullptr;
    QLabel* Logo = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QTextEdit* Memo = nullptr;
    QToolButton* ABSB = nullptr;
    QToolButton* LASB = nullptr;
    QToolButton* OkSB = nullptr;
    // The about text and the licence text, line by line.
    QStringList D1;
    QStringList D2;

    void FormCreate();
    void ABSBClick();
    void LASBClick();
    void OkSBMouseDown();
    void OkSBMouseUp();
    void OkSBClick();

    void setVisible(bool visible) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Puts text into Memo while button bobs by distance pixels and back.
    void showText(const QStringList& text, QToolButton* button, int distance);
};

extern TAboutFrm* AboutFrm;
