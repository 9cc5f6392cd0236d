// SPDX-License-Identifier: GPL-3.0-or-later
// How the program looks on other screens and desktops: every picture made
// for the screen's device pixel ratio (run at 100 % and at 200 %), no text
// cut off in any window, and pages readable with a dark palette while the
// pages that bring their own colours keep them.

#include "app/Artwork.h"
#include "app/Dialogs.h"
#include "app/Icons.h"
#include "app/UAbout.h"
#include "app/UMain.h"
#include "app/USplash.h"
#include "authoring/UAdd.h"
#include "browser/Catalogue.h"
#include "browser/TreeView.h"
#include "browser/UProgress.h"
#include "browser/UView.h"
#include "components/text/QtText.h"
#include "components/widgets/PageView.h"
#include "components/widgets/TreePictures.h"
#include "data/UData.h"
#include "mail/USendMail.h"
#include "search/USearch.h"
#include "settings/UPrefs.h"
#include "shots/DarkPalette.h"
#include "support/TempDatabase.h"
#include "update/UPro.h"
#include "update/UUpd.h"
#include "update/UWait.h"
#include "update/UpdatePictures.h"

#include <QAbstractButton>
#include <QAbstractTextDocumentLayout>
#include <QCheckBox>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTextFrame>
#include <QToolButton>
#include <QTreeWidgetItem>
#include <QtTest>

#include <memory>

using testing_support::TempDatabase;

namespace {

QString q(const char* utf8) {
    return QString::fromUtf8(utf8);
}

// The ratio this run's screens ask for: 2 when QT_SCALE_FACTOR is 2.
qreal expectedRatio() {
    bool ok = false;
    const double factor = qEnvironmentVariable("QT_SCALE_FACTOR").toDouble(&ok);
    return ok && factor > 0 ? factor : 1.0;
}

// A picture made for the ratio: its pixels are its logical size times the
// ratio, and it is no smaller picture doubled (at 2 some 2 x 2 block of its
// pixels is not of one colour).
QString checkPicture(const QPixmap& pm, QSize logical, const QString& what) {
    const qreal r = expectedRatio();
    if (pm.isNull())
        return what + QStringLiteral(": empty");
    if (!qFuzzyCompare(pm.devicePixelRatio(), r))
        return what + QStringLiteral(": ratio %1").arg(pm.devicePixelRatio());
    if (pm.size() != logical * r)
        return what + QStringLiteral(": %1 x %2 pixels").arg(pm.width()).arg(pm.height());
    if (r == 2) {
        const QImage im = pm.toImage();
        for (int y = 0; y + 1 < im.height(); y += 2)
            for (int x = 0; x + 1 < im.width(); x += 2) {
                const QRgb c = im.pixel(x, y);
                if (im.pixel(x + 1, y) != c || im.pixel(x, y + 1) != c ||
                    im.pixel(x + 1, y + 1) != c)
                    return QString();
            }
        return what + QStringLiteral(": a doubled small picture");
    }
    return QString();
}

QString plain(QString s) {
    s.remove(QLatin1Char('&'));
    return s;
}

int widestLine(const QFontMetrics& fm, const QString& text) {
    int w = 0;
    for (const QString& line : text.split(QLatin1Char('\n')))
        w = std::max(w, fm.horizontalAdvance(line));
    return w;
}

// The texts of the window's shown labels and buttons that do not fit in
// them. A text fits when the room the widget gives it holds its widest line
// and all its lines' height; a wrapped label, when its height holds the
// text wrapped at its width; a button, when it is as wide as its text (and
// its picture or box) and as high. (The size hint would not do: the style
// prefers buttons far wider than their texts need, and the windows keep
// their buttons at the sizes their users know.)
QStringList cutTexts(QWidget* window) {
    QStringList cut;
    const auto report = [&cut](QWidget* w, const QString& text, int needW, int needH) {
        cut << QStringLiteral("%1 \"%2\": %3 x %4 for %5 x %6")
                   .arg(w->objectName(), text)
                   .arg(w->width())
                   .arg(w->height())
                   .arg(needW)
                   .arg(needH);
    };
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (!w->isVisibleTo(window))
            continue;
        const QFontMetrics fm(w->font());
        if (auto* l = qobject_cast<QLabel*>(w)) {
            if (l->text().isEmpty() || l->textFormat() == Qt::RichText ||
                (l->textFormat() == Qt::AutoText && Qt::mightBeRichText(l->text())))
                continue;
            const QRect room = l->contentsRect().marginsRemoved(
                QMargins(l->margin(), l->margin(), l->margin(), l->margin()));
            const QString text = l->buddy() ? plain(l->text()) : l->text();
            if (l->wordWrap()) {
                const int h = l->heightForWidth(l->width());
                if (h > l->height())
                    report(l, text, l->width(), h);
                continue;
            }
            const int lines = static_cast<int>(text.count(QLatin1Char('\n'))) + 1;
            const int needW = widestLine(fm, text);
            const int needH = fm.ascent() + fm.descent() + (lines - 1) * fm.lineSpacing();
            if (needW > room.width() || needH > room.height())
                report(l, text, needW, needH);
        } else if (auto* b = qobject_cast<QAbstractButton*>(w)) {
            if (b->text().isEmpty())
                continue;
            const QString text = plain(b->text());
            int needW = widestLine(fm, text);
            const int needH = fm.ascent() + fm.descent();
            if (qobject_cast<QCheckBox*>(b) || qobject_cast<QRadioButton*>(b)) {
                const bool check = qobject_cast<QCheckBox*>(b);
                const QStyle* s = b->style();
                needW += s->pixelMetric(check ? QStyle::PM_IndicatorWidth
                                              : QStyle::PM_ExclusiveIndicatorWidth,
                                        nullptr, b) +
                         s->pixelMetric(check ? QStyle::PM_CheckBoxLabelSpacing
                                              : QStyle::PM_RadioButtonLabelSpacing,
                                        nullptr, b);
            } else {
                auto* tool = qobject_cast<QToolButton*>(b);
                const bool textOnly = tool && tool->toolButtonStyle() == Qt::ToolButtonIconOnly;
                if (textOnly && !b->icon().isNull())
                    continue; // the text is the tooltip's
                if (!b->icon().isNull())
                    needW += b->iconSize().width() + 4;
            }
            if (needW > b->width() || needH > b->height())
                report(b, text, needW, needH);
        }
    }
    return cut;
}

