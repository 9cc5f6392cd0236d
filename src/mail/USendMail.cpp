// SPDX-License-Identifier: GPL-3.0-or-later

#include "USendMail.h"

#include "components/text/QtText.h"
#include "components/widgets/Controls.h"
#include "components/widgets/ErrorReport.h"
#include "data/UData.h"
#include "settings/UPrefs.h"

#include <QComboBox>
#include <QCompleter>
#include <QDir>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>

TSendMail* SendMail = nullptr;

mail::MailSettings mailSettings() {
    mail::MailSettings s;
    if (!PrefsFrm)
        return s;
    s.Host = text::fromQ(PrefsFrm->SMTP->text());
    s.Login = text::fromQ(PrefsFrm->Login->text());
    s.Password = text::fromQ(PrefsFrm->Psw->text());
    s.FromName = text::fromQ(PrefsFrm->FIO->text());
    s.FromAddress = text::fromQ(PrefsFrm->Email->text());
    return s;
}

namespace {

QPushButton* flatButton(QWidget* parent, const char* name, const char* caption) {
    auto* b = new QPushButton(QString::fromUtf8(caption), parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setFlat(true);
    b->setAutoDefault(false);
    return b;
}

} // namespace

TSendMail::TSendMail(QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("SendMail"));
    setWindowTitle(QString::fromUtf8("Отправка советов"));
    setFont(ui::formFont());
    setFixedSize(536, 322);

    auto* panel = new QFrame(this);
    Panel = panel;
    panel->setObjectName(QStringLiteral("Panel"));
    panel->setFrameShape(QFrame::Panel);
    panel->setFrameShadow(QFrame::Raised);
    panel->setGeometry(0, 0, 536, 262);

    ui::label(panel, nullptr, "Тема письма :", QRect(8, 6, 300, 14));
    Title = new QLineEdit(panel);
    Title->setObjectName(QStringLiteral("Title"));
    Title->setGeometry(8, 22, 520, 21);

    ui::label(panel, nullptr, "Предполагаемая категория и подкатегория :", QRect(8, 50, 400, 14));
    CB1 = new QComboBox(panel);
    CB1->setObjectName(QStringLiteral("CB1"));
    CB1->setGeometry(8, 66, 256, 21);
    CB1->setMaxVisibleItems(16);
    CB2 = new QComboBox(panel);
    CB2->setObjectName(QStringLiteral("CB2"));
    CB2->setGeometry(272, 66, 256, 21);
    CB2->setEditable(true);
    CB2->setInsertPolicy(QComboBox::NoInsert);
    CB2->setMaxVisibleItems(16);

    ui::label(panel, nullptr, "Коментарии :", QRect(8, 94, 300, 14));
    Body = new QPlainTextEdit(panel);
    Body->setObjectName(QStringLiteral("Body"));
    Body->setGeometry(8, 110, 520, 94);
    Body->setLineWrapMode(QPlainTextEdit::NoWrap);
    Body->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Body->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Body->setTabChangesFocus(false);

    ui::label(panel, nullptr,
              "Прикрепить исходники совета (архив проекта) :", QRect(8, 212, 400, 14));
    FileName = new QListWidget(panel);
    FileName->setObjectName(QStringLiteral("FileName"));
    FileName->setGeometry(8, 228, 490, 24);
    FileName->setIconSize(QSize(16, 16));
    FileName->setEditTriggers(QAbstractItemView::NoEditTriggers);
    FileName->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    FileName->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    GetFile = flatButton(panel, "GetFile", "...");
    GetFile->setGeometry(502, 228, 26, 24);
    GetFile->setFocusPolicy(Qt::NoFocus);

    SendBtn = flatButton(this, "SendBtn", "Отправить письмо");
    SendBtn->setGeometry(318, 268, 124, 25);
    SendBtn->setFocusPolicy(Qt::NoFocus);
    CloseBtn = flatButton(this, "CloseBtn", "Закрыть");
    CloseBtn->setGeometry(446, 268, 82, 25);
    CloseBtn->setFocusPolicy(Qt::NoFocus);

    SB = new QStatusBar(this);
    SB->setObjectName(QStringLiteral("SB"));
    SB->setSizeGripEnabled(false);
    SB->setGeometry(0, 300, 536, 22);

    setTabOrder(Title, CB1);
    setTabOrder(CB1, CB2);
    setTabOrder(CB2, Body);
    setTabOrder(Body, FileName);

    SMTPSend.OnStatus = [this](const std::string& text) { SMTPSendStatus(text); };

    CB1->installEventFilter(this);
    FileName->installEventFilter(this);
    ui::connectGuarded(CB1, &QComboBox::activated, this, [this] { CB1Select(); });
    ui::connectGuarded(GetFile, &QPushButton::clicked, this, [this] { GetFileClick(); });
    ui::connectGuarded(SendBtn, &QPushButton::clicked, this, [this] { SendBtnClick(); });
    ui::connectGuarded(CloseBtn, &QPushButton::clicked, this, [this] { CloseBtnClick(); });
}

TSendMail::~TSendMail() {
    if (SendMail == this)
        SendMail = nullptr;
}

void TSendMail::keyPressEvent(QKeyEvent* e) {
    if (sending_ && e->key() == Qt::Key_Escape && e->modifiers() == Qt::NoModifier) {
        SMTPSend.Abort();
        e->accept();
        return;
    }
    QDialog::keyPressEvent(e);
}

