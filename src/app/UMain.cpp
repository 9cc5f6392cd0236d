// SPDX-License-Identifier: GPL-3.0-or-later

#include "UMain.h"

#include "Icons.h"
#include "UAbout.h"
#include "authoring/UAdd.h"
#include "authoring/UImport.h"
#include "browser/UView.h"
#include "components/smtp/AntiFreeze.h"
#include "components/text/QtText.h"
#include "components/widgets/CaretRest.h"
#include "components/widgets/Controls.h"
#include "components/widgets/ErrorReport.h"
#include "components/widgets/HintWindow.h"
#include "components/widgets/MessageBox.h"
#include "data/Lists.h"
#include "data/UData.h"
#include "mail/USendMail.h"
#include "search/USearch.h"
#include "settings/UPrefs.h"
#include "update/TransferProgress.h"
#include "update/UPro.h"
#include "update/UUpd.h"
#include "update/UpdateRun.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QStatusBar>
#include <QTimer>

TMain* Main = nullptr;

QString applicationTitleText() {
    return QStringLiteral("Tipsara v. 2.1.22 [STABLE Version]");
}

QString CountText(int total, int fromServer) {
    return QString::fromUtf8("Количество статей в Вашей базе: %1 шт.").arg(total) +
           QLatin1Char('\r') + QString::fromUtf8("Из них с сервера: %1 шт.").arg(fromServer);
}

// The smallest size the user can drag the window to; the other limits stay
// as the window system proposes them.
void TMain::WMGetMinMaxInfo() {
    setMinimumSize(470, 150);
}

TMain::TMain() {
    setObjectName(QStringLiteral("Main"));
    setFont(ui::formFont());
    WMGetMinMaxInfo();

    IL = icons::imageList();

    // The tool strip at the top: the menu bar with the progress indicator
    // beside it. A plain widget, so that Pr can be shown and hidden directly.
    ControlBar = new QWidget(this);
    ControlBar->setObjectName(QStringLiteral("ControlBar"));
    auto* strip = new QHBoxLayout(ControlBar);
    strip->setContentsMargins(0, 0, 0, 0);
    strip->setSpacing(4);
    setMenuWidget(ControlBar);

    MenuBar = new QMenuBar(ControlBar);
    MenuBar->setObjectName(QStringLiteral("MenuBar"));
    MenuBar->setNativeMenuBar(false);
    MenuBar->setAccessibleName(QString::fromUtf8("Главное меню"));
    MenuBar->setMinimumSize(250, 22);
    MenuBar->setStyleSheet(QStringLiteral("QMenuBar::item:selected, QMenu::item:selected { "
                                          "background: rgb(242,242,242); color: black; }"));
    strip->addWidget(MenuBar);

    Pr = new QProgressBar(ControlBar);
    Pr->setObjectName(QStringLiteral("Pr"));
    Pr->setRange(0, 100);
    Pr->setFixedSize(100, 22);
    Pr->setTextVisible(false);
    strip->addWidget(Pr);
    strip->addStretch(1);

    MdiArea = new QMdiArea(this);
    MdiArea->setObjectName(QStringLiteral("MdiArea"));
    MdiArea->setBackground(QColor(128, 128, 128));
    setCentralWidget(MdiArea);

    SB = new QStatusBar(this);
    SB->setObjectName(QStringLiteral("SB"));
    setStatusBar(SB);

    auto menu = [this](const char* caption) {
        QMenu* m = MenuBar->addMenu(QString::fromUtf8(caption));
        m->setToolTipsVisible(true);
        m->setStyleSheet(MenuBar->styleSheet());
        return m;
    };
    QMenu* file = menu("Файл");
    AExit = addCommand(file, "AExit", "Выход", "Alt+F4", 2, "Выход|Завершение программы",
                       &TMain::AExitExecute);
    QMenu* link = menu("Связь");
    AUpdate =
        addCommand(link, "AUpdate", "Проверить обновления", "Alt+F2", 18,
                   "Связаться с узлом обновлений и проверить обновления", &TMain::AUpdateExecute);
    link->addSeparator();
    ASendHint = addCommand(link, "ASendHint", "Отправить совет", "Alt+S", 10,
                           "Отправить совет на обработку", &TMain::ASendHintExecute);
    QMenu* articles = menu("Статьи");
    AView =
        addCommand(articles, "AView", "Просмотр статей", "F2", 9, nullptr, &TMain::AViewExecute);
    ACount = addCommand(articles, "ACount", "Посчитать количество", nullptr, 19, nullptr,
                        &TMain::ACountExecute);
    articles->addSeparator();
    ASearch = addCommand(articles, "ASearch", "Поиск статьи", "Ctrl+F", 22, nullptr,
                         &TMain::ASearchExecute);
    articles->addSeparator();
    AAdd = addCommand(articles, "AAdd", "Добавить свою статью в базу", nullptr, 14, nullptr,
                      &TMain::AAddExecute);
    AEdit = addCommand(articles, "AEdit", "Изменить статью...", "Ctrl+E", 14, nullptr,
                       &TMain::AEditExecute);
    ADelete = addCommand(articles, "ADelete", "Удалить статью", nullptr, 14, nullptr,
                         &TMain::ADeleteExecute);
    articles->addSeparator();
    AImport = addCommand(articles, "AImport", "Импорт статей...", nullptr, 1,
                         "Импорт статей из файлов HTML, Markdown, текста и пакетов",
                         &TMain::AImportExecute);
    AExportOwn = addCommand(articles, "AExportOwn", "Экспорт своих статей...", nullptr, 3,
                            "Запись своих статей в пакет для переноса", &TMain::AExportOwnExecute);
    FollowBrowser();
    QMenu* setup = menu("Настройки");
    AParams = addCommand(setup, "AParams", "Параметры", "F9", 17, "Настройка параметров программы",
                         &TMain::AParamsExecute);
    QMenu* help = menu("Помощь");
    AAbout = addCommand(help, "AAbout", "О проекте...", nullptr, 8, "Информация о программе",
                        &TMain::AAboutExecute);
    help->addSeparator();
    // No operation is bound to help, so it stays disabled.
    AHelp = addCommand(help, "AHelp", "Помощь", "F1", 5, "Помощь по программе", nullptr);
    AHelp->setEnabled(false);

    InternetSession = std::make_unique<http::TInternetSession>();
    InternetConnection = std::make_unique<http::TInternetConnection>(*InternetSession);
    InternetHTTPRequest = std::make_unique<http::TInternetHTTPRequest>(*InternetConnection);
    const auto progress = [this](uint32_t position, uint32_t total) {
        InternetConnectionProgress(position, total);
    };
    InternetSession->OnProgress = progress;
    InternetConnection->OnProgress = progress;
    InternetHTTPRequest->OnProgress = progress;

    Zip = update::MakeExtractor(this);

    AntiFreeze = new smtp::AntiFreeze(this);

    FormCreate();
}

