// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// The import and export windows: the choice of files and folders and of the
// category and subcategory for loose files, the progress ("Импорт: N из M",
// with "Отмена") and the report; and the save dialog of an export. The work
// is authoring::Importer's and authoring::ExportBundle's; the import runs in
// steps of one file on the GUI thread, each queued after the events that
// came meanwhile, so that the window answers throughout.

#include "Export.h"
#include "Import.h"

#include <QDialog>

#include <exception>
#include <functional>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QFileDialog;
class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;
class QTreeWidget;

class TImportFrm : public QDialog {
    Q_OBJECT
public:
    explicit TImportFrm(QWidget* parent = nullptr);

    QListWidget* Paths = nullptr;
    QPushButton* FilesBtn = nullptr;
    QPushButton* FolderBtn = nullptr;
    QPushButton* RemoveBtn = nullptr;
    QComboBox* CB1 = nullptr; // category of loose files
    QComboBox* CB2 = nullptr; // subcategory
    QCheckBox* Subfolders = nullptr;
    QPushButton* ImportBtn = nullptr;
    QPushButton* CancelBtn = nullptr;
    std::vector<std::string> CategoryNums, SubCategoryNums;

    // Runs a file dialog and gives the chosen paths (none when cancelled);
    // tests put their choice in its place.
    static std::function<QStringList(QFileDialog&)> execFileDialog;

    void addPaths(const QStringList& paths);
    void FilesBtnClick();
    void FolderBtnClick();
    void CB1Select();
    void ImportBtnClick();

private:
    void fillCategories();
};

// The progress of a running import: exec() runs it to its end (Accepted)
// or until "Отмена" (Rejected). A failure ends it too (Rejected, failure()
// set). Nothing is committed or rolled back here.
class TImportProgress : public QDialog {
    Q_OBJECT
public:
    TImportProgress(authoring::Importer& importer, QWidget* parent = nullptr);

    QLabel* Label = nullptr;
    QProgressBar* Bar = nullptr;
    QPushButton* CancelBtn = nullptr;

    std::exception_ptr failure() const { return failure_; }
    bool cancelled() const { return cancelled_; }

protected:
    void showEvent(QShowEvent* e) override;

private:
    void nextStep();
    void showCount();
    authoring::Importer& importer_;
    std::exception_ptr failure_;
    bool cancelled_ = false;
    bool started_ = false;
};

// The report: imported, skipped as already present and refused (with the
// reasons), in a list to read.
class TImportReportFrm : public QDialog {
    Q_OBJECT
public:
    TImportReportFrm(const authoring::ImportReport& report, const QString& outcome,
                     QWidget* parent = nullptr);
    QLabel* Outcome = nullptr;
    QTreeWidget* List = nullptr;
    QPushButton* CloseBtn = nullptr;
};

namespace importwindows {

// Runs an import of paths into target on the data module's update
// transaction with the progress and report windows over owner: committed
// (and told) when it ran to its end, rolled back when cancelled or failed.
void RunImport(QWidget* owner, const std::vector<std::string>& paths,
               const authoring::ImportTarget& target);

// Asks for a file and exports scope into it, reporting the outcome;
// suggestedName is the file name offered. The export command of the tree's
// pop-up menu ("Экспортировать...") calls this with the node's article,
// subcategory or category (own or not).
void ExportNode(QWidget* owner, const authoring::ExportScope& scope, const QString& suggestedName);

} // namespace importwindows
