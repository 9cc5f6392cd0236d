// SPDX-License-Identifier: GPL-3.0-or-later

#include "UImport.h"

#include "Articles.h"
#include "components/text/QtText.h"
#include "components/widgets/ErrorReport.h"
#include "components/widgets/MessageBox.h"
#include "data/Lists.h"
#include "data/UData.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QMetaObject>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <memory>

namespace {

QString u(const char* utf8) {
    return QString::fromUtf8(utf8);
}

// The file dialogs of the platform block on their own loop; ours are Qt's,
// so that a test can answer them.
QStringList runDialog(QFileDialog& d) {
    d.setOption(QFileDialog::DontUseNativeDialog);
    return d.exec() == QDialog::Accepted ? d.selectedFiles() : QStringList();
}

} // namespace

std::function<QStringList(QFileDialog&)> TImportFrm::execFileDialog = runDialog;

TImportFrm::TImportFrm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("ImportFrm"));
    setWindowTitle(u("Импорт статей"));
    auto* layout = new QVBoxLayout(this);

    auto* sources = new QGroupBox(u("Файлы и папки (.html, .htm, .md, .txt, пакеты .zip)"), this);
    auto* sl = new QHBoxLayout(sources);
    Paths = new QListWidget(sources);
    Paths->setSelectionMode(QAbstractItemView::ExtendedSelection);
    sl->addWidget(Paths, 1);
    auto* buttons = new QVBoxLayout;
    FilesBtn = new QPushButton(u("Файлы..."), sources);
    FolderBtn = new QPushButton(u("Папка..."), sources);
    RemoveBtn = new QPushButton(u("Убрать"), sources);
    buttons->addWidget(FilesBtn);
    buttons->addWidget(FolderBtn);
    buttons->addWidget(RemoveBtn);
    buttons->addStretch();
    sl->addLayout(buttons);
    layout->addWidget(sources, 1);

    auto* target =
        new QGroupBox(u("Куда поместить отдельные файлы (пакеты несут свои категории)"), this);
    auto* tl = new QVBoxLayout(target);
    CB1 = new QComboBox(target);
    CB2 = new QComboBox(target);
    CB1->setPlaceholderText(u("Категория"));
    CB2->setPlaceholderText(u("Подкатегория"));
    Subfolders = new QCheckBox(u("Подпапки выбранной папки - в подкатегории с их именами"), target);
    tl->addWidget(CB1);
    tl->addWidget(CB2);
    tl->addWidget(Subfolders);
    layout->addWidget(target);

    auto* bottom = new QHBoxLayout;
    bottom->addStretch();
    ImportBtn = new QPushButton(u("Импорт"), this);
    CancelBtn = new QPushButton(u("Выход"), this);
    ImportBtn->setDefault(true);
    bottom->addWidget(ImportBtn);
    bottom->addWidget(CancelBtn);
    layout->addLayout(bottom);
    resize(560, 420);

    connect(FilesBtn, &QPushButton::clicked, this,
            [this] { ui::guarded([this] { FilesBtnClick(); }); });
    connect(FolderBtn, &QPushButton::clicked, this,
            [this] { ui::guarded([this] { FolderBtnClick(); }); });
    connect(RemoveBtn, &QPushButton::clicked, this, [this] { qDeleteAll(Paths->selectedItems()); });
    connect(CB1, &QComboBox::activated, this, [this] { ui::guarded([this] { CB1Select(); }); });
    connect(ImportBtn, &QPushButton::clicked, this,
            [this] { ui::guarded([this] { ImportBtnClick(); }); });
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    fillCategories();
}

void TImportFrm::fillCategories() {
    CB1->clear();
    CB2->clear();
    CategoryNums.clear();
    SubCategoryNums.clear();
    for (const data::NamedNumber& row : data::ReadNamedNumbers(DataFrm->IBSQL1)) {
        CB1->addItem(text::toQ(row.name));
        CategoryNums.push_back(row.num);
    }
    CB1->setCurrentIndex(-1);
}