TMain::~TMain() {
    // The browser goes with the window's children: it tells nothing more.
    if (ViewFrm)
        disconnect(ViewFrm, nullptr, this, nullptr);
    if (Main == this)
        Main = nullptr;
}

QAction* TMain::addCommand(QMenu* menu, const char* name, const char* caption, const char* shortcut,
                           int icon, const char* hint, void (TMain::*handler)()) {
    auto* action = new QAction(IL[static_cast<size_t>(icon)], QString::fromUtf8(caption), this);
    action->setObjectName(QString::fromLatin1(name));
    action->setProperty("imageIndex", icon);
    action->setProperty("category", menu->title());
    if (shortcut)
        action->setShortcut(QKeySequence(QString::fromLatin1(shortcut)));
    // A hint "short|long" shows its short part as the tool-tip.
    const QString text = hint ? QString::fromUtf8(hint) : QString();
    action->setProperty("hint", text);
    action->setToolTip(text.isEmpty() ? QString() : text.section(QLatin1Char('|'), 0, 0));
    if (handler)
        ui::connectGuarded(action, &QAction::triggered, this,
                           [this, handler] { (this->*handler)(); });
    menu->addAction(action);
    addAction(action); // shortcuts work whether or not a menu is open
    AM.push_back(action);
    return action;
}

void TMain::FormCreate() {
    setWindowTitle(applicationTitleText());
    ui::setApplicationTitle(applicationTitleText());
    Pr->hide();
    ui::installHintWindow();
    ui::installCaretRest();
}

void TMain::showEvent(QShowEvent* e) {
    QMainWindow::showEvent(e);
    if (!shown_) {
        shown_ = true;
        ui::guarded([this] { FormShow(); });
    }
}

void TMain::FormShow() {
    LoadSettings();
}

void TMain::closeEvent(QCloseEvent* e) {
    // A save that fails is reported and keeps the window open.
    bool saved = false;
    const auto save = [this, &saved] {
        FormClose();
        saved = true;
    };
    if (signalled_)
        ui::guardedToStderr(save);
    else
        ui::guarded(save);
    if (saved)
        e->accept();
    else
        e->ignore();
}

