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

const char* const kLicenceText[] = {
    "ЛИЦЕНЗИОННОЕ СОГЛАШЕНИЕ",
    "с конечным пользователем",
    "программы Tipsara 2.1",
    "------------------------------------------",
    "Внимательно прочитайте это",
    "соглашение, прежде чем пользоваться",
    "программой. Установив, скопировав",
    "или запустив программу, Вы",
    "соглашаетесь с его условиями.",
    "Если Вы не согласны с ними,",
    "не пользуйтесь программой",
    "и удалите её со своего компьютера.",
    "------------------------------------------",
    "1. ТЕРМИНЫ",
    "1.1. «Программа» — программа Tipsara",
    "версии 2.1 вместе с файлом базы",
    "данных, рисунками и документацией.",
    "1.2. «Каталог» — статьи и советы,",
    "поставляемые с Программой",
    "или получаемые с сервера обновлений.",
    "1.3. «Правообладатель» —",
    "Marvek Systems.",
    "1.4. «Пользователь» — лицо,",
    "установившее Программу",
    "или пользующееся ею.",
    "------------------------------------------",
    "2. ПРЕДМЕТ СОГЛАШЕНИЯ",
    "2.1. Правообладатель предоставляет",
    "Пользователю бесплатное",
    "неисключительное право пользоваться",
    "Программой на любом количестве",
    "компьютеров в личных, учебных",
    "и служебных целях.",
    "2.2. Все права на Программу, которые",
    "прямо не предоставлены этим",
    "соглашением, остаются",
    "за Правообладателем.",
    "2.3. Программа бесплатна.",
    "------------------------------------------",
    "3. ЧТО ПОЛЬЗОВАТЕЛЬ ВПРАВЕ ДЕЛАТЬ",
    "3.1. Устанавливать и запускать",
    "Программу.",
    "3.2. Читать статьи Каталога,",
    "сохранять их в файлы и печатать",
    "для собственного пользования.",
    "3.3. Добавлять в базу данных",
    "собственные статьи.",
    "3.4. Распространять неизменённые",
    "копии установочного пакета",
    "Программы бесплатно, сохраняя",
    "это соглашение и все сведения",
    "об авторских правах.",
    "3.5. Делать резервные копии",
    "Программы и своей базы данных.",
    "------------------------------------------",
    "4. ОГРАНИЧЕНИЯ",
    "4.1. Пользователь не вправе:",
    "— продавать Программу или брать",
    "плату за её распространение;",
    "— изменять, декомпилировать",
    "или дизассемблировать Программу,",
    "кроме случаев, прямо разрешённых",
    "законом;",
    "— удалять или изменять сведения",
    "об авторских правах;",
    "— выдавать Программу или Каталог",
    "за свою разработку.",
    "4.2. Статьи Каталога принадлежат",
    "их авторам. Перепечатка статьи",
    "допускается только со ссылкой",
    "на её автора и на Программу.",
    "------------------------------------------",
    "5. ОБНОВЛЕНИЯ",
    "5.1. Программа может по команде",
    "Пользователя связаться с сервером",
    "обновлений, получить с него",
    "новые разделы и статьи",
    "и сохранить их в базе данных.",
    "5.2. При этом на сервер передаются",
    "номера статей, уже имеющихся",
    "в базе Пользователя. Иные сведения",
    "о Пользователе не передаются.",
    "5.3. Правообладатель не обязан",
    "выпускать обновления и может",
    "в любое время прекратить",
    "работу сервера обновлений.",
    "------------------------------------------",
    "6. ОТПРАВКА СОВЕТОВ",
    "6.1. Пользователь может отправить",
    "Правообладателю свой совет",
    "по электронной почте.",
    "6.2. Отправляя совет, Пользователь",
    "подтверждает, что он является",
    "его автором, и разрешает",
    "Правообладателю бесплатно",
    "включить совет в Каталог",
    "с указанием имени автора.",
    "6.3. Имя, адрес электронной почты",
    "и параметры почтового сервера",
    "хранятся только на компьютере",
    "Пользователя, в его личных",
    "настройках, и используются",
    "только для отправки советов.",
    "Пароль почтового сервера",
    "хранится в настройках",
    "в открытом виде; храните его",
    "в недоступном для других месте.",
    "------------------------------------------",
    "7. ОТКАЗ ОТ ГАРАНТИЙ",
    "7.1. Программа и Каталог",
    "предоставляются «как есть».",
    "Правообладатель не даёт никаких",
    "гарантий, явных или",
    "подразумеваемых, в том числе",
    "гарантий пригодности Программы",
    "для какой-либо цели.",
    "7.2. Правообладатель не гарантирует,",
    "что Программа работает без ошибок,",
    "а советы Каталога верны",
    "и подходят для любой версии Delphi.",
    "------------------------------------------",
    "8. ОГРАНИЧЕНИЕ ОТВЕТСТВЕННОСТИ",
    "8.1. Ни при каких обстоятельствах",
    "Правообладатель не отвечает",
    "за прямой или косвенный ущерб,",
    "упущенную выгоду, потерю данных",
    "или иные убытки, возникшие",
    "из-за использования Программы",
    "или советов Каталога либо",
    "из-за невозможности ими",
    "воспользоваться.",
    "8.2. Пользователь сам отвечает",
    "за проверку примеров кода",
    "перед их применением.",
    "------------------------------------------",
    "9. СРОК ДЕЙСТВИЯ",
    "9.1. Соглашение действует с момента",
    "установки Программы до её удаления.",
    "9.2. При нарушении Пользователем",
    "условий соглашения право",
    "пользования Программой",
    "прекращается; Пользователь должен",
    "удалить все её копии.",
    "------------------------------------------",
    "10. ПРОЧИЕ УСЛОВИЯ",
    "10.1. Если какое-либо условие",
    "соглашения окажется",
    "недействительным, остальные",
    "условия сохраняют силу.",
    "10.2. Вопросы, не урегулированные",
    "соглашением, решаются",
    "в соответствии с применимым",
    "законодательством.",
    "10.3. Вопросы и предложения",
    "присылайте Правообладателю",
    "через «Отправить совет».",
    "------------------------------------------",
    "© Marvek Systems",
    "Все права защищены.",
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
