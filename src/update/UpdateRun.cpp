#include "UpdateRun.h"

#include "UPro.h"
#include "UUpd.h"
#include "UWait.h"

#include "components/http/Http.h"
#include "components/text/QtText.h"
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
#include <cstring>
#include <cstdlib>
#include <fstream>
#include <unordered_set>

namespace update {
namespace {

bool running = false;

LinkOpener& linkOpener() {
    static LinkOpener opener;
    return opener;
}

std::string cp(const char* utf8) { return text::utf8ToCp1251(utf8); }

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
    void writeName(const char* updateSql, const char* insertSql, const std::string& name,
                   std::initializer_list<int32_t> numbers);
    std::string serverIdList();
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
    fb::Query& upd = db_.UpdQ;
    upd.Close();
    upd.setSQL("COMMIT");
    upd.ExecQuery();
    db_.FBTransUpd.setActive(true);
    repaint();
    const std::string ids = serverIdList();
    wait_->EndStage(3);
    wait_->BeginStage(4);
    repaint();

    const std::vector<NewHint> hints = FetchNewHints(*p_.request, [this] { return root(); }, ids);
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

void Run::writeName(const char* updateSql, const char* insertSql, const std::string& name,
                    std::initializer_list<int32_t> numbers) {
    fb::Query& q = db_.UpdQ;
    auto execute = [&](const char* sql) {
        q.Close();
        q.setSQL(sql);
        q.Params(0).setAsString(name);
        int i = 1;
        for (int32_t number : numbers)
            q.Params(i++).setAsInteger(number);
        q.Prepare();
        q.ExecQuery();
    };
    execute(updateSql);
    if (q.RowsAffected() < 1)
        execute(insertSql);
}

int32_t Run::categories() {
    const int32_t n = ParseIntegerReply(fetch(kMaxCatPath));
    for (int32_t c = 1; c <= n; ++c) {
        writeName("UPDATE CATEGORIES SET CATEGORY_NAME=:Name where NUM=:ID",
                  "INSERT INTO CATEGORIES (CATEGORY_NAME, NUM) values (:Name, :ID)", fetch(CatPath(c)),
                  {c});
        wait_->PB->setValue(static_cast<int>(int64_t(c) * 100 / n));
        repaint();
    }
    return n;
}

void Run::subcategories(int32_t n) {
    for (int32_t c = 1; c <= n; ++c) {
        const int32_t m = ParseIntegerReply(fetch(MaxSubCatPath(c)));
        for (int32_t s = 1; s <= m; ++s) {
            writeName("UPDATE SUB_CATEGORIES SET SUB_CAT=:Name where CATNUM=:CNID and NUM=:ID",
                      "INSERT INTO SUB_CATEGORIES (SUB_CAT, CATNUM, NUM) values (:Name, :CNID, :ID)",
                      fetch(SubCatPath(c, s)), {c, s});
            repaint();
        }
        wait_->PB->setValue(static_cast<int>(int64_t(c) * 100 / n));
        repaint();
    }
}

std::string Run::serverIdList() {
    fb::Query& q = db_.IBSQL2;
    q.Close();
    q.setSQL("select SERV_ID from HINTS where SERV_ID is NOT NULL");
    RunReading(q);
    std::vector<int32_t> ids;
    while (!q.Eof()) {
        ids.push_back(q.Fields(0).AsInteger());
        q.Next();
    }
    q.Close();
    return ServerIdList(ids);
}

void Run::fillList(const std::vector<NewHint>& hints) {
    TUpdFrm& list = *p_.list;
    list.Clear();
    fb::Query& q = db_.IBSQL2;
    for (const NewHint& h : hints) {
        // Both numbers are plain integers by now (CheckNewHints).
        q.Close();
        q.setSQL("select A.CATEGORY_NAME, B.SUB_CAT from CATEGORIES A, SUB_CATEGORIES B where "
                 "A.NUM=B.CATNUM AND A.NUM=" +
                 h.cat + " AND B.NUM=" + h.subcat);
        RunReading(q);
        TUpdEntry entry;
        entry.title = h.title;
        entry.catName = q.Fields(0).AsString();
        entry.subName = q.Fields(1).AsString();
        q.Close();
        entry.cat = h.cat;
        entry.subcat = h.subcat;
        entry.servId = h.serverId;
        const int32_t cat = *PlainInteger(h.cat, true);
        entry.icon = cat >= 1 && cat <= TUpdFrm::kIcons ? cat - 1 : -1;
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

bool UpdateRunning() { return running; }

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
                               QStringLiteral("Replace existing file ") + QString::fromStdString(path) +
                                   QLatin1Char('?'),
                               QMessageBox::Question, QMessageBox::Yes | QMessageBox::No) ==
               QMessageBox::Yes;
    };
    zip->OnIdle = [] { QCoreApplication::processEvents(); };
    return zip;
}

std::string TempFolder() {
    const char* temp = std::getenv("TEMP");
    std::string folder = temp && *temp ? temp : QDir::tempPath().toStdString();
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return folder;
}

std::vector<std::string> SplitServerIdList(const std::string& list, size_t maxChars) {
    std::vector<std::string> pieces;
    size_t start = 0;
    while (list.size() - start > maxChars) {
        // The last comma that keeps the piece within the limit.
        size_t cut = list.rfind(',', start + maxChars);
        if (cut == std::string::npos || cut < start)
            cut = list.find(',', start); // one identifier longer than the limit
        if (cut == std::string::npos)
            break;
        pieces.push_back(list.substr(start, cut - start));
        start = cut + 1;
    }
    pieces.push_back(list.substr(start));
    return pieces;
}

std::vector<NewHint> FetchNewHints(http::TInternetHTTPRequest& request,
                                   const std::function<std::string()>& root,
                                   const std::string& serverIdList) {
    const std::vector<std::string> pieces = SplitServerIdList(serverIdList);
    std::vector<NewHint> hints = ParseNewHints(FetchText(request, root(), NewHintsPath(pieces[0])));
    // Each reply names every article outside its own piece; the new ones are
    // outside all of them.
    for (size_t i = 1; i < pieces.size() && !hints.empty(); ++i) {
        std::unordered_set<std::string> named;
        for (const NewHint& h : ParseNewHints(FetchText(request, root(), NewHintsPath(pieces[i]))))
            named.insert(h.serverId);
        std::erase_if(hints, [&](const NewHint& h) { return !named.count(h.serverId); });
    }
    return hints;
}

void CheckNewHints(const std::vector<NewHint>& hints) {
    for (const NewHint& h : hints) {
        struct {
            const std::string& text;
            size_t line;
            bool sign;
            const char* what;
        } fields[] = {{h.serverId, h.line, false, "идентификатор статьи"},
                      {h.cat, h.line + 2, true, "номер категории"},
                      {h.subcat, h.line + 3, true, "номер подкатегории"}};
        for (const auto& f : fields)
            if (!PlainInteger(f.text, f.sign))
                throw ReplyError(cp("Ответ сервера о новых статьях, строка ") + std::to_string(f.line) +
                                 ": \"" + f.text + cp("\" - не целое десятичное число (") + cp(f.what) +
                                 cp("). Обновление прервано"));
    }
}

LinkOpener setLinkOpener(LinkOpener opener) {
    LinkOpener previous = std::move(linkOpener());
    linkOpener() = std::move(opener);
    return previous;
}

std::string ReadArticleFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error(cp("Не удаётся открыть файл \"") + text::utf8ToCp1251(path) + "\": " +
                                 (errno == ENOENT ? cp("файл не найден") : text::systemError(errno)));
    std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        throw std::runtime_error(cp("Ошибка чтения файла \"") + text::utf8ToCp1251(path) + "\"");
    // The lines are joined with CR LF between them: joined with nothing, the
    // code of a <pre> block ran together on one line and words at line ends
    // stuck to the next line's.
    std::string joined;
    joined.reserve(content.size() + content.size() / 32);
    bool first = true;
    for (const std::string& line : SplitLines(content)) {
        if (!first)
            joined += "\r\n";
        joined += line;
        first = false;
    }
    return joined;
}

} // namespace update
