#pragma once
// The article search: a search text, three modes (all words, any word, the
// exact text), one SELECT over the three tables with a name condition per
// word, and the hits listed with their category and subcategory. The main
// window's search command opens the hit that is selected when the window
// closes.

#include <QCollator>
#include <QDialog>
#include <QString>
#include <QStringList>

#include <optional>
#include <string>
#include <vector>

class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;
class BevelPanel;

namespace fb {
class Query;
}

namespace search {

enum class Mode { AllWords, AnyWord, ExactText };

// The words of a search text (Windows-1251), in order. Quotation marks and
// apostrophes open stretches that the same character closes (or the end of
// the text); outside them only spaces separate words; the quote characters
// stay in the words; each word is trimmed of codes up to 32 and empty ones
// are dropped.
std::vector<std::string> SplitWords(const std::string& text);

// The select shared by all modes; the name conditions follow on a new line.
inline constexpr const char* BaseStatement =
    "SELECT A.ID, A.NAME, B.CATEGORY_NAME, C.SUB_CAT FROM HINTS A, CATEGORIES B, "
    "SUB_CATEGORIES C WHERE A.CAT=B.NUM AND A.SUBCAT=C.NUM AND B.NUM=C.CATNUM";

// The whole statement for a mode and a number of words (ignored in the exact
// mode). Needs at least one word in the word modes.
std::string BuildStatement(Mode mode, size_t wordCount);

// The parameter values, by position: the words, or in the exact mode the
// text as typed.
std::vector<std::string> StatementParams(Mode mode, const std::string& text,
                                         const std::vector<std::string>& words);

// One hit as the list shows it: the name, then the category, the subcategory
// and the article's ID as decimal text.
struct Hit {
    std::string name;
    std::string category;
    std::string subcategory;
    std::string id;
};

// Runs the search on q (IBSQL2) and returns its rows in the database's order.
// A text without words in a word mode finds nothing and runs no statement.
std::vector<Hit> Find(fb::Query& q, Mode mode, const std::string& text);

// The list's order: category, then name, then subcategory, each compared
// with collator. Negative, zero or positive like a three-way compare.
int CompareHits(const QCollator& collator, const QStringList& a, const QStringList& b);

// The collation of the result list: the user's locale, case-sensitive,
// punctuation counted.
QCollator ListCollator();

} // namespace search

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
    QTimer* Timer = nullptr;

    // Column of the hidden third sub-item, the article's ID.
    static constexpr int IdColumn = 3;

    search::Mode mode() const;
    // The selected row of the result list, or null.
    QTreeWidgetItem* SelectedRow() const;
    // The article of the selected row (its hidden sub-item), if a row is
    // selected.
    std::optional<int> ChosenArticle() const;

    void OkBtnClick();
    void SearchChange();
    void TimerTimer();
    void ShowBtnClick();
    void CancelBtnClick();
    int LVCompare(const QTreeWidgetItem* a, const QTreeWidgetItem* b) const;

protected:
    void keyPressEvent(QKeyEvent* e) override;

private:
    QCollator collator_;
};

// The search window during a run of the search command; null otherwise.
extern TSearchFrm* SearchFrm;
