// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// The article search: a search text, three modes (all words, any word, the
// exact text), one SELECT over the three tables with a name condition per
// word, and the hits listed with their category and subcategory. The main
// window's search command opens the hit that is selected when the window
// closes. The window opens at the size the user last gave it; the list takes
// what it gains.

#include "Search.h"
#include "data/ArticlesChanged.h"
#include "fulltext/Index.h"

#include <QCollator>
#include <QDialog>
#include <QSize>
#include <QString>
#include <QStringList>

#include <optional>
#include <string>
#include <vector>

class QCheckBox;
class QLabel;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTreeWidget;
class QTreeWidgetItem;
class BevelPanel;

class TSearchFrm : public QDialog {
    Q_OBJECT
public:
    explicit TSearchFrm(QWidget* parent = nullptr);
    ~TSearchFrm() override;

    QGroupBox* GB = nullptr;
    QLineEdit* Search = nullptr;
    QGroupBox* RG = nullptr;
    QRadioButton* RB1 = nullptr;
    QRadioButton* RB2 = nullptr;
    QRadioButton* RB3 = nullptr;
    QPushButton* OkBtn = nullptr;
    QPushButton* CancelBtn = nullptr;
    QTreeWidget* LV = nullptr;
    BevelPanel* Strip = nullptr;
    QPushButton* ShowBtn = nullptr;

    // Column of the hidden third sub-item, the article's ID.
    static constexpr int IdColumn = 3;

    // The search in the articles' texts: the box that turns it on (the
    // title search while it is off), and the column of the text fragments,
    // shown only while it is on.
    QCheckBox* InTextCB = nullptr;
    static constexpr int FragmentColumn = 4;
    // How many the last search found, beside the box.
    QLabel* Found = nullptr;

    // The window's size when nobody has changed it, and the least it takes.
    static constexpr QSize DefaultSize{575, 491};
    static constexpr QSize LeastSize{575, 300};

    // A look-up from outside: the words put in and searched at once, as
    // the search button does (in the texts when the box is on).
    void LookUp(const QString& words);

    search::Mode mode() const;
    // The selected row of the result list, or null.
    QTreeWidgetItem* SelectedRow() const;
    // The article of the selected row (its hidden sub-item), if a row is
    // selected.
    std::optional<int> ChosenArticle() const;
    // The words to highlight in the chosen article: those the full-text
    // search matched in it; none after a title search.
    std::vector<std::string> ChosenWords() const;

    void OkBtnClick();
    void SearchChange();
    // ShowBtn follows the list's selection: run at every change of it.
    void TimerTimer();
    void ShowBtnClick();
    void CancelBtnClick();
    int LVCompare(const QTreeWidgetItem* a, const QTreeWidgetItem* b) const;
    void InTextCBToggled();

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    // Every way of closing: the size the user gave it is kept.
    void done(int result) override;

private:
    void makeTextSearchParts();
    void showColumnsFor(bool inText);
    // The full-text search; false when it did not run (a cancelled build).
    bool FindInText();
    void fillList(std::vector<QStringList> rows,
                  std::vector<std::vector<fulltext::Mark>> marks = {});
    void placeParts();
    void sizeColumns();
    QSize openedAt_;
    QCollator collator_;
    // The query of the last full-text search, for ChosenWords.
    fulltext::Result textResult_;
    // A deleted article's row leaves the list at once.
    data::ArticlesChanged::Subscription listening_;
};

// The search window during a run of the search command; null otherwise.
extern TSearchFrm* SearchFrm;
