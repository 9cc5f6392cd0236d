// SPDX-License-Identifier: GPL-3.0-or-later

#include "UUpd.h"

#include "UpdatePictures.h"
#include "components/text/Collation.h"
#include "components/text/QtText.h"
#include "components/widgets/Controls.h"
#include "components/widgets/ErrorReport.h"
#include "components/widgets/TreePictures.h"

#include <QCollator>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QStatusBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

TUpdFrm* UpdFrm = nullptr;

namespace {

// Columns: the three shown, then the three texts only the downloads read.
enum Column { kTitle, kCatName, kSubName, kCat, kSubcat, kServId, kColumns };

// Each column keeps the exact Windows-1251 bytes beside the text shown, so
// that what is read back is what was put in.
constexpr int kRawRole = Qt::UserRole + 1;

QToolButton* flatButton(QWidget* parent, const char* name, const char* caption, int width) {
    QToolButton* b = ui::toolButton(parent, name, QString::fromUtf8(caption));
    b->setFixedSize(width, 23);
    return b;
}

QString shown(const QTreeWidgetItem* item, int column) {
    return column < item->columnCount() ? item->text(column) : QString();
}

} // namespace

TUpdFrm::TUpdFrm(QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("UpdFrm"));
    setWindowTitle(QString::fromUtf8("Список доступных обновлений"));
    setFont(ui::pixelFont(11));
    resize(536, 348);

    collator_ = new QCollator(text::listCollator());

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto* bar = new QWidget(this);
    bar->setFixedHeight(25);
    auto* barLayout = new QHBoxLayout(bar);
    barLayout->setContentsMargins(1, 1, 1, 1);
    SB1 = flatButton(bar, "SB1", "Обратить выбор", 105);
    LoadBtn = flatButton(bar, "LoadBtn", "Загрузить", 89);
    LoadBtn->setIcon(update::loadIcon());
    LoadBtn->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    LoadBtn->setToolTip(QString::fromUtf8("Загрузка отмеченных советов на Ваш компьютер"));
    barLayout->addWidget(SB1);
    barLayout->addStretch(1);
    barLayout->addWidget(LoadBtn);
    layout->addWidget(bar);

    LV = new QTreeWidget(this);
    LV->setObjectName(QStringLiteral("LV"));
    LV->setColumnCount(kColumns);
    LV->setHeaderLabels({QString::fromUtf8("Название статьи"), QString::fromUtf8("Категория"),
                         QString::fromUtf8("Подкатегория"), QString(), QString(), QString()});
    for (int c = kCat; c < kColumns; ++c)
        LV->setColumnHidden(c, true);
    LV->setColumnWidth(kTitle, 310);
    LV->setColumnWidth(kCatName, 100);
    LV->setColumnWidth(kSubName, 100);
    LV->setRootIsDecorated(false);
    LV->setItemsExpandable(false);
    LV->setUniformRowHeights(true);
    LV->setSelectionMode(QAbstractItemView::SingleSelection);
    LV->setSelectionBehavior(QAbstractItemView::SelectRows);
    LV->setEditTriggers(QAbstractItemView::NoEditTriggers);
    LV->setIconSize(QSize(16, 16));
    LV->setSortingEnabled(false); // the order is kept by AddEntry
    LV->header()->setSectionsClickable(false);
    LV->header()->setSectionsMovable(false);
    LV->header()->setStretchLastSection(false);
    ui::keepSelectionVisible(LV);
    layout->addWidget(LV, 1);

    SB = new QStatusBar(this);
    SB->setObjectName(QStringLiteral("SB"));
    SB->setSizeGripEnabled(false);
    SBPanel1 = new QLabel(SB);
    SBPanel1->setFixedWidth(150);
    SBPanel2 = new QLabel(SB);
    SBPanel2->setObjectName(QStringLiteral("SBPanel2"));
    SBPanel2->setFixedWidth(200);
    SB->addWidget(SBPanel1);
    SB->addWidget(SBPanel2);
    layout->addWidget(SB);

    // The category pictures of the article tree, for categories 1 to 16.
    const std::vector<QPixmap> pictures = treepictures::imageList();
    for (int i = 0; i < kIcons && i < static_cast<int>(pictures.size()); ++i)
        IL.emplace_back(pictures[static_cast<size_t>(i)]);
    NoPicture = QIcon(treepictures::none());

    ui::connectGuarded(SB1, &QToolButton::clicked, this, [this] { SB1Click(); });
    ui::connectGuarded(LoadBtn, &QToolButton::clicked, this, [this] { LoadBtnClick(); });

    // At every change of the list, hidden or shown.
    ui::onRowsChanged(LV->model(), this, [this] { TimerTimer(); });
    TimerTimer();
}

