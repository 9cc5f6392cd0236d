// SPDX-License-Identifier: GPL-3.0-or-later

#include "UAbout.h"

#include "Artwork.h"
#include "components/widgets/BevelPanel.h"
#include "components/widgets/Controls.h"
#include "components/widgets/ErrorReport.h"

#include <QEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QTextEdit>
#include <QToolButton>

#include <cstdlib>

TAboutFrm* AboutFrm = nullptr;

namespace {

const char* const kAboutText[] = {
    "Tipsara 2.1 STABLE",
    "Советы и статьи о Delphi",
    "------------------------------------------",
    "Над программой работали",
    "Программа и каталог: Marvek Systems",
    "Статьи: авторы советов, присланных",
    "читателями базы",
    "Проверка и отзывы: первые пользователи",
    "Спасибо всем, кто присылал советы,",
    "находил ошибки и предлагал новое!",
    "------------------------------------------",
    "Для чего эта программа",
    "Tipsara собирает в одну базу советы",
    "и статьи о среде разработки Delphi.",
    "Статьи разложены по разделам",
    "и подразделам, их можно читать,",
    "искать по заголовкам, сохранять",
    "в файлы HTML и дополнять своими.",
    "Новые статьи приходят с сервера",
    "обновлений, а свой совет можно",
    "отправить нам прямо из программы.",
    "------------------------------------------",
    "О русской редакции",
    "Это русская редакция программы:",
    "интерфейс и статьи каталога",
    "написаны по-русски, тексты хранятся",
    "в кодировке Windows-1251.",
    "Заметили опечатку или неточный",
    "перевод? Напишите нам через",
    "«Отправить совет».",
    "------------------------------------------",
    "Отказ от ответственности",
    "Программа и статьи предоставляются",
    "«как есть», без каких-либо гарантий.",
    "Авторы не отвечают за ущерб,",
    "возникший при использовании",
    "программы или советов из неё.",
    "Проверяйте примеры кода, прежде",
    "чем применять их в своих проектах.",
    "------------------------------------------",
    "Пользуясь программой, Вы принимаете",
    "условия лицензионного соглашения",
    "(кнопка «ЛС» справа внизу).",
    "© Marvek Systems",
};

// The terms the program is really given under (LICENSE), told in short
// lines as the memo shows them, with where the full text lies.
const char* const kLicenceText[] = {
    "ЛИЦЕНЗИЯ",
    "программы Tipsara 2.1",
    "------------------------------------------",
    "© 2026 Marvek Systems",
    "------------------------------------------",
    "Tipsara — свободная программа:",
    "Вы можете распространять её",
    "и (или) изменять на условиях",
    "Стандартной общественной",
    "лицензии GNU (GNU GPL),",
    "опубликованной Фондом свободного",
    "программного обеспечения, —",
    "версии 3 либо (по Вашему выбору)",
    "любой более поздней версии.",
    "------------------------------------------",
    "Программа распространяется",
    "в надежде, что она будет полезной,",
    "но БЕЗ ВСЯКИХ ГАРАНТИЙ, даже",
    "без подразумеваемой гарантии",
    "ТОВАРНОГО СОСТОЯНИЯ или",
    "ПРИГОДНОСТИ ДЛЯ ОПРЕДЕЛЁННОЙ",
    "ЦЕЛИ. Подробнее — в тексте",
    "Стандартной общественной",
    "лицензии GNU.",
    "------------------------------------------",
    "Полный текст лицензии",
    "в исходных текстах программы —",
    "файл LICENSE,",
    "в установленной программе —",
    "/usr/share/common-licenses/GPL-3",
    "и сведения об авторских правах",
    "в файле",
    "/usr/share/doc/tipsara/copyright.",
    "Если его нет, смотрите",
    "https://www.gnu.org/licenses/",
};

template <size_t N> QStringList lines(const char* const (&text)[N]) {
    QStringList out;
    out.reserve(static_cast<qsizetype>(N));
    for (const char* line : text)
        out << QString::fromUtf8(line);
    return out;
}

QToolButton* flatButton(QWidget* parent, const char* name, const QString& caption) {
    QToolButton* b = ui::toolButton(parent, name, caption);
    b->setToolButtonStyle(Qt::ToolButtonTextOnly);
    return b;
}

void setBold(QWidget* w, bool bold) {
    QFont f = w->font();
    f.setBold(bold);
    w->setFont(f);
}

} // namespace