// Shows the window, hands back the texts cut in it, hides it again.
QStringList cutWhenShown(QWidget* w) {
    w->show();
    if (!QTest::qWaitForWindowExposed(w))
        return {QStringLiteral("%1 not shown").arg(w->objectName())};
    QStringList cut = cutTexts(w);
    for (QString& s : cut)
        s.prepend(w->objectName() + QStringLiteral(": "));
    w->hide();
    return cut;
}

// The about window's texts are lines of their own, centred: a line wider
// than the memo would wrap into two that read as separate lines.
QStringList wrappedAboutLines(TAboutFrm* a) {
    a->show();
    if (!QTest::qWaitForWindowExposed(a))
        return {QStringLiteral("AboutFrm not shown")};
    QStringList wrapped;
    for (const auto& text : {&TAboutFrm::LASBClick, &TAboutFrm::ABSBClick}) {
        (a->*text)();
        QTextDocument* doc = a->Memo->document();
        for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) {
            doc->documentLayout()->blockBoundingRect(b); // laid out now
            if (b.layout()->lineCount() != 1)
                wrapped << QStringLiteral("AboutFrm: \"%1\" in %2 lines")
                               .arg(b.text())
                               .arg(b.layout()->lineCount());
        }
    }
    a->hide();
    return wrapped;
}

