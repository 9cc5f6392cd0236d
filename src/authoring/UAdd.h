// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// The add window: the user's own article, filed under a chosen category and
// subcategory, inserted without a server identifier and committed at once.
// Long-lived: made at start-up, shown modally by the add command, keeping
// its fields between showings. The same window, made for one showing,
// changes an article of the user's own ("Изменение статьи").
//
// Both lists end with an item that makes a new category or subcategory of
// one's own, named by the user and committed at once.

#include "Articles.h"

#include <QDialog>

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class QComboBox;
class QFrame;
class QGroupBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

// Asks for a name, offering initial; nothing when cancelled or left blank.
// By default an input dialog; tests answer it through NameAsker.
std::optional<QString> AskName(QWidget* parent, const char* caption, const char* label,
                               const QString& initial = QString());
extern std::function<std::optional<QString>(QWidget* parent, const QString& caption,
                                            const QString& label, const QString& initial)>
    NameAsker;

class TAddFrm : public QDialog {
    Q_OBJECT
public:
    enum class Mode { Add, Edit };
    explicit TAddFrm(QWidget* parent = nullptr, Mode mode = Mode::Add);
    ~TAddFrm() override;

    QGroupBox* GB1 = nullptr;
    QComboBox* CB1 = nullptr;
    QGroupBox* GB2 = nullptr;
    QComboBox* CB2 = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    QLineEdit* Name = nullptr;
    QGroupBox* GB3 = nullptr;
    QLabel* Label1 = nullptr;
    QPlainTextEdit* Memo = nullptr;
    QFrame* Bevel = nullptr;
    QPushButton* OkBtn = nullptr;
    QPushButton* ResetBtn = nullptr;
    QPushButton* CancelBtn = nullptr;

    // Entry i is the number of item i of CB1 (categories) and of CB2
    // (subcategories), as text.
    std::vector<std::string> CategoryNums;
    std::vector<std::string> SubCategoryNums;

    // Edit mode: the article the next showing fills the fields from.
    void EditArticle(int32_t id);
    // Where the saved article is filed now.
    int32_t EditedCat() const { return editedCat_; }
    int32_t EditedSubcat() const { return editedSubcat_; }
    // The categories (with no subcategory) and subcategories made in the
    // window, in order.
    std::vector<std::pair<int32_t, std::optional<int32_t>>> Created;

    void FormShow();
    void FormDestroy();
    void CB1Select();
    // Enter in CB1: consumed, runs CB1Select. True when the key was taken.
    bool CB1KeyPress(QKeyEvent* e);
    void CB2Click();
    void MemoChange();
    // CB2 follows the category choice and its own items, Memo the name: run
    // at every change of those.
    void TimerTimer();
    void OkBtnClick();
    void ResetBtnClick();
    void CancelBtnClick();

protected:
    void showEvent(QShowEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void FormCreate();
    void FillCategories();
    void FillSubcategories();
    // The last item of a list: a new category or subcategory.
    void NewCategory();
    void NewSubcategory();
    void LoadArticle();
    static void selectNumber(QComboBox* list, const std::vector<std::string>& nums, int32_t num);

    Mode mode_;
    int32_t editedId_ = 0;
    int32_t editedCat_ = 0;
    int32_t editedSubcat_ = 0;
    int lastCategory_ = -1;
};

extern TAddFrm* AddFrm;
