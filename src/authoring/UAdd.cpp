// SPDX-License-Identifier: GPL-3.0-or-later

#include "UAdd.h"

#include "OwnCatalogue.h"
#include "components/text/Cp1251.h"
#include "components/text/QtText.h"
#include "components/widgets/Controls.h"
#include "components/widgets/ErrorReport.h"
#include "data/UData.h"

#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextDocument>

#include <algorithm>
#include <stdexcept>

TAddFrm* AddFrm = nullptr;

std::function<std::optional<QString>(QWidget*, const QString&, const QString&, const QString&)>
    NameAsker = [](QWidget* parent, const QString& caption, const QString& label,
                   const QString& initial) -> std::optional<QString> {
    bool ok = false;
    QString name = QInputDialog::getText(parent, caption, label, QLineEdit::Normal, initial, &ok);
    if (!ok)
        return std::nullopt;
    return name;
};

std::optional<QString> AskName(QWidget* parent, const char* caption, const char* label,
                               const QString& initial) {
    std::optional<QString> name =
        NameAsker(parent, QString::fromUtf8(caption), QString::fromUtf8(label), initial);
    if (!name || name->trimmed().isEmpty())
        return std::nullopt;
    return name;
}

namespace {

const char* const NewCategoryItem = "Новая категория...";
const char* const NewSubcategoryItem = "Новая подкатегория...";

QGroupBox* group(QWidget* parent, const char* name, const char* caption, QRect at) {
    auto* g = new QGroupBox(QString::fromUtf8(caption), parent);
    g->setObjectName(QString::fromLatin1(name));
    g->setGeometry(at);
    return g;
}

QComboBox* choiceList(QWidget* parent, const char* name) {
    auto* c = new QComboBox(parent);
    c->setObjectName(QString::fromLatin1(name));
    c->setEditable(false);
    c->setGeometry(10, 20, 292, 21);
    c->setMaxVisibleItems(16);
    return c;
}

} // namespace

TAddFrm::TAddFrm(QWidget* parent, Mode mode)
    : QDialog(parent,
              Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      mode_(mode) {
    const bool edit = mode == Mode::Edit;
    setObjectName(edit ? QStringLiteral("EditFrm") : QStringLiteral("AddFrm"));
    setWindowTitle(QString::fromUtf8(edit ? "Изменение статьи" : "Добавление статьи в БД"));
    setFont(ui::formFont());
    setFixedSize(649, 489);
    move(329, 253);

    GB1 = group(this, "GB1", " Категория ", QRect(8, 4, 312, 50));
    CB1 = choiceList(GB1, "CB1");
    GB2 = group(this, "GB2", " Подкатегория ", QRect(329, 4, 312, 50));
    CB2 = choiceList(GB2, "CB2");
    CB2->setEnabled(false);

    GroupBox1 = group(this, "GroupBox1", " Название статьи ", QRect(8, 58, 633, 50));
    Name = new QLineEdit(GroupBox1);
    Name->setObjectName(QStringLiteral("Name"));
    Name->setGeometry(10, 20, 613, 21);
    Name->setFrame(false);
    Name->setEnabled(false);

    GB3 = group(this, "GB3", " Ввод текста ", QRect(8, 112, 633, 369));
    Label1 = new QLabel(
        QString::fromUtf8("Содержание статьи предпочительно вводить в формате HTML!!!"), GB3);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(10, 18, 613, 16);
    QFont bold = Label1->font();
    bold.setBold(true);
    Label1->setFont(bold);
    QPalette red = Label1->palette();
    red.setColor(QPalette::WindowText, Qt::red);
    Label1->setPalette(red);

    Memo = new QPlainTextEdit(GB3);
    Memo->setObjectName(QStringLiteral("Memo"));
    Memo->setGeometry(10, 38, 613, 280);
    Memo->setFrameShape(QFrame::NoFrame);
    Memo->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo->setTabChangesFocus(true);
    Memo->setEnabled(false);

    Bevel = new QFrame(GB3);
    Bevel->setObjectName(QStringLiteral("Bevel"));
    Bevel->setFrameShape(QFrame::HLine);
    Bevel->setFrameShadow(QFrame::Sunken);
    Bevel->setGeometry(10, 326, 613, 2);

    OkBtn = ui::pushButton(GB3, "OkBtn", edit ? "Сохранить" : "Добавить", QRect(375, 334, 80, 25));
    OkBtn->setDefault(true);
    OkBtn->setEnabled(false);
    ResetBtn = ui::pushButton(GB3, "ResetBtn", "Сброс", QRect(459, 334, 80, 25));
    CancelBtn = ui::pushButton(GB3, "CancelBtn", "Выход", QRect(543, 334, 80, 25));

    setTabOrder(CB1, CB2);
    setTabOrder(CB2, Name);
    setTabOrder(Name, Memo);
    setTabOrder(Memo, OkBtn);
    setTabOrder(OkBtn, ResetBtn);
    setTabOrder(ResetBtn, CancelBtn);

    CB1->installEventFilter(this);
    ui::connectGuarded(CB1, &QComboBox::activated, this, [this] { CB1Select(); });
    ui::connectGuarded(CB2, &QComboBox::activated, this, [this] { CB2Click(); });
    ui::connectGuarded(Memo, &QPlainTextEdit::textChanged, this, [this] { MemoChange(); });
    ui::connectGuarded(Name, &QLineEdit::textChanged, this, [this] { MemoChange(); });
    ui::connectGuarded(OkBtn, &QPushButton::clicked, this, [this] { OkBtnClick(); });
    ui::connectGuarded(ResetBtn, &QPushButton::clicked, this, [this] { ResetBtnClick(); });
    ui::connectGuarded(CancelBtn, &QPushButton::clicked, this, [this] { CancelBtnClick(); });
    ui::connectGuarded(CB1, &QComboBox::currentIndexChanged, this, [this] { TimerTimer(); });
    ui::connectGuarded(Name, &QLineEdit::textChanged, this, [this] { TimerTimer(); });
    ui::onRowsChanged(CB2->model(), this, [this] { TimerTimer(); });

    FormCreate();
    TimerTimer();
}

TAddFrm::~TAddFrm() {
    // The lists' own end must not run the handlers of a window half gone.
    for (const QObject* source : {static_cast<QObject*>(CB1), static_cast<QObject*>(Name),
                                  static_cast<QObject*>(CB2->model())})
        disconnect(source, nullptr, this, nullptr);
    FormDestroy();
    if (AddFrm == this)
        AddFrm = nullptr;
}

void TAddFrm::FormDestroy() {
    CategoryNums.clear();
    SubCategoryNums.clear();
}

void TAddFrm::FormCreate() {
    Memo->setToolTip(Label1->text());
}

void TAddFrm::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    if (!e->spontaneous())
        ui::guarded([this] { FormShow(); });
}

