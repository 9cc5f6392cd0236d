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

MailSettings mailSettings() {
    MailSettings s;
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

// The lines of a multi-line field, as a string list holds them: a final line
// break does not start another line.
std::vector<std::string> lines(const QString& text) {
    QStringList parts = text.split(QLatin1Char('\n'));
    if (parts.last().isEmpty())
        parts.removeLast();
    std::vector<std::string> out;
    for (QString& p : parts) {
        if (p.endsWith(QLatin1Char('\r')))
            p.chop(1);
        out.push_back(text::fromQ(p));
    }
    return out;
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
    fb::Query& q = DataFrm->IBSQL1;
    RunReading(q);
    while (!q.Eof()) {
        CB1->addItem(text::toQ(q.Fields(0).AsVariant().value_or(std::string())),
                     q.Fields(1).AsInteger());
        // Adding to an empty list chooses the item; no category is chosen.
        CB1->setCurrentIndex(-1);
        q.Next();
    }
    q.Close();
}

void TSendMail::CB1Select() {
    CB2->clear();
    CB2->clearEditText();
    if (CB1->currentIndex() < 0)
        return;
    fb::Query& q = DataFrm->IBSQL2;
    q.setSQL("select SUB_CAT,NUM from SUB_CATEGORIES where (CATNUM=" +
             std::to_string(CB1->currentData().toInt()) + ")");
    RunReading(q);
    while (!q.Eof()) {
        CB2->addItem(text::toQ(q.Fields(0).AsVariant().value_or(std::string())));
        // The box's text stays empty until the user picks or types one.
        CB2->setCurrentIndex(-1);
        CB2->clearEditText();
        q.Next();
    }
    q.Close();
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

    const MailSettings s = mailSettings();
    // The address goes into the "From" header and the envelope as it is;
    // anything but a plain address would corrupt both.
    if (!smtp::isPlainAddress(s.FromAddress))
        throw smtp::Error(text::utf8ToCp1251(
            "В настройках, в поле \"Ваш E-mail\", указан неверный адрес отправителя. "
            "Укажите адрес вида имя@домен латинскими буквами, цифрами и знаками, без пробелов."));
    SMTPSend.Host = s.Host;
    SMTPSend.Username = s.Login;
    SMTPSend.Password = s.Password;

    SMTPMsg = smtp::Message{};
    SMTPMsg.Recipients = {{SubmissionsName, SubmissionsMailbox}};
    SMTPMsg.From = {s.FromName, s.FromAddress};
    SMTPMsg.Subject = "Delphi-Hint: " + text::fromQ(Title->text());
    SMTPMsg.Body = {"Category=" + text::fromQ(CB1->currentText()),
                    "SubCategory=" + text::fromQ(CB2->currentText()), "", ""};
    for (auto& l : lines(Body->toPlainText()))
        SMTPMsg.Body.push_back(std::move(l));
    if (FileName->count() > 0)
        SMTPMsg.File =
            smtp::Attachment{chosenFile_, text::fromQ(QFileInfo(chosenFile_).fileName())};

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