// The colour of the most pixels of the image, and whether any pixel is
// exactly of the given colour.
QColor mostPixels(const QImage& im) {
    QHash<QRgb, int> count;
    for (int y = 0; y < im.height(); ++y)
        for (int x = 0; x < im.width(); ++x)
            ++count[im.pixel(x, y) | 0xff000000u];
    QRgb best = 0;
    int most = -1;
    for (auto it = count.cbegin(); it != count.cend(); ++it)
        if (it.value() > most) {
            most = it.value();
            best = it.key();
        }
    return QColor(best);
}
bool hasPixel(const QImage& im, const QColor& c) {
    for (int y = 0; y < im.height(); ++y)
        for (int x = 0; x < im.width(); ++x)
            if ((im.pixel(x, y) | 0xff000000u) == (c.rgb() | 0xff000000u))
                return true;
    return false;
}

// The colour a fragment's text is drawn in: its own, else the view's.
QColor textColour(const QTextBrowser* b, const QTextCharFormat& f) {
    return f.hasProperty(QTextFormat::ForegroundBrush) ? f.foreground().color()
                                                       : b->palette().color(QPalette::Text);
}

struct Shown {
    QColor background; // the colour of the most pixels of the page
    QColor text;       // of the first fragment that is no link
    QColor link;       // of the first link, when there is one
    QImage image;
};

Shown show(ui::PageView& v, const QString& address) {
    v.Navigate(address);
    QTextBrowser* b = v.browser();
    Shown s;
    for (QTextBlock block = b->document()->begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat f = it.fragment().charFormat();
            if (f.isAnchor() && !f.anchorHref().isEmpty()) {
                if (!s.link.isValid())
                    s.link = textColour(b, f);
            } else if (!s.text.isValid() && !it.fragment().text().trimmed().isEmpty()) {
                s.text = textColour(b, f);
            }
        }
    s.image = b->viewport()->grab().toImage();
    s.background = mostPixels(s.image);
    return s;
}

} // namespace

class LookTest : public QObject {
    Q_OBJECT

private slots:
    void theScreensRatioIsTheOneAskedFor() {
        // Without it the picture checks below would prove nothing at 200 %.
        QCOMPARE(qApp->devicePixelRatio(), expectedRatio());
    }