void TAddFrm::keyPressEvent(QKeyEvent* e) {
    // Esc presses "Выход"; the close box only closes.
    if (e->key() == Qt::Key_Escape && e->modifiers() == Qt::NoModifier) {
        CancelBtn->click();
        return;
    }
    QDialog::keyPressEvent(e);
}

bool TAddFrm::eventFilter(QObject* watched, QEvent* e) {
    if (watched == CB1 && e->type() == QEvent::KeyPress && CB1KeyPress(static_cast<QKeyEvent*>(e)))
        return true;
    return QDialog::eventFilter(watched, e);
}

bool TAddFrm::CB1KeyPress(QKeyEvent* e) {
    // Enter in the category list loads its subcategories instead of pressing
    // "Добавить".
    if (e->key() != Qt::Key_Return && e->key() != Qt::Key_Enter)
        return false;
    ui::guarded([this] { CB1Select(); });
    return true;
}

void TAddFrm::FormShow() {
    CB2->clear();
    CB1->clear();
    Memo->clear();
    FillCategories();
    // Filling an empty list chooses its first item; no category is chosen.
    CB1->setCurrentIndex(-1);
    lastCategory_ = -1;
    if (mode_ == Mode::Edit)
        LoadArticle();
}

void TAddFrm::FillCategories() {
    CB1->clear();
    CategoryNums.clear();
    for (const data::NamedNumber& row : data::ReadNamedNumbers(DataFrm->IBSQL1)) {
        CB1->addItem(text::toQ(row.name));
        CategoryNums.push_back(row.num);
    }
    CB1->addItem(QString::fromUtf8(NewCategoryItem));
}

void TAddFrm::FillSubcategories() {
    fb::Query& q = DataFrm->IBSQL2;
    q.Close();
    const std::vector<data::NamedNumber> rows = authoring::Subcategories(
        q, authoring::NumberAt(CategoryNums, CB1->currentIndex(), "Не выбрана категория статьи"));
    CB2->clear();
    SubCategoryNums.clear();
    for (const data::NamedNumber& row : rows) {
        CB2->addItem(text::toQ(row.name));
        SubCategoryNums.push_back(row.num);
    }
    CB2->addItem(QString::fromUtf8(NewSubcategoryItem));
    CB2->setCurrentIndex(-1);
    CB2->setEnabled(true);
}

void TAddFrm::selectNumber(QComboBox* list, const std::vector<std::string>& nums, int32_t num) {
    const auto at = std::find(nums.begin(), nums.end(), std::to_string(num));
    list->setCurrentIndex(at == nums.end() ? -1 : static_cast<int>(at - nums.begin()));
}

void TAddFrm::CB1Select() {
    if (CB1->currentIndex() >= 0 &&
        static_cast<size_t>(CB1->currentIndex()) == CategoryNums.size()) {
        NewCategory();
        return;
    }
    lastCategory_ = CB1->currentIndex();
    DataFrm->IBSQL2.Close();
    CB2->clear();
    if (CB1->currentIndex() < 0)
        return;
    FillSubcategories();
    CB2->setFocus();
}

