#pragma once
// The article search: a search text, three modes (all words, any word, the
// exact text), one SELECT over the three tables with a name condition per
// word, and the hits listed with their category and subcategory. The main
// window's search command opens the hit that is selected when the window
// closes.

#include "Search.h"

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