    void everyPictureIsMadeForTheScreensRatio() {
        QStringList wrong;
        auto check = [&wrong](const QPixmap& pm, QSize logical, const QString& what) {
            const QString w = checkPicture(pm, logical, what);
            if (!w.isEmpty())
                wrong << w;
        };
        check(artwork::splashPicture(), QSize(512, 256), QStringLiteral("splash"));
        check(artwork::logoPicture(), QSize(64, 64), QStringLiteral("about logo"));
        check(update::waitPicture(), QSize(64, 64), QStringLiteral("wait"));
        check(update::downloadPicture(), QSize(64, 64), QStringLiteral("download"));
        const std::vector<QPixmap> tree = treepictures::imageList();
        QCOMPARE(static_cast<int>(tree.size()), treepictures::kCount);
        for (size_t i = 0; i < tree.size(); ++i)
            check(tree[i], QSize(16, 16), QStringLiteral("tree %1").arg(i));
        // A blank is blank at any ratio: only its size counts.
        const QPixmap none = treepictures::none();
        QCOMPARE(none.size(), QSize(16, 16) * expectedRatio());
        QCOMPARE(none.devicePixelRatio(), expectedRatio());
        const std::vector<QIcon> commands = icons::imageList();
        QCOMPARE(static_cast<int>(commands.size()), icons::kCount);
        for (size_t i = 0; i < commands.size(); ++i)
            for (int side : {16, 24, 32})
                check(commands[i].pixmap(QSize(side, side)), QSize(side, side),
                      QStringLiteral("command %1 at %2").arg(i).arg(side));
        check(closeGlyph().pixmap(QSize(9, 8)), QSize(9, 8), QStringLiteral("close cross"));
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(QLatin1Char('\n'))));
    }

    void theWindowsShowThePicturesAtTheirLogicalSize() {
        TSplashForm splash;
        const QPixmap pm = splash.Image1->pixmap();
        QCOMPARE(pm.deviceIndependentSize(), QSizeF(512, 256));
        QCOMPARE(pm.devicePixelRatio(), expectedRatio());
        TWait wait;
        const QPixmap hourglass = wait.Image->pixmap();
        QCOMPARE(hourglass.deviceIndependentSize(), QSizeF(64, 64));
        QCOMPARE(hourglass.devicePixelRatio(), expectedRatio());
    }

    void noTextIsCutInAnyWindow() {
        const dbbuild::Catalogue catalogue =
            dbbuild::readCatalogue(testing_support::sourceDir() + "/db/catalogue");
        TempDatabase file(&catalogue);
        DataFrm = new TDataFrm(file.path());
        Main = new TMain();
        MakeLongLivedDialogs();
        QStringList cut;
        Main->resize(800, 600);
        Main->show();
        QVERIFY(QTest::qWaitForWindowExposed(Main));
        cut << cutTexts(Main);
        Main->AViewExecute();
        QTRY_VERIFY(ViewFrm);
        cut << cutTexts(ViewFrm);
        {
            TSplashForm splash;
            splash.setObjectName(QStringLiteral("SplashForm"));
            cut << cutWhenShown(&splash);
            TWait wait(Main);
            cut << cutWhenShown(&wait);
            TProgress progress(Main);
            cut << cutWhenShown(&progress);
            TSearchFrm search(Main);
            cut << cutWhenShown(&search);
        }
        for (QWidget* w :
             std::initializer_list<QWidget*>{PrefsFrm, UpdFrm, AboutFrm, Pro, SendMail, AddFrm})
            cut << cutWhenShown(w);
        cut << wrappedAboutLines(AboutFrm);
        delete Main;
        delete DataFrm;
        DataFrm = nullptr;
        QVERIFY2(cut.isEmpty(), qPrintable(cut.join(QLatin1Char('\n'))));
    }

    void aDarkPaletteReachesThePagesWithoutColoursOfTheirOwn() {
        const QPalette before = QApplication::palette();
        QApplication::setPalette(shots::darkPalette());
        const QPalette dark = QApplication::palette();
        {
            // The splash's loading line stays dark on its light picture.
            TSplashForm splash;
            splash.TimerTimer();
            QVERIFY(!splash.l->text().isEmpty());
            QVERIFY(splash.l->palette().color(QPalette::WindowText).lightness() < 100);
        }
        {
            // The browser's close cross is drawn in the light button text.
            const QImage cross =
                closeGlyph().pixmap(QSize(9, 8)).toImage().convertToFormat(QImage::Format_ARGB32);
            int inked = 0;
            for (int y = 0; y < cross.height(); ++y)
                for (int x = 0; x < cross.width(); ++x)
                    if (qAlpha(cross.pixel(x, y)) > 128) {
                        ++inked;
                        QVERIFY(QColor(cross.pixel(x, y)).lightness() > 200);
                    }
            QVERIFY(inked > 0);
        }
        {
            ui::PageView v;
            v.resize(500, 300);
            v.show();
            QVERIFY(QTest::qWaitForWindowExposed(&v));

            // The catalogue page of a subcategory.
            const Shown node = show(
                v, text::toQ(BuildNodePage(1, text::fromQ(q("Строки")), text::fromQ(q("Поиск")))));
            QCOMPARE(node.text, dark.color(QPalette::Text));
            QCOMPARE(node.background, dark.color(QPalette::Base));
            QVERIFY(hasPixel(node.image, dark.color(QPalette::Text)));

            // An article without colours: its text, background and links.
            const Shown plainPage =
                show(v, q("about:<h1>Заголовок</h1><p>Текст и <a href=\"http://x/\">ссылка</a>"));
            QCOMPARE(plainPage.text, dark.color(QPalette::Text));
            QCOMPARE(plainPage.link, dark.color(QPalette::Link));
            QCOMPARE(plainPage.background, dark.color(QPalette::Base));
            QVERIFY(hasPixel(plainPage.image, dark.color(QPalette::Text)));

            // An article with its own: its background and text kept, and
            // the links of a light page beside them.
            const Shown own = show(v, q("about:<body bgcolor=\"#ffffcc\" text=\"#000080\">"
                                        "<h1>Заголовок</h1><p>Текст и <a href=\"http://x/\">"
                                        "ссылка</a></body>"));
            QCOMPARE(own.background, QColor(0xff, 0xff, 0xcc));
            QCOMPARE(own.text, QColor(0x00, 0x00, 0x80));
            QCOMPARE(own.link, QColor(0, 0, 255));
            QVERIFY(hasPixel(own.image, QColor(0x00, 0x00, 0x80)));
            const Shown links = show(v, q("about:<body link=green><p>Текст и "
                                          "<a href=\"http://x/\">ссылка</a>"));
            QCOMPARE(links.link, QColor(0, 128, 0)); // green as the web names it
            QCOMPARE(links.text, QColor(Qt::black));
            QCOMPARE(links.background, QColor(Qt::white));

            // Colours in a style only, on an inner element: the page is the
            // light one its author saw, and the coloured words keep theirs.
            const Shown styled =
                show(v, q("about:<h1>Заголовок</h1><p style=\"color: #800000\">Красный</p>"));
            QCOMPARE(styled.background, QColor(Qt::white));
            QCOMPARE(styled.text, QColor(Qt::black));

            // The next page without colours is dark again.
            const Shown again = show(v, q("about:<h1>Снова</h1>"));
            QCOMPARE(again.background, dark.color(QPalette::Base));
            QCOMPARE(again.text, dark.color(QPalette::Text));
        }
        QApplication::setPalette(before);
    }

    void theNodeUnderTheMouseIsInALinkColourThatShowsOnItsTree() {
        struct Probe : TreeDelegate {
            using TreeDelegate::TreeDelegate;
            QColor hotText(const QTreeWidget& tree) const {
                QStyleOptionViewItem opt;
                opt.palette = tree.palette();
                opt.state = QStyle::State_Enabled | QStyle::State_MouseOver;
                initStyleOption(&opt, tree.model()->index(0, 0));
                return opt.font.underline() ? opt.palette.color(QPalette::Text) : QColor();
            }
        };
        const QPalette before = QApplication::palette();
        const auto hotText = [] {
            CategoryTree tree(nullptr);
            tree.addTopLevelItem(new QTreeWidgetItem(QStringList(q("Строки"))));
            return Probe().hotText(tree);
        };
        QCOMPARE(hotText(), QColor(0, 102, 204));
        QApplication::setPalette(shots::darkPalette());
        const QColor dark = hotText();
        QApplication::setPalette(before);
        QCOMPARE(dark, shots::darkPalette().color(QPalette::Link));
    }

    void onlyColoursInTheMarkupMakeAPageOwnColoured() {
        QVERIFY(ui::HasOwnColours(q("<BODY BGCOLOR=white>x")));
        QVERIFY(ui::HasOwnColours(q("<body\ntext='#000'>")));
        QVERIFY(ui::HasOwnColours(q("<font color=red>x</font>")));
        QVERIFY(ui::HasOwnColours(q("<table background=\"a.gif\">")));
        QVERIFY(ui::HasOwnColours(q("<span style=\"font-weight:bold; color:red\">")));
        QVERIFY(ui::HasOwnColours(q("<td style=background:#eee>")));
        QVERIFY(ui::HasOwnColours(q("<style>\nbody { background: #fff }\n</style>")));
        // Words about colours in the text and in code are no colours.
        QVERIFY(!ui::HasOwnColours(q("<p>Font.Color := clRed; text=1</p>")));
        QVERIFY(!ui::HasOwnColours(q("<pre>if a&lt;b then Color := clRed;</pre>")));
        QVERIFY(!ui::HasOwnColours(q("<p class=color>WM_CTLCOLOREDIT</p>")));
        QVERIFY(!ui::HasOwnColours(q("<input type=text><a href=\"color.html\">c</a>")));
        QVERIFY(!ui::HasOwnColours(q("<p style=\"font-weight:bold\">colour: none</p>")));
    }
};

int main(int argc, char** argv) {
    // The main window stores its settings: in a folder of this run's own.
    QTemporaryDir config;
    if (!config.isValid())
        return 1;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    QApplication app(argc, argv);
    // The style a dark desktop's palette comes with.
    QApplication::setStyle(QStringLiteral("Fusion"));
    LookTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "look_test.moc"