void TSendMail::closeEvent(QCloseEvent* e) {
    if (sending_)
        SMTPSend.Abort();
    QDialog::closeEvent(e);
}

void TSendMail::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    if (!e->spontaneous())
        ui::guarded([this] { FormShow(); });
}

bool TSendMail::eventFilter(QObject* watched, QEvent* e) {
    if (watched == CB1 && e->type() == QEvent::KeyPress && CB1KeyPress(static_cast<QKeyEvent*>(e)))
        return true;
    if (watched == FileName && e->type() == QEvent::KeyRelease)
        FileNameKeyUp(static_cast<QKeyEvent*>(e));
    return QDialog::eventFilter(watched, e);
}

bool TSendMail::CB1KeyPress(QKeyEvent* e) {
    if (e->key() != Qt::Key_Return && e->key() != Qt::Key_Enter)
        return false;
    ui::guarded([this] { CB1Select(); });
    return true;
}

void TSendMail::FileNameKeyUp(QKeyEvent* e) {
    // Delete empties the file row: no file will be attached.
    if (e->key() == Qt::Key_Delete)
        FileName->clear();
}

void TSendMail::FormShow() {
    CB1->clear();
    CB2->clear();
    CB2->clearEditText();
    for (const mail::Category& c : mail::ReadCategories(DataFrm->IBSQL1))
        CB1->addItem(text::toQ(c.Name), c.Num);
    // Adding to an empty list chooses the item; no category is chosen.
    CB1->setCurrentIndex(-1);
}

void TSendMail::CB1Select() {
    CB2->clear();
    CB2->clearEditText();
    if (CB1->currentIndex() < 0)
        return;
    for (const std::string& name :
         mail::ReadSubcategories(DataFrm->IBSQL2, CB1->currentData().toInt()))
        CB2->addItem(text::toQ(name));
    // The box's text stays empty until the user picks or types one.
    CB2->setCurrentIndex(-1);
    CB2->clearEditText();
}

void TSendMail::makeOpenDialog() {
    OD = new QFileDialog(this, QString::fromUtf8("Выбрать файл для отправки"));
    OD->setObjectName(QStringLiteral("OD"));
    OD->setFileMode(QFileDialog::ExistingFile);
    OD->setAcceptMode(QFileDialog::AcceptOpen);
    // Qt's own dialog: the platform's would add the choice to the recent
    // documents, and only this one can be told to list hidden files.
    OD->setOption(QFileDialog::DontUseNativeDialog, true);
    OD->setFilter(OD->filter() | QDir::Hidden);
    // "*", not "*.*": here a file needs no dot in its name to be a file.
    OD->setNameFilter(QString::fromUtf8("Все файлы (*)"));
    OD->setSizeGripEnabled(true);
}

void TSendMail::GetFileClick() {
    // Made at the first use: a file dialog costs more to make than the
    // rest of the window, and most runs never open it.
    if (!OD)
        makeOpenDialog();
    // The name field's completer lives on with the kept dialog, and a
    // folder listing that comes in after the dialog has closed reopens its
    // list: a popup over this window that takes every key. Its field is
    // taken from it while the dialog is closed.
    for (const auto& [completer, field] : completedFields_)
        completer->setWidget(field);
    completedFields_.clear();
    const int result = OD->exec();
    for (QCompleter* c : OD->findChildren<QCompleter*>()) {
        completedFields_.emplace_back(c, c->widget());
        c->setWidget(nullptr); // hides its list too
    }
    if (result != QDialog::Accepted || OD->selectedFiles().isEmpty())
        return;
    chosenFile_ = QDir::toNativeSeparators(OD->selectedFiles().first());
    FileName->clear();
    auto* row = new QListWidgetItem(chosenFile_, FileName);
    BMP = QFileIconProvider().icon(QFileInfo(chosenFile_)).pixmap(16, 16);
    IL.clear();
    IL.push_back(QIcon(BMP));
    row->setIcon(IL.front());
}

void TSendMail::SendBtnClick() {
    // The anti-freeze lets a second press through while an exchange runs;
    // the client serves one exchange at a time.
    if (sending_)
        return;
    sending_ = true;
    SendBtn->setEnabled(false);
    struct Done {
        TSendMail* w;
        ~Done() {
            w->SMTPMsg.File.reset();
            w->sending_ = false;
            w->SendBtn->setEnabled(true);
        }
    } done{this};

    const mail::MailSettings s = mailSettings();
    mail::Submission tip;
    tip.Subject = text::fromQ(Title->text());
    tip.Category = text::fromQ(CB1->currentText());
    tip.Subcategory = text::fromQ(CB2->currentText());
    tip.Comment = text::fromQ(Body->toPlainText());
    if (FileName->count() > 0)
        tip.File = chosenFile_;
    SMTPMsg = mail::ComposeSubmission(s, tip);
    SMTPSend.Host = s.Host;
    SMTPSend.Username = s.Login;
    SMTPSend.Password = s.Password;

    try {
        SMTPSend.Connect();
        try {
            SMTPSend.Send(SMTPMsg);
        } catch (...) {
            SMTPSend.Disconnect();
            throw;
        }
        SMTPSend.Disconnect();
    } catch (const smtp::Aborted&) {
        // The user's own stop needs no error box; the status bar tells.
        SB->showMessage(QString::fromUtf8("Отправка прервана"));
    }
}

void TSendMail::SMTPSendStatus(const std::string& text) {
    SB->showMessage(text::toQ(text));
}

void TSendMail::CloseBtnClick() {
    close();
}