void TAddFrm::NewCategory() {
    // The list goes back to the category chosen before; the new one, once
    // made, is chosen in its place.
    CB1->setCurrentIndex(lastCategory_);
    const std::optional<QString> name =
        AskName(this, "Новая категория", "Название новой категории:");
    if (!name)
        return;
    int32_t num = 0;
    fb::Query& upd = DataFrm->UpdQ;
    authoring::CommitNow(upd, DataFrm->FBTransUpd,
                         [&] { num = authoring::CreateCategory(upd, text::fromQ(*name)); });
    Created.emplace_back(num, std::nullopt);
    FillCategories();
    selectNumber(CB1, CategoryNums, num);
    CB1Select();
}

void TAddFrm::NewSubcategory() {
    const int32_t cat = std::stoi(
        authoring::NumberAt(CategoryNums, CB1->currentIndex(), "Не выбрана категория статьи"));
    CB2->setCurrentIndex(-1);
    CB2Click();
    const std::optional<QString> name =
        AskName(this, "Новая подкатегория", "Название новой подкатегории:");
    if (!name)
        return;
    int32_t num = 0;
    fb::Query& upd = DataFrm->UpdQ;
    authoring::CommitNow(upd, DataFrm->FBTransUpd,
                         [&] { num = authoring::CreateSubcategory(upd, cat, text::fromQ(*name)); });
    Created.emplace_back(cat, num);
    FillSubcategories();
    selectNumber(CB2, SubCategoryNums, num);
    CB2Click();
}

void TAddFrm::EditArticle(int32_t id) {
    editedId_ = id;
}

void TAddFrm::LoadArticle() {
    const std::optional<authoring::ArticleRecord> article =
        authoring::ReadArticleRecord(DataFrm->IBSQL2, editedId_);
    if (!article)
        throw std::runtime_error(text::utf8ToCp1251("Статья не найдена: возможно, она удалена"));
    selectNumber(CB1, CategoryNums, article->cat);
    lastCategory_ = CB1->currentIndex();
    if (lastCategory_ >= 0) {
        FillSubcategories();
        selectNumber(CB2, SubCategoryNums, article->subcat);
    }
    editedCat_ = article->cat;
    editedSubcat_ = article->subcat;
    Name->setEnabled(true);
    Name->setText(text::toQ(article->name));
    // Stored with carriage returns; the field keeps line feeds, and the
    // save joins the lines as stored again.
    QString body = text::toQ(article->text);
    body.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    Memo->setPlainText(body);
    MemoChange();
    TimerTimer();
}

void TAddFrm::CB2Click() {
    if (CB2->currentIndex() >= 0 &&
        static_cast<size_t>(CB2->currentIndex()) == SubCategoryNums.size()) {
        NewSubcategory();
        return;
    }
    if (CB2->currentIndex() >= 0) {
        Name->setEnabled(true);
        Name->setFocus();
    } else {
        Name->setEnabled(false);
    }
}

void TAddFrm::MemoChange() {
    OkBtn->setEnabled(!Memo->document()->toRawText().isEmpty() && !Name->text().isEmpty());
}

void TAddFrm::TimerTimer() {
    if (CB1->currentIndex() < 0) {
        if (CB2->count() > 0)
            CB2->clear();
        CB2->setEnabled(false);
    } else if (CB2->count() > 0 && !CB2->isEnabled()) {
        CB2->setEnabled(true);
    }
    Memo->setEnabled(!Name->text().isEmpty());
}

void TAddFrm::OkBtnClick() {
    // Both numbers are looked up before anything runs: without a chosen
    // category or subcategory nothing is inserted.
    const std::string& cat =
        authoring::NumberAt(CategoryNums, CB1->currentIndex(), "Не выбрана категория статьи");
    const std::string& subcat =
        authoring::NumberAt(SubCategoryNums, CB2->currentIndex(), "Не выбрана подкатегория статьи");
    if (mode_ == Mode::Edit) {
        const int32_t catNum = std::stoi(cat);
        const int32_t subcatNum = std::stoi(subcat);
        authoring::UpdateArticle(DataFrm->UpdQ, DataFrm->FBTransUpd, editedId_, catNum, subcatNum,
                                 text::fromQ(Name->text()),
                                 authoring::ArticleText(Memo->document()->toRawText()));
        editedCat_ = catNum;
        editedSubcat_ = subcatNum;
        accept();
        return;
    }
    authoring::InsertArticle(DataFrm->UpdQ, DataFrm->FBTransUpd, cat, subcat,
                             text::fromQ(Name->text()),
                             authoring::ArticleText(Memo->document()->toRawText()));
}

void TAddFrm::ResetBtnClick() {
    if (mode_ == Mode::Edit) {
        FormShow(); // back to the article as stored
        return;
    }
    CB2->clear();
    CB1->setCurrentIndex(-1);
    Name->clear();
    Memo->clear();
    MemoChange();
}

void TAddFrm::CancelBtnClick() {
    Name->clear();
    Name->setEnabled(false);
    reject();
}