bool TMain::CloseForSignal() {
    signalled_ = true;
    const bool closed = close();
    signalled_ = false;
    return closed;
}

void TMain::FormClose() {
    SaveSettings();
}

void TMain::InternetConnectionProgress(uint32_t position, uint32_t total) {
    update::ShowTransferProgress(Pr, SB, position, total);
}

void TMain::BringToFront() {
    if (isMinimized())
        showNormal();
    show();
    raise();
    activateWindow();
}

void TMain::AExitExecute() {
    close();
}

void TMain::AUpdateExecute() {
    update::UpdateParts parts;
    parts.owner = this;
    parts.Pr = Pr;
    parts.command = AUpdate;
    parts.request = InternetHTTPRequest.get();
    parts.data = DataFrm;
    parts.root = PrefsFrm->root;
    parts.list = UpdFrm;
    parts.pro = Pro;
    parts.zip = Zip.get();
    update::RunUpdate(parts);
}

void TMain::ASendHintExecute() {
    SendMail->exec();
}

void TMain::AViewExecute() {
    // One browser at most: an existing one is brought up again; a closed or
    // deactivated one has already cleared the reference.
    if (!ViewFrm) {
        ViewFrm = new TViewFrm(MdiArea);
        connect(ViewFrm, &TViewFrm::commandsChanged, this, &TMain::FollowBrowser);
    }
    ViewFrm->BringUp();
}

void TMain::ACountExecute() {
    const data::ArticleCounts counts = data::CountArticles(DataFrm->IBSQL4);
    ui::showMessage(this, QString::fromUtf8("Количество статей"),
                    CountText(counts.total, counts.fromServer), QMessageBox::Information,
                    QMessageBox::Ok);
}

void TMain::ASearchExecute() {
    runSearch({});
}

void TMain::runSearch(const QString& words) {
    // A window for each search; whichever way it closed, the selected hit
    // alone decides what the browser opens.
    const std::unique_ptr<TSearchFrm> window(new TSearchFrm(this));
    SearchFrm = window.get();
    if (!words.isEmpty())
        QTimer::singleShot(0, SearchFrm, [words] {
            if (SearchFrm)
                SearchFrm->LookUp(words);
        });
    SearchFrm->exec();
    if (const std::optional<int> id = SearchFrm->ChosenArticle()) {
        AskForTopic(*id, SearchFrm->ChosenWords());
        AViewExecute();
    } else {
        AskForTopic(0);
    }
}

void TMain::LookUp(const lookup::Request& request) {
    BringToFront();
    const auto* search = std::get_if<lookup::Search>(&request);
    if (search && SearchFrm) {
        SearchFrm->raise();
        SearchFrm->activateWindow();
        SearchFrm->LookUp(text::toQ(search->words));
        return;
    }
    if (QWidget* modal = QApplication::activeModalWidget()) {
        // The user is answering another window; the look-up would open over
        // it, or end it.
        modal->raise();
        modal->activateWindow();
        SB->showMessage(QString::fromUtf8("Запрос извне не выполнен: сначала закройте окно «%1».")
                            .arg(modal->windowTitle()));
        return;
    }
    if (search) {
        runSearch(text::toQ(search->words));
        return;
    }
    const int id = std::get<lookup::Article>(request).id;
    AskForTopic(id);
    AViewExecute();
    // The browser serves the article from its queue when it has just been
    // made: looked at after that.
    QTimer::singleShot(0, this, [this, id] {
        if (ShowTopicID == id)
            SB->showMessage(QString::fromUtf8("Статьи № %1 в базе нет.").arg(id));
    });
}

void TMain::AAddExecute() {
    AddFrm->exec();
}

void TMain::AImportExecute() {
    TImportFrm frm(this);
    frm.exec();
}

void TMain::AExportOwnExecute() {
    importwindows::ExportNode(this, {}, QString::fromUtf8("Свои статьи.zip"));
}

void TMain::AEditExecute() {
    if (ViewFrm)
        ViewFrm->EditArticleClick();
}

void TMain::ADeleteExecute() {
    if (ViewFrm)
        ViewFrm->DeleteArticleClick();
}

void TMain::FollowBrowser() {
    const bool enabled = ViewFrm && ViewFrm->ArticleCommandsEnabled();
    AEdit->setEnabled(enabled);
    ADelete->setEnabled(enabled);
}

void TMain::AParamsExecute() {
    // OK stores the fields; any other close puts the stored values back.
    if (PrefsFrm->exec() == QDialog::Accepted)
        SaveSettings();
    else
        LoadSettings();
}

void TMain::AAboutExecute() {
    AboutFrm->exec();
}
