// SPDX-License-Identifier: GPL-3.0-or-later

#include "UpdateRun.h"

#include "UPro.h"
#include "UUpd.h"
#include "UWait.h"
#include "components/http/Http.h"
#include "components/text/QtText.h"
#include "components/text/Strings.h"
#include "components/widgets/MessageBox.h"
#include "components/zip/UnZip.h"
#include "data/UData.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QProgressBar>
#include <QUrl>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <unordered_set>

namespace update {
namespace {

bool running = false;

LinkOpener& linkOpener() {
    static LinkOpener opener;
    return opener;
}

using text::cp;

// Marks a run as under way and keeps the update command disabled meanwhile.
class RunningMark {
public:
    explicit RunningMark(QAction* command) : command_(command) {
        running = true;
        if (command_)
            command_->setEnabled(false);
    }
    ~RunningMark() {
        running = false;
        if (command_)
            command_->setEnabled(true);
    }
    RunningMark(const RunningMark&) = delete;
    RunningMark& operator=(const RunningMark&) = delete;

private:
    QAction* command_;
};

class Run {
public:
    explicit Run(const UpdateParts& parts) : p_(parts), db_(*parts.data) {}

    void execute();
    // Takes the run's windows off the screen after a failure.
    void clearUp() noexcept;

private:
    std::string root() const { return text::fromQ(p_.root->text()); }
    std::string fetch(const std::string& path) { return FetchText(*p_.request, root(), path); }
    void repaint() { wait_->repaintNow(); }

    void statusFile(const StatusFile& status);
    int32_t categories();
    void subcategories(int32_t n);
    void fillList(const std::vector<NewHint>& hints);

    const UpdateParts& p_;
    TDataFrm& db_;
    std::unique_ptr<TWait> wait_;
};

void Run::execute() {
    // Every request checks the root again; this one ends a run that could
    // not make any before its windows come up.
    CheckRoot(root());
    wait_ = std::make_unique<TWait>(p_.owner);
    Wait = wait_.get();
    wait_->PB->setValue(0);
    wait_->show();
    wait_->repaintNow();
    p_.Pr->show();

    wait_->BeginStage(1);
    const std::optional<StatusFile> status = ParseStatusFile(fetch(kStatusFilePath));
    if (!status) {
        wait_.reset();
        QApplication::beep();
        return;
    }
    statusFile(*status);
    wait_->EndStage(1);
    wait_->BeginStage(2);
    repaint();

    const int32_t n = categories();
    wait_->EndStage(2);
    wait_->BeginStage(3);
    repaint();

    subcategories(n);
    data::commit(db_.UpdQ, db_.FBTransUpd);
    repaint();
    const std::string ids = LocalServerIdList(db_.IBSQL2);
    wait_->EndStage(3);
    wait_->BeginStage(4);
    repaint();

    const std::vector<NewHint> hints = FetchNewHints(
        *p_.request, [this] { return root(); }, ids);
    CheckNewHints(hints);
    fillList(hints);
    wait_.reset();

    if (p_.list->Count() == 0) {
        QApplication::beep();
        ui::showMessage(p_.owner, QString::fromUtf8("Обновление БД статей"),
                        QString::fromUtf8("Актуальных обновлений на сервере не найдено"),
                        QMessageBox::Information, QMessageBox::Ok);
        return;
    }
    if (p_.list->exec() == TUpdFrm::mrYes)
        ImportChosen(p_);
}

void Run::statusFile(const StatusFile& status) {
    if (!status.root.empty()) {
        // A root the requests cannot use does not replace the one that works.
        try {
            CheckRoot(status.root);
        } catch (const RootError& e) {
            throw RootError(cp("Файл состояния сервера, строка 1: ") + e.what());
        }
        p_.root->setText(text::toQ(status.root));
    }
    if (!status.announcement.empty()) {
        const auto answer =
            ui::showMessage(p_.owner, QString::fromUtf8("Анонс"), text::toQ(status.announcement),
                            QMessageBox::Information, QMessageBox::Yes | QMessageBox::No);
        const QString link = text::toQ(status.link);
        // Whatever else the status file names is not opened: it comes from
        // the network.
        if (answer == QMessageBox::Yes && IsWebLink(link)) {
            if (linkOpener())
                linkOpener()(link);
            else
                weblinks::Open(link);
        }
    }
}

int32_t Run::categories() {
    const int32_t n = ParseIntegerReply(fetch(kMaxCatPath));
    for (int32_t c = 1; c <= n; ++c) {
        WriteCategory(db_.UpdQ, c, fetch(CatPath(c)));
        wait_->PB->setValue(static_cast<int>(int64_t(c) * 100 / n));
        repaint();
    }
    return n;
}

void Run::subcategories(int32_t n) {
    for (int32_t c = 1; c <= n; ++c) {
        const int32_t m = ParseIntegerReply(fetch(MaxSubCatPath(c)));
        for (int32_t s = 1; s <= m; ++s) {
            WriteSubcategory(db_.UpdQ, c, s, fetch(SubCatPath(c, s)));
            repaint();
        }
        wait_->PB->setValue(static_cast<int>(int64_t(c) * 100 / n));
        repaint();
    }
}

void Run::fillList(const std::vector<NewHint>& hints) {
    TUpdFrm& list = *p_.list;
    list.Clear();
    for (const NewHint& h : hints) {
        const TUpdEntry entry = EntryFor(db_.IBSQL2, h, TUpdFrm::kIcons);
        list.AddEntry(entry);
        repaint();
    }
}

void Run::clearUp() noexcept {
    try {
        wait_.reset();
        if (p_.pro)
            p_.pro->hide();
        if (p_.Pr)
            p_.Pr->hide();
        // A reading query left open would fail the next window that sets its
        // text without closing it first.
        db_.IBSQL2.Close();
    } catch (...) {
    }
}

} // namespace

bool UpdateRunning() {
    return running;
}

void RunUpdate(const UpdateParts& parts) {
    if (running)
        return;
    RunningMark mark(parts.command);
    Run run(parts);
    try {
        run.execute();
    } catch (...) {
        run.clearUp();
        throw;
    }
}

std::unique_ptr<unzip::TUnZip> MakeExtractor(QWidget* owner) {
    auto zip = std::make_unique<unzip::TUnZip>();
    zip->OnFileExists = [owner](const std::string& path) {
        return ui::showMessage(owner, QStringLiteral("File Exists Alert"),
                               QStringLiteral("Replace existing file ") +
                                   QString::fromStdString(path) + QLatin1Char('?'),
                               QMessageBox::Question,
                               QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    };
    zip->OnIdle = [] { QCoreApplication::processEvents(); };
    return zip;
}

LinkOpener setLinkOpener(LinkOpener opener) {
    LinkOpener previous = std::move(linkOpener());
    linkOpener() = std::move(opener);
    return previous;
}

} // namespace update
