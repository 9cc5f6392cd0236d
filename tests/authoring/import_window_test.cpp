// SPDX-License-Identifier: GPL-3.0-or-later
// The import windows over the main window: the choice, the progress with
// its cancel, the report, and the browser showing what came in.

#include "app/UMain.h"
#include "authoring/UImport.h"
#include "browser/UView.h"
#include "data/DbBuild.h"
#include "data/UData.h"
#include "support/ModalWindows.h"
#include "support/RecordedMessages.h"
#include "support/SmallCatalogue.h"
#include "support/TempDatabase.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>
#include <QtTest>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>

using namespace testing_support;

namespace {

// Runs fn on the modal window named name once it is up, looking again
// every few milliseconds without blocking the windows' own loops; fn must
// close it. A window that never comes marks the case stuck.
void whenModal(const char* name, std::function<void(QWidget*)> fn, int triesLeft = 500) {
    QTimer::singleShot(10, qApp, [name, fn = std::move(fn), triesLeft]() mutable {
        QWidget* w = QApplication::activeModalWidget();
        if (w && w->objectName() == QLatin1String(name)) {
            fn(w);
            return;
        }
        if (triesLeft == 0) {
            stuckModal = true;
            return;
        }
        whenModal(name, std::move(fn), triesLeft - 1);
    });
}

QStringList reportLines(QWidget* w) {
    QStringList out;
    auto* list = w->findChild<QTreeWidget*>();
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        QTreeWidgetItem* top = list->topLevelItem(i);
        out << top->text(0);
        for (int k = 0; k < top->childCount(); ++k)
            out << QStringLiteral("  %1 | %2 | %3")
                       .arg(QFileInfo(top->child(k)->text(0)).fileName(), top->child(k)->text(1),
                            top->child(k)->text(2));
    }
    return out;
}

} // namespace

class ImportWindowTest : public QObject {
    Q_OBJECT
    std::unique_ptr<TempDatabase> file;
    TempDir dir;

    QStringList notes() {
        const auto put = [this](const char* name, const std::string& bytes) {
            std::ofstream(dir.file(name), std::ios::binary) << bytes;
        };
        put("a.md", "# Новая заметка <&>\n\nтекст\n");
        put("b.txt", "простой текст");
        put("c.bin", "x");
        return {QString::fromStdString(dir.file("a.md")), QString::fromStdString(dir.file("b.txt")),
                QString::fromStdString(dir.file("c.bin"))};
    }

private slots:
    void init() { openCatalogueWindows(file); }
    void cleanup() {
        TImportFrm::execFileDialog = [](QFileDialog& d) {
            return d.exec() == QDialog::Accepted ? d.selectedFiles() : QStringList();
        };
        closeCatalogueWindows();
    }

    void cancelInTheProgressWindowAddsNothing() {
        const QStringList paths = notes();
        std::vector<std::string> files;
        for (const QString& p : paths)
            files.push_back(p.toStdString());
        const qsizetype before = read("select ID from HINTS").size();
        authoring::Importer importer(DataFrm->UpdQ, files, {1, 2});
        TImportProgress progress(importer, Main);
        QCOMPARE(progress.Label->text(), QString::fromUtf8("Импорт: 0 из 3"));
        // Pressed before the first step: the steps come each after the
        // events that came meanwhile, so none runs.
        progress.CancelBtn->click();
        QCOMPARE(progress.exec(), int(QDialog::Rejected));
        QVERIFY(progress.cancelled() && !progress.failure());
        QCOMPARE(importer.done(), 0);
        authoring::RollbackImport(DataFrm->UpdQ, DataFrm->FBTransUpd);
        QCOMPARE(read("select ID from HINTS").size(), before);
        QVERIFY(!stuckModal);
    }

    void importFromTheMenuReportsAndTheBrowserShowsIt() {
        const QStringList paths = notes();
        TImportFrm::execFileDialog = [&](QFileDialog&) { return QStringList(paths); };
        const qsizetype before = read("select ID from HINTS").size();
        QStringList doneReport;
        whenModal("ImportFrm", [&](QWidget* w) {
            auto* f = static_cast<TImportFrm*>(w);
            f->FilesBtn->click();
            choose(f->CB1, 2); // Строки
            choose(f->CB2, 1); // Разбор
            whenModal("ImportReport", [&](QWidget* r) {
                doneReport = reportLines(r);
                static_cast<TImportReportFrm*>(r)->CloseBtn->click();
            });
            f->ImportBtn->click();
            f->CancelBtn->click();
        });
        Main->AImport->trigger();
        QVERIFY(!stuckModal);
        QCOMPARE(doneReport,
                 QStringList({QString::fromUtf8("Импортировано: 2"),
                              QString::fromUtf8("  a.md | Новая заметка <&> | "),
                              QString::fromUtf8("  b.txt | b | "),
                              QString::fromUtf8("Пропущено, уже есть в базе: 0"),
                              QString::fromUtf8("Отклонено: 1"),
                              QString::fromUtf8("  c.bin |  | вид файла не поддерживается "
                                                "(ожидаются .html, .htm, .md, .txt, .zip)")}));
        QCOMPARE(read("select ID from HINTS").size(), before + 2);

        // The browser, opened afresh, has them in the tree.
        Main->AView->trigger();
        QVERIFY(ViewFrm);
        QVERIFY(QTest::qWaitFor([] { return ViewFrm->TV->topLevelItemCount() > 0; }));
        QCOMPARE(ViewFrm->TV
                     ->findItems(QString::fromUtf8("Новая заметка <&>"),
                                 Qt::MatchExactly | Qt::MatchRecursive)
                     .size(),
                 1);

        // Its subcategory, written from the tree's pop-up menu, holds it.
        QTreeWidgetItem* sub = ViewFrm->TV
                                   ->findItems(QString::fromUtf8("Новая заметка <&>"),
                                               Qt::MatchExactly | Qt::MatchRecursive)
                                   .front()
                                   ->parent();
        ViewFrm->TV->setCurrentItem(sub);
        const std::string bundle = (dir.path() / "sub.zip").string();
        QString offered;
        TImportFrm::execFileDialog = [&](QFileDialog& d) {
            offered = d.selectedFiles().value(0);
            return QStringList(QString::fromStdString(bundle));
        };
        Recorded messages;
        ViewFrm->ExportNode->trigger();
        QCOMPARE(QFileInfo(offered).fileName(), sub->text(0) + QStringLiteral(".zip"));
        QCOMPARE(messages.boxes.size(), 1);
        const dbbuild::Catalogue c = dbbuild::readCatalogue(bundle);
        QCOMPARE(qsizetype(c.articles.size()), qsizetype(sub->childCount()));
        QCOMPARE(c.subcategories.size(), size_t(1));
    }
};

QTEST_MAIN(ImportWindowTest)
#include "import_window_test.moc"