TAboutFrm::TAboutFrm(QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("AboutFrm"));
    setWindowTitle(QString::fromUtf8("Про автора"));
    setFont(ui::formFont());
    setFixedSize(329, 281);

    Panel = new BevelPanel(BevelPanel::Bevel::Lowered, BevelPanel::Bevel::Raised, this);
    Panel->setObjectName(QStringLiteral("Panel"));
    Panel->setGeometry(8, 8, 313, 233);

    Logo = new QLabel(Panel);
    Logo->setObjectName(QStringLiteral("Logo"));
    Logo->setGeometry(8, 8, 64, 64);
    Logo->setPixmap(artwork::logoPicture());

    // The title twice: a grey copy 2 pixels to the right and below shows as
    // the shadow of the one over it.
    QFont title(QStringLiteral("Tahoma"));
    title.setPixelSize(32);
    title.setBold(true);
    auto makeTitle = [&](const char* name, int x, int y, const QColor& colour) {
        auto* t = new QLabel(QStringLiteral("Tipsara 2.1"), Panel);
        t->setObjectName(QString::fromLatin1(name));
        t->setFont(title);
        QPalette pal = t->palette();
        pal.setColor(QPalette::WindowText, colour);
        t->setPalette(pal);
        t->setAttribute(Qt::WA_TranslucentBackground);
        t->setGeometry(x, y, 225, 44);
        t->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        return t;
    };
    Label1 = makeTitle("Label1", 80, 8, Qt::gray);
    Label2 = makeTitle("Label2", 78, 6, palette().color(QPalette::WindowText));

    Memo = new QTextEdit(Panel);
    Memo->setObjectName(QStringLiteral("Memo"));
    Memo->setGeometry(8, 80, 281, 145);
    Memo->setReadOnly(true);
    Memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QTextOption centred = Memo->document()->defaultTextOption();
    centred.setAlignment(Qt::AlignHCenter);
    Memo->document()->setDefaultTextOption(centred);
    QPalette memoPal = Memo->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        memoPal.setColor(group, QPalette::Base, palette().color(group, QPalette::Button));
    Memo->setPalette(memoPal);

    ABSB = flatButton(Panel, "ABSB", QString::fromUtf8("ПА"));
    ABSB->setToolTip(QString::fromUtf8("Про автора"));
    ABSB->setGeometry(290, 80, 17, 17);
    LASB = flatButton(Panel, "LASB", QString::fromUtf8("ЛС"));
    LASB->setToolTip(QString::fromUtf8("Лицензионное соглашение"));
    LASB->setGeometry(290, 80 + 145 - 17, 17, 17);
    ui::connectGuarded(ABSB, &QToolButton::clicked, this, [this] { ABSBClick(); });
    ui::connectGuarded(LASB, &QToolButton::clicked, this, [this] { LASBClick(); });

    OkSB = flatButton(this, "OkSB", QStringLiteral("Ok"));
    OkSB->setGeometry(width() - 8 - 97, 249, 97, 25);
    OkSB->installEventFilter(this);
    ui::connectGuarded(OkSB, &QToolButton::clicked, this, [this] { OkSBClick(); });

    D1 = lines(kAboutText);
    D2 = lines(kLicenceText);
    FormCreate();
}

TAboutFrm::~TAboutFrm() {
    if (AboutFrm == this)
        AboutFrm = nullptr;
}

void TAboutFrm::FormCreate() {
    Memo->setPlainText(D1.join(QLatin1Char('\n')));
}

void TAboutFrm::setVisible(bool visible) {
    // Centred on the screen, not over the main window as a dialog would be.
    if (visible && !isVisible()) {
        const QScreen* screen = QGuiApplication::primaryScreen();
        if (screen) {
            const QRect s = screen->geometry();
            move(s.x() + (s.width() - width()) / 2, s.y() + (s.height() - height()) / 2);
        }
    }
    QDialog::setVisible(visible);
}

void TAboutFrm::showText(const QStringList& text, QToolButton* button, int distance) {
    setBold(button, true);
    Memo->hide();
    Memo->clear();
    Memo->setPlainText(text.join(QLatin1Char('\n')));
    // The button bobs away and back a pixel at a time, painted at each step.
    const int away = distance > 0 ? 1 : -1;
    for (const int step : {away, -away}) {
        for (int i = 0; i < std::abs(distance); ++i) {
            const QRect before = button->geometry();
            button->move(button->x(), button->y() + step);
            Panel->repaint(before.united(button->geometry()));
        }
    }
    Memo->moveCursor(QTextCursor::Start);
    Memo->ensureCursorVisible();
    Memo->show();
    setBold(button, false);
}

void TAboutFrm::ABSBClick() {
    showText(D1, ABSB, 100);
}

void TAboutFrm::LASBClick() {
    showText(D2, LASB, -100);
}

void TAboutFrm::OkSBMouseDown() {
    setBold(OkSB, true);
}

void TAboutFrm::OkSBMouseUp() {
    setBold(OkSB, false);
}

void TAboutFrm::OkSBClick() {
    close();
}

bool TAboutFrm::eventFilter(QObject* watched, QEvent* event) {
    // On any button and wherever the mouse is released, as the caption's
    // bold follows the press alone.
    if (watched == OkSB) {
        if (event->type() == QEvent::MouseButtonPress)
            OkSBMouseDown();
        else if (event->type() == QEvent::MouseButtonRelease)
            OkSBMouseUp();
    }
    return QDialog::eventFilter(watched, event);
}
