// SPDX-License-Identifier: GPL-3.0-or-later

#include "UAdd.h"

#include "components/text/QtText.h"
#include "components/widgets/Controls.h"
#include "components/widgets/ErrorReport.h"
#include "data/UData.h"

#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextDocument>

#include <stdexcept>

TAddFrm* AddFrm = nullptr;

namespace {

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

TAddFrm::TAddFrm(QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("AddFrm"));
    setWindowTitle(QString::fromUtf8("Добавление статьи в БД"));
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

    OkBtn = ui::pushButton(GB3, "OkBtn", "Добавить", QRect(375, 334, 80, 25));
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
    ui::connectGuarded(CB2->model(), &QAbstractItemModel::rowsInserted, this,
                       [this] { TimerTimer(); });
    ui::connectGuarded(CB2->model(), &QAbstractItemModel::rowsRemoved, this,
                       [this] { TimerTimer(); });
    ui::connectGuarded(CB2->model(), &QAbstractItemModel::modelReset, this,
                       [this] { TimerTimer(); });

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
    CategoryNums.clear();

    for (const data::NamedNumber& row : data::ReadNamedNumbers(DataFrm->IBSQL1)) {
        CB1->addItem(text::toQ(row.name));
        CategoryNums.push_back(row.num);
    }
    // Filling an empty list chooses its first item; no category is chosen.
    CB1->setCurrentIndex(-1);
}

void TAddFrm::CB1Select() {
    fb::Query& q = DataFrm->IBSQL2;
    q.Close();
    CB2->clear();
    if (CB1->currentIndex() < 0)
        return;

    const std::vector<data::NamedNumber> rows = authoring::Subcategories(
        q, authoring::NumberAt(CategoryNums, CB1->currentIndex(), "Не выбрана категория статьи"));
    CB2->clear();
    SubCategoryNums.clear();
    for (const data::NamedNumber& row : rows) {
        CB2->addItem(text::toQ(row.name));
        SubCategoryNums.push_back(row.num);
    }
    CB2->setCurrentIndex(-1);
    CB2->setEnabled(true);
    CB2->setFocus();
}

void TAddFrm::CB2Click() {
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
    authoring::InsertArticle(DataFrm->UpdQ, DataFrm->FBTransUpd, cat, subcat,
                             text::fromQ(Name->text()),
                             authoring::ArticleText(Memo->document()->toRawText()));
}

void TAddFrm::ResetBtnClick() {
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