void TImportFrm::CB1Select() {
    CB2->clear();
    SubCategoryNums.clear();
    if (CB1->currentIndex() < 0)
        return;
    fb::Query& q = DataFrm->IBSQL2;
    q.Close();
    for (const data::NamedNumber& row : authoring::Subcategories(
             q, authoring::NumberAt(CategoryNums, CB1->currentIndex(), "Не выбрана категория"))) {
        CB2->addItem(text::toQ(row.name));
        SubCategoryNums.push_back(row.num);
    }
    CB2->setCurrentIndex(-1);
}

void TImportFrm::addPaths(const QStringList& paths) {
    for (const QString& p : paths)
        if (Paths->findItems(p, Qt::MatchExactly).isEmpty())
            Paths->addItem(QDir::toNativeSeparators(p));
}

void TImportFrm::FilesBtnClick() {
    QFileDialog d(this, u("Выбор файлов для импорта"));
    d.setFileMode(QFileDialog::ExistingFiles);
    d.setNameFilters({u("Статьи (*.html *.htm *.md *.txt *.zip)"), u("Все файлы (*)")});
    addPaths(execFileDialog(d));
}

void TImportFrm::FolderBtnClick() {
    QFileDialog d(this, u("Выбор папки для импорта"));
    d.setFileMode(QFileDialog::Directory);
    d.setOption(QFileDialog::ShowDirsOnly);
    addPaths(execFileDialog(d));
}

void TImportFrm::ImportBtnClick() {
    std::vector<std::string> paths;
    paths.reserve(static_cast<size_t>(Paths->count()));
    for (int i = 0; i < Paths->count(); ++i)
        paths.push_back(QFile::encodeName(Paths->item(i)->text()).toStdString());
    if (paths.empty()) {
        ui::showMessage(this, windowTitle(), u("Выберите файлы или папку."),
                        QMessageBox::Information);
        return;
    }
    authoring::ImportTarget target;
    target.given = CB1->currentIndex() >= 0 && CB2->currentIndex() >= 0;
    if (target.given) {
        target.cat = std::stoi(CategoryNums.at(static_cast<size_t>(CB1->currentIndex())));
        target.subcat = std::stoi(SubCategoryNums.at(static_cast<size_t>(CB2->currentIndex())));
    }
    target.subfolders = target.given && Subfolders->isChecked();
    importwindows::RunImport(this, paths, target);
    // New own categories may have come with a bundle or a subfolder.
    fillCategories();
}

// ---------------------------------------------------------------- progress

TImportProgress::TImportProgress(authoring::Importer& importer, QWidget* parent)
    : QDialog(parent), importer_(importer) {
    setObjectName(QStringLiteral("ImportProgress"));
    setWindowTitle(u("Импорт статей"));
    auto* layout = new QVBoxLayout(this);
    Label = new QLabel(this);
    Bar = new QProgressBar(this);
    Bar->setRange(0, std::max(1, importer.total()));
    CancelBtn = new QPushButton(u("Отмена"), this);
    layout->addWidget(Label);
    layout->addWidget(Bar);
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(CancelBtn);
    layout->addLayout(row);
    setMinimumWidth(380);
    connect(CancelBtn, &QPushButton::clicked, this, [this] { cancelled_ = true; });
    showCount();
}

void TImportProgress::showCount() {
    Label->setText(u("Импорт: %1 из %2").arg(importer_.done()).arg(importer_.total()));
    Bar->setValue(importer_.done());
}

void TImportProgress::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    if (!started_) {
        started_ = true;
        QMetaObject::invokeMethod(this, &TImportProgress::nextStep, Qt::QueuedConnection);
    }
}

void TImportProgress::nextStep() {
    if (cancelled_) {
        reject();
        return;
    }
    if (importer_.finished()) {
        accept();
        return;
    }
    try {
        importer_.step();
    } catch (...) {
        failure_ = std::current_exception();
        reject();
        return;
    }
    showCount();
    // After whatever came meanwhile (a click on "Отмена", a repaint).
    QMetaObject::invokeMethod(this, &TImportProgress::nextStep, Qt::QueuedConnection);
}

// ---------------------------------------------------------------- report