TUpdFrm::~TUpdFrm() {
    // The list's own end must not run the handlers of a window half gone.
    disconnect(LV->model(), nullptr, this, nullptr);
    delete collator_;
    if (UpdFrm == this)
        UpdFrm = nullptr;
}

QString TUpdFrm::CountText(int count) {
    return QString::fromUtf8("Количество советов в списке: ") + QString::number(count);
}

void TUpdFrm::Clear() {
    LV->clear();
}

void TUpdFrm::AddEntry(const TUpdEntry& entry) {
    auto* item = new QTreeWidgetItem;
    const std::string* texts[kColumns] = {&entry.title, &entry.catName, &entry.subName,
                                          &entry.cat,   &entry.subcat,  &entry.servId};
    for (int c = 0; c < kColumns; ++c) {
        item->setText(c, text::toQ(*texts[c]));
        item->setData(c, kRawRole, QByteArray::fromStdString(*texts[c]));
    }
    item->setFlags((item->flags() | Qt::ItemIsUserCheckable) & ~Qt::ItemIsEditable);
    item->setCheckState(kTitle, Qt::Unchecked);
    // An entry without a picture keeps the picture's room, so that every
    // title starts in the same column.
    const bool pictured = entry.icon >= 0 && entry.icon < static_cast<int>(IL.size());
    item->setIcon(kTitle, pictured ? IL[static_cast<size_t>(entry.icon)] : NoPicture);

    // After the last entry that does not compare greater: equal ones keep
    // the order in which they came.
    int low = 0, high = Count();
    while (low < high) {
        const int mid = (low + high) / 2;
        if (LVCompare(LV->topLevelItem(mid), item) <= 0)
            low = mid + 1;
        else
            high = mid;
    }
    LV->insertTopLevelItem(low, item);
}

int TUpdFrm::Count() const {
    return LV->topLevelItemCount();
}

bool TUpdFrm::Checked(int index) const {
    const QTreeWidgetItem* item = LV->topLevelItem(index);
    return item && item->checkState(kTitle) == Qt::Checked;
}

void TUpdFrm::setChecked(int index, bool checked) {
    if (QTreeWidgetItem* item = LV->topLevelItem(index))
        item->setCheckState(kTitle, checked ? Qt::Checked : Qt::Unchecked);
}

TUpdEntry TUpdFrm::Entry(int index) const {
    const QTreeWidgetItem* item = LV->topLevelItem(index);
    if (!item)
        throw std::out_of_range("TUpdFrm: no entry " + std::to_string(index));
    auto raw = [item](int c) { return item->data(c, kRawRole).toByteArray().toStdString(); };
    return TUpdEntry{
        raw(kTitle), raw(kCatName), raw(kSubName), raw(kCat), raw(kSubcat), raw(kServId), -1};
}

void TUpdFrm::DeleteEntry(int index) {
    delete LV->takeTopLevelItem(index);
}

void TUpdFrm::LoadBtnClick() {
    done(mrYes);
}

void TUpdFrm::reject() {
    done(mrCancel);
}

void TUpdFrm::SB1Click() {
    for (int i = 0; i < Count(); ++i)
        setChecked(i, !Checked(i));
}

int TUpdFrm::LVCompare(const QTreeWidgetItem* item1, const QTreeWidgetItem* item2) const {
    return text::compareInTurn(
        *collator_, {kCatName, kTitle, kSubName}, [item1](int c) { return shown(item1, c); },
        [item2](int c) { return shown(item2, c); });
}

void TUpdFrm::TimerTimer() {
    const bool any = Count() > 0;
    if (SB1->isEnabled() != any)
        SB1->setEnabled(any);
    if (LoadBtn->isEnabled() != any)
        LoadBtn->setEnabled(any);
    SBPanel2->setText(CountText(Count()));
}
