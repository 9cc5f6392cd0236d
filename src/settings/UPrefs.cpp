// SPDX-License-Identifier: GPL-3.0-or-later

#include "UPrefs.h"

#include "components/widgets/Controls.h"
#include "components/widgets/ErrorReport.h"

#include <QApplication>
#include <QCheckBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QStyle>

#include <algorithm>

TPrefsFrm* PrefsFrm = nullptr;

namespace {

// The password field shows every character as "•", whatever the style's own
// mask character.
class PasswordStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_LineEdit_PasswordCharacter)
            return 0x2022;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

constexpr int kLeft = 8;
constexpr int kRight = 305; // the group's inner right edge
constexpr int kRowHeight = 21;

QLineEdit* field(QWidget* parent, const char* name) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(QString::fromLatin1(name));
    return e;
}

QLabel* label(QWidget* parent, const char* name, const char* caption, QWidget* buddy) {
    auto* l = new QLabel(QString::fromUtf8(caption), parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    l->setBuddy(buddy);
    return l;
}

void setBackground(QWidget* w, const QColor& colour) {
    QPalette pal = w->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        pal.setColor(group, QPalette::Base, colour);
    w->setPalette(pal);
}

} // namespace

TPrefsFrm::TPrefsFrm(QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName(QStringLiteral("PrefsFrm"));
    setWindowTitle(QString::fromUtf8("Параметры"));
    setFont(ui::formFont());
    setFixedSize(329, 273);

    RG1 = new QGroupBox(QString::fromUtf8(" Сервер для проверки обновлений "), this);
    RG1->setObjectName(QStringLiteral("RG1"));
    RG1->setGeometry(8, 4, 313, 50);
    root = new QLineEdit(QStringLiteral("127.0.0.1"), RG1);
    root->setObjectName(QStringLiteral("root"));
    root->setGeometry(10, 20, 293, kRowHeight);

    GroupBox1 = new QGroupBox(QString::fromUtf8(" Отправка советов "), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(8, 58, 313, 180);

    FIO = field(GroupBox1, "FIO");
    FIOL = label(GroupBox1, "FIOL", "Ваши Ф.И.О. :", FIO);
    Email = field(GroupBox1, "Email");
    EmailL = label(GroupBox1, "EmailL", "Ваш E-mail :", Email);
    SMTP = field(GroupBox1, "SMTP");
    SMTPL = label(GroupBox1, "SMTPL", "SMTP сервер :", SMTP);
    Auth = new QCheckBox(QString::fromUtf8("Необходима аутентификация"), GroupBox1);
    Auth->setObjectName(QStringLiteral("Auth"));
    Login = field(GroupBox1, "Login");
    LoginL = label(GroupBox1, "LoginL", "Имя пользователя :", Login);
    Psw = field(GroupBox1, "Psw");
    PswL = label(GroupBox1, "PswL", "Пароль на вход :", Psw);

    // The label column is as wide as its longest label in the font at hand;
    // the fields take the rest of the row.
    int labelWidth = 0;
    for (QLabel* l : {FIOL, EmailL, SMTPL, LoginL, PswL})
        labelWidth = std::max(labelWidth, l->sizeHint().width());
    const int fieldLeft = kLeft + labelWidth + 6;
    auto row = [&](QLabel* l, QLineEdit* e, int top) {
        l->setGeometry(kLeft, top, labelWidth, kRowHeight);
        e->setGeometry(fieldLeft, top, kRight - fieldLeft, kRowHeight);
    };
    row(FIOL, FIO, 20);
    row(EmailL, Email, 46);
    auto* rule = new QFrame(GroupBox1);
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Sunken);
    rule->setGeometry(kLeft, 73, kRight - kLeft, 4);
    row(SMTPL, SMTP, 82);
    const int authLeft = std::max(kLeft, std::min(fieldLeft, kRight - Auth->sizeHint().width()));
    Auth->setGeometry(authLeft, 106, kRight - authLeft, 19);
    row(LoginL, Login, 128);
    row(PswL, Psw, 153);

    Psw->setEchoMode(QLineEdit::Password);
    auto* passwordStyle = new PasswordStyle;
    passwordStyle->setParent(this);
    Psw->setStyle(passwordStyle);

    BtnOk = new QPushButton(QStringLiteral("OK"), this);
    BtnOk->setObjectName(QStringLiteral("BtnOk"));
    BtnOk->setGeometry(166, 243, 75, 25);
    BtnOk->setDefault(true);
    BtnCancel = new QPushButton(QString::fromUtf8("Отмена"), this);
    BtnCancel->setObjectName(QStringLiteral("BtnCancel"));
    BtnCancel->setGeometry(246, 243, 75, 25);
    connect(BtnOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(BtnCancel, &QPushButton::clicked, this, &QDialog::reject);

    setTabOrder(root, BtnOk);
    setTabOrder(BtnOk, BtnCancel);
    setTabOrder(BtnCancel, FIO);
    setTabOrder(FIO, Email);
    setTabOrder(Email, SMTP);
    setTabOrder(SMTP, Auth);
    setTabOrder(Auth, Login);
    setTabOrder(Login, Psw);

    ui::connectGuarded(Auth, &QCheckBox::toggled, this, [this] { AuthClick(); });
    AuthClick();
}

TPrefsFrm::~TPrefsFrm() {
    if (PrefsFrm == this)
        PrefsFrm = nullptr;
}

void TPrefsFrm::AuthClick() {
    const bool on = Auth->isChecked();
    const QPalette& app = QApplication::palette();
    for (QLineEdit* e : {Login, Psw}) {
        e->setEnabled(on);
        setBackground(e, on ? app.color(QPalette::Active, QPalette::Base)
                            : app.color(QPalette::Active, QPalette::Button));
    }
    LoginL->setEnabled(on);
    PswL->setEnabled(on);
}

void TPrefsFrm::showEvent(QShowEvent* e) {
    // The buttons' pictures are read when the dialog is first shown, not at
    // start-up, where they cost more than the rest of the dialog.
    if (BtnOk->icon().isNull()) {
        BtnOk->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
        BtnCancel->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));
    }
    QDialog::showEvent(e);
}