TImportReportFrm::TImportReportFrm(const authoring::ImportReport& report, const QString& outcome,
                                   QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("ImportReport"));
    setWindowTitle(u("Итоги импорта"));
    auto* layout = new QVBoxLayout(this);
    Outcome = new QLabel(outcome, this);
    Outcome->setTextFormat(Qt::PlainText);
    Outcome->setWordWrap(true);
    layout->addWidget(Outcome);
    List = new QTreeWidget(this);
    List->setColumnCount(3);
    List->setHeaderLabels({u("Файл"), u("Статья"), u("Причина")});
    List->setRootIsDecorated(true);
    layout->addWidget(List, 1);
    const auto section = [this](const char* title,
                                const std::vector<authoring::ImportReport::Entry>& entries) {
        auto* top = new QTreeWidgetItem(List, {u(title).arg(entries.size())});
        top->setFirstColumnSpanned(true);
        for (const auto& e : entries) {
            // The file's name; its whole path in the tip.
            const QString path = QDir::toNativeSeparators(QFile::decodeName(e.source.c_str()));
            auto* item = new QTreeWidgetItem(
                top, {QFileInfo(path).fileName(), text::toQ(e.name), text::toQ(e.reason)});
            item->setToolTip(0, path);
            item->setToolTip(2, item->text(2));
        }
        top->setExpanded(!entries.empty());
    };
    section("Импортировано: %1", report.imported);
    section("Пропущено, уже есть в базе: %1", report.skipped);
    section("Отклонено: %1", report.refused);
    List->header()->setSectionResizeMode(QHeaderView::Interactive);
    List->setColumnWidth(0, 220);
    List->setColumnWidth(1, 260);
    auto* row = new QHBoxLayout;
    row->addStretch();
    CloseBtn = new QPushButton(u("Закрыть"), this);
    CloseBtn->setDefault(true);
    row->addWidget(CloseBtn);
    layout->addLayout(row);
    connect(CloseBtn, &QPushButton::clicked, this, &QDialog::accept);
    resize(900, 400);
}

// ---------------------------------------------------------------- commands

namespace importwindows {

void RunImport(QWidget* owner, const std::vector<std::string>& paths,
               const authoring::ImportTarget& target) {
    fb::Query& upd = DataFrm->UpdQ;
    fb::Transaction& updTrans = DataFrm->FBTransUpd;
    QString outcome;
    std::unique_ptr<authoring::Importer> importer;
    try {
        importer = std::make_unique<authoring::Importer>(upd, paths, target);
        TImportProgress progress(*importer, owner);
        if (progress.exec() == QDialog::Accepted) {
            authoring::CommitImport(upd, updTrans, importer->report());
            outcome = u("Импорт завершен.");
        } else {
            authoring::RollbackImport(upd, updTrans);
            if (progress.failure())
                std::rethrow_exception(progress.failure());
            outcome = u("Импорт отменен: ничего не добавлено.");
        }
    } catch (const std::exception& e) {
        try {
            authoring::RollbackImport(upd, updTrans);
        } catch (const std::exception&) {
        }
        ui::showMessage(owner, u("Импорт статей"),
                        u("Импорт не выполнен, ничего не добавлено:\r") + text::toQ(e.what()),
                        QMessageBox::Critical);
        return;
    }
    TImportReportFrm report(importer->report(), outcome, owner);
    report.exec();
}

void ExportNode(QWidget* owner, const authoring::ExportScope& scope, const QString& suggestedName) {
    QFileDialog d(owner, u("Экспорт статей в пакет"));
    d.setAcceptMode(QFileDialog::AcceptSave);
    d.setNameFilter(u("Пакет статей (*.zip)"));
    d.setDefaultSuffix(QStringLiteral("zip"));
    d.selectFile(suggestedName);
    const QStringList chosen = TImportFrm::execFileDialog(d);
    if (chosen.isEmpty())
        return;
    try {
        const int n = authoring::ExportBundle(DataFrm->IBSQL2, scope,
                                              QFile::encodeName(chosen.front()).toStdString());
        ui::showMessage(
            owner, u("Экспорт статей"),
            u("Записано статей: %1\r%2").arg(n).arg(QDir::toNativeSeparators(chosen.front())),
            QMessageBox::Information);
    } catch (const std::exception& e) {
        ui::showMessage(owner, u("Экспорт статей"),
                        u("Экспорт не выполнен:\r") + text::toQ(e.what()), QMessageBox::Critical);
    }
}

} // namespace importwindows
