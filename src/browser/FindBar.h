// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// The find bar under the page: finds a text in the page as it is typed, in
// any case, marks every occurrence and steps through them round and round.

#include "Reading.h"

#include <QWidget>

#include <vector>

class QLabel;
class QLineEdit;
class QToolButton;

namespace ui {
class PageView;
}

class FindBar : public QWidget {
    Q_OBJECT
public:
    // Placed under view's page, hidden until opened.
    explicit FindBar(ui::PageView* view);

    // Shows the bar with the keyboard in its field, the text there selected,
    // and finds it again in the page.
    void Open();
    // Hides the bar and takes its marks off the page.
    void Close();
    bool IsOpen() const { return !isHidden(); }
    // The next or previous occurrence, round from the last to the first.
    void Next();
    void Previous();

    // The occurrences in the page shown, and the index of the current one
    // (-1 for none).
    const std::vector<reading::Hit>& Hits() const { return hits_; }
    int Current() const { return current_; }

    QLineEdit* Text = nullptr;
    QLabel* Count = nullptr;
    QToolButton* PrevBtn = nullptr;
    QToolButton* NextBtn = nullptr;
    QToolButton* CloseBtn = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    // Finds the text anew, going to the first occurrence at or after
    // position.
    void find(int position);
    void go(int index);
    void mark();
    int topOfView() const;
    ui::PageView* view_;
    std::vector<reading::Hit> hits_;
    int current_ = -1;
};
