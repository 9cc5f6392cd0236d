// SPDX-License-Identifier: GPL-3.0-or-later

#include "USearch.h"

#include "FragmentDelegate.h"
#include "TextSearch.h"
#include "UIndexProgress.h"
#include "components/text/QtText.h"
#include "components/widgets/BevelPanel.h"
#include "components/widgets/Controls.h"
#include "components/widgets/ErrorReport.h"
#include "data/UData.h"
#include "settings/Store.h"

#include <QCheckBox>
#include <QCollatorSortKey>
#include <QGroupBox>
#include <QHash>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>

#include <algorithm>

TSearchFrm* SearchFrm = nullptr;

// ---------------------------------------------------------------- window

namespace {

QRadioButton* modeButton(QWidget* parent, const char* name, const char* caption, int top) {
    auto* b = new QRadioButton(QString::fromUtf8(caption), parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setGeometry(12, top, 300, 20);
    return b;
}

QStringList rowTexts(const QTreeWidgetItem* row) {
    return {row->text(0), row->text(1), row->text(2)};
}

// A result row keeps its four texts as they are and answers the list from
// them, instead of a stored value per column and role: thousands of rows
// are made for a common word. The marks are its fragment's matched words.
class HitRow : public QTreeWidgetItem {
public:
    HitRow(QStringList texts, const std::vector<fulltext::Mark>& marks) : texts_(std::move(texts)) {
        marks_.reserve(static_cast<qsizetype>(marks.size()) * 2);
        for (const fulltext::Mark& m : marks)
            marks_ << static_cast<int>(m.begin) << static_cast<int>(m.end);
    }
    QVariant data(int column, int role) const override {
        if (role == FragmentDelegate::MarksRole && column == TSearchFrm::FragmentColumn)
            return QVariant::fromValue(marks_);
        if ((role == Qt::DisplayRole || role == Qt::EditRole) && column >= 0 &&
            column < texts_.size())
            return texts_[column];
        // A fragment is longer than its column: the whole of it on hovering.
        // A tool-tip that looks like markup is shown as markup: the text is
        // escaped inside one of its own, which also wraps it.
        if (role == Qt::ToolTipRole && column == TSearchFrm::FragmentColumn &&
            column < texts_.size() && !texts_[column].isEmpty())
            return QStringLiteral("<qt>%1</qt>").arg(texts_[column].toHtmlEscaped());
        return QTreeWidgetItem::data(column, role);
    }

private:
    QStringList texts_;
    QList<int> marks_;
};

} // namespace

TSearchFrm::TSearchFrm(QWidget* parent)
    : QDialog(parent,
              Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      collator_(search::ListCollator()) {
    setObjectName(QStringLiteral("SearchFrm"));
    setWindowTitle(QString::fromUtf8("Поиск статьи"));
    setFont(ui::formFont("MS Sans Serif"));
    setMinimumSize(LeastSize);
    resize(DefaultSize);

    GB = new QGroupBox(QString::fromUtf8(" Строка поиска "), this);
    GB->setObjectName(QStringLiteral("GB"));
    GB->setGeometry(0, 0, 575, 153);

    Search = new QLineEdit(GB);
    Search->setObjectName(QStringLiteral("Search"));
    Search->setGeometry(10, 22, 555, 21);

    RG = new QGroupBox(QString::fromUtf8(" Параметры поиска "), GB);
    RG->setObjectName(QStringLiteral("RG"));
    RG->setGeometry(10, 52, 410, 92);
    RB1 = modeButton(RG, "RB1", "Искать все слова", 18);
    RB2 = modeButton(RG, "RB2", "Искать любое из слов", 42);
    RB3 = modeButton(RG, "RB3", "Точно как в запросе", 66);
    RB1->setChecked(true); // the three share RG, so exactly one is on

    OkBtn = ui::pushButton(GB, "OkBtn", "Поиск...");
    OkBtn->setGeometry(440, 60, 125, 25);
    OkBtn->setDefault(true);
    OkBtn->setEnabled(false);
    CancelBtn = ui::pushButton(GB, "CancelBtn", "Отмена");
    CancelBtn->setGeometry(440, 94, 125, 25);

    LV = new QTreeWidget(this);
    LV->setObjectName(QStringLiteral("LV"));
    LV->setGeometry(0, 153, 575, 491 - 153 - 38);
    LV->setColumnCount(4);
    LV->setHeaderLabels({QString::fromUtf8("Название статьи"), QString::fromUtf8("Категория"),
                         QString::fromUtf8("Подкатегория"), QString()});
    LV->header()->setStretchLastSection(false);
    LV->setColumnWidth(0, 350);
    LV->setColumnWidth(1, 100);
    LV->setColumnWidth(2, 100);
    // Sized to nothing as well as hidden, so that the header's length leaves
    // it out and no scroll bar appears for it.
    LV->setColumnWidth(IdColumn, 0);
    LV->setColumnHidden(IdColumn, true);
    LV->setRootIsDecorated(false);
    LV->setItemsExpandable(false);
    LV->setUniformRowHeights(true);
    LV->setAllColumnsShowFocus(true);
    LV->setSelectionBehavior(QAbstractItemView::SelectRows);
    LV->setSelectionMode(QAbstractItemView::SingleSelection);
    LV->setEditTriggers(QAbstractItemView::NoEditTriggers);
    LV->setSortingEnabled(false);
    LV->header()->setSectionsClickable(false);
    LV->header()->setSectionsMovable(false);
    LV->installEventFilter(this);

    Strip = new BevelPanel(BevelPanel::Bevel::Lowered, BevelPanel::Bevel::Raised, this);
    Strip->setObjectName(QStringLiteral("Strip"));
    Strip->setGeometry(0, 491 - 38, 575, 38);
    ShowBtn = ui::pushButton(Strip, "ShowBtn", "Показать статью");
    ShowBtn->setGeometry(575 - 8 - 125, 7, 125, 25);

    setTabOrder(Search, RB1);
    setTabOrder(RB1, OkBtn);
    setTabOrder(OkBtn, CancelBtn);
    setTabOrder(CancelBtn, LV);
    setTabOrder(LV, ShowBtn);

    ui::connectGuarded(Search, &QLineEdit::textChanged, this, [this] { SearchChange(); });
    ui::connectGuarded(OkBtn, &QPushButton::clicked, this, [this] { OkBtnClick(); });
    ui::connectGuarded(CancelBtn, &QPushButton::clicked, this, [this] { CancelBtnClick(); });
    ui::connectGuarded(ShowBtn, &QPushButton::clicked, this, [this] { ShowBtnClick(); });
    ui::connectGuarded(LV, &QTreeWidget::itemDoubleClicked, this, [this] { ShowBtnClick(); });
    // A selection that goes with its rows (a new search, an emptied list)
    // is told by the model.
    ui::connectGuarded(LV, &QTreeWidget::itemSelectionChanged, this, [this] { TimerTimer(); });
    ui::onRowsChanged(LV->model(), this, [this] { TimerTimer(); });
    TimerTimer();

    listening_ = data::ArticlesChanged::subscribe([this](const data::ArticlesChange& change) {
        if (change.kind != data::ArticlesChange::Kind::Deleted)
            return;
        for (int i = LV->topLevelItemCount() - 1; i >= 0; --i) {
            const int id = LV->topLevelItem(i)->text(IdColumn).toInt();
            if (std::find(change.ids.begin(), change.ids.end(), id) != change.ids.end())
                delete LV->takeTopLevelItem(i);
        }
    });

    makeTextSearchParts();

    if (const auto kept = settings::LoadSearchSize())
        resize(QSize(kept->first, kept->second).expandedTo(LeastSize));
    placeParts();
    openedAt_ = size();
}

TSearchFrm::~TSearchFrm() {
    listening_ = {};
    // The list's own end must not run the handlers of a window half gone.
    disconnect(LV, nullptr, this, nullptr);
    disconnect(LV->model(), nullptr, this, nullptr);
    LV->removeEventFilter(this);
    if (SearchFrm == this)
        SearchFrm = nullptr;
}

search::Mode TSearchFrm::mode() const {
    if (RB2->isChecked())
        return search::Mode::AnyWord;
    if (RB3->isChecked())
        return search::Mode::ExactText;
    return search::Mode::AllWords;
}

QTreeWidgetItem* TSearchFrm::SelectedRow() const {
    const QList<QTreeWidgetItem*> rows = LV->selectedItems();
    return rows.isEmpty() ? nullptr : rows.first();
}

std::optional<int> TSearchFrm::ChosenArticle() const {
    const QTreeWidgetItem* row = SelectedRow();
    if (!row)
        return std::nullopt;
    return row->text(IdColumn).toInt();
}

void TSearchFrm::OkBtnClick() {
    if (InTextCB->isChecked()) {
        FindInText();
        return;
    }
    textResult_ = fulltext::Result();
    // The list changes only once the statement has run, so that a failed
    // search leaves the previous hits in place.
    const std::vector<search::Hit> hits =
        search::Find(DataFrm->IBSQL2, mode(), text::fromQ(Search->text()));

    fillList(search::OrderedRows(collator_, hits));
}

void TSearchFrm::LookUp(const QString& words) {
    Search->setText(words);
    if (OkBtn->isEnabled())
        OkBtn->click();
}

int TSearchFrm::LVCompare(const QTreeWidgetItem* a, const QTreeWidgetItem* b) const {
    return search::CompareHits(collator_, rowTexts(a), rowTexts(b));
}

void TSearchFrm::SearchChange() {
    OkBtn->setEnabled(!Search->text().isEmpty());
}

void TSearchFrm::TimerTimer() {
    ShowBtn->setEnabled(SelectedRow() != nullptr);
}

void TSearchFrm::ShowBtnClick() {
    if (SelectedRow())
        accept();
}

void TSearchFrm::CancelBtnClick() {
    LV->clear();
    Found->clear();
    reject();
}

void TSearchFrm::keyPressEvent(QKeyEvent* e) {
    // Esc presses "Отмена", which also empties the list; the close box only
    // closes.
    if (e->key() == Qt::Key_Escape && e->modifiers() == Qt::NoModifier) {
        CancelBtn->click();
        return;
    }
    QDialog::keyPressEvent(e);
}

bool TSearchFrm::eventFilter(QObject* watched, QEvent* e) {
    // Enter on a row of the list opens it, as a double click does, rather
    // than pressing the default button, which would search again.
    if (watched == LV && e->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(e);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
            (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier && SelectedRow()) {
            ShowBtnClick();
            return true;
        }
    }
    return QDialog::eventFilter(watched, e);
}

void TSearchFrm::resizeEvent(QResizeEvent* e) {
    QDialog::resizeEvent(e);
    placeParts();
}

void TSearchFrm::placeParts() {
    // The search group keeps its height and its buttons their right edge;
    // the list takes the rest between it and the bottom strip.
    const int w = width();
    const int h = height();
    GB->setGeometry(0, 0, w, 153);
    Search->setGeometry(10, 22, w - 20, 21);
    OkBtn->move(w - 135, 60);
    CancelBtn->move(w - 135, 94);
    LV->setGeometry(0, 153, w, h - 153 - 38);
    Strip->setGeometry(0, h - 38, w, 38);
    ShowBtn->move(w - 8 - 125, 7);
    if (Found)
        Found->setGeometry(280, 9, qMax(0, ShowBtn->x() - 10 - 280), 20);
    if (InTextCB)
        sizeColumns();
}

void TSearchFrm::done(int result) {
    if (size() != openedAt_) {
        // The size is a convenience: a store that cannot take it does not
        // keep the window from closing.
        try {
            settings::SaveSearchSize(width(), height());
        } catch (const std::exception&) {
        }
    }
    QDialog::done(result);
}

// ------------------------------------------------------- search in the texts

void TSearchFrm::makeTextSearchParts() {
    // On the bottom strip, left of "Показать статью": the search group has
    // no room left for its caption.
    InTextCB = new QCheckBox(QString::fromUtf8("Искать в тексте статей"), Strip);
    InTextCB->setObjectName(QStringLiteral("InTextCB"));
    InTextCB->setGeometry(10, 9, 260, 20);
    setTabOrder(CancelBtn, InTextCB);
    setTabOrder(InTextCB, LV);

    LV->setColumnCount(FragmentColumn + 1);
    LV->headerItem()->setText(FragmentColumn, QString::fromUtf8("Фрагмент"));
    LV->setItemDelegateForColumn(FragmentColumn, new FragmentDelegate(LV));

    Found = new QLabel(Strip);
    Found->setObjectName(QStringLiteral("Found"));

    InTextCB->setChecked(settings::LoadSearchInText());
    showColumnsFor(InTextCB->isChecked());
    // Toggled, not clicked: the Space key and a screen reader's toggle change
    // the box as well as the mouse does.
    ui::connectGuarded(InTextCB, &QCheckBox::toggled, this, [this](bool) { InTextCBToggled(); });
}

void TSearchFrm::showColumnsFor(bool inText) {
    // Off, the list is the title search's own: three columns, the title
    // taking what the window gains. On, the fragment takes it.
    QHeaderView* header = LV->header();
    LV->setColumnHidden(FragmentColumn, !inText);
    header->setSectionResizeMode(0, inText ? QHeaderView::Interactive : QHeaderView::Stretch);
    header->setSectionResizeMode(FragmentColumn,
                                 inText ? QHeaderView::Stretch : QHeaderView::Interactive);
    if (!inText)
        LV->setColumnWidth(FragmentColumn, 0);
    sizeColumns();
}

void TSearchFrm::sizeColumns() {
    // At the default size the widths the list always had; a wider window
    // gives the title and the places their share.
    const bool inText = InTextCB->isChecked();
    const int extra = qMax(0, width() - DefaultSize.width());
    LV->setColumnWidth(0, (inText ? 210 : 350) + (inText ? extra * 2 / 5 : 0));
    LV->setColumnWidth(1, (inText ? 80 : 100) + extra / 10);
    LV->setColumnWidth(2, (inText ? 80 : 100) + extra / 10);
}

void TSearchFrm::InTextCBToggled() {
    const bool on = InTextCB->isChecked();
    showColumnsFor(on);
    // The hits of the other search would read wrong under the new columns.
    LV->clear();
    Found->clear();
    textResult_ = fulltext::Result();
    settings::SaveSearchInText(on);
}

bool TSearchFrm::FindInText() {
    // Shown only when the index is built or catches up with many articles.
    TIndexProgress progress(this);
    std::optional<search::TextFound> found =
        search::TextSearch(search::TextIndexFor(DataFrm->FBDB))
            .Find(DataFrm->FBDB, DataFrm->IBSQL2, collator_, mode(), text::fromQ(Search->text()),
                  progress.callback());
    if (!found)
        return false;
    textResult_ = std::move(found->result);
    fillList(std::move(found->rows), std::move(found->marks));
    return true;
}

void TSearchFrm::fillList(std::vector<QStringList> rows,
                          std::vector<std::vector<fulltext::Mark>> marks) {
    QList<QTreeWidgetItem*> items;
    items.reserve(static_cast<qsizetype>(rows.size()));
    for (size_t i = 0; i < rows.size(); ++i)
        items.append(new HitRow(std::move(rows[i]),
                                i < marks.size() ? marks[i] : std::vector<fulltext::Mark>()));
    LV->clear();
    LV->addTopLevelItems(items);
    Found->setText(QString::fromUtf8("Найдено: %1").arg(items.size()));
}

std::vector<std::string> TSearchFrm::ChosenWords() const {
    const std::optional<int> id = ChosenArticle();
    if (!id || textResult_.terms.empty())
        return {};
    try {
        return search::TextSearch(search::TextIndexFor(DataFrm->FBDB))
            .MatchedWords(textResult_, *id);
    } catch (const fulltext::Error&) {
        // The marks are a help, not the article: it opens without them.
        return {};
    }
}
