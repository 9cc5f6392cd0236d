// SPDX-License-Identifier: GPL-3.0-or-later

#include "PageView.h"

#include "components/desktop/WebLinks.h"
#include "components/text/Cp1251.h"
#include "components/text/QtText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPalette>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTextCursor>
#include <QTextDocument>
#include <QUrl>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

namespace ui {
namespace {

bool isWindows1251(const QByteArray& name) {
    const QByteArray n = name.toLower();
    return n == "windows-1251" || n == "cp1251" || n == "win-1251" || n == "x-cp1251" ||
           n == "win1251";
}

// Through iconv, which knows the charsets that old pages name (KOI8-R, CP866,
// ISO-8859-5, …). False when iconv does not know the name.
bool decodeWith(const QByteArray& charset, const QByteArray& bytes, QString& out) {
    const std::optional<std::string> utf8 =
        text::charsetToUtf8(charset.toStdString(),
                            std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
    if (!utf8)
        return false;
    out = QString::fromStdString(*utf8);
    return true;
}

} // namespace

QByteArray declaredCharset(const QByteArray& bytes) {
    // Only tags are looked at, in the page's head or wherever they stand;
    // the name may be quoted, also oddly, as in content="…; charset="x"".
    static const QRegularExpression meta(
        QStringLiteral("^<meta\\b[^>]*?charset\\s*=\\s*[\"']?\\s*([A-Za-z0-9._:\\-]+)"),
        QRegularExpression::CaseInsensitiveOption);
    // A match cannot reach past the tag's '>', so each meta tag is tried on
    // its own instead of running the expression over a whole page of
    // hundreds of kilobytes. Latin-1 keeps every byte as one character, so
    // the ASCII tag is found whatever the page's own charset.
    const char* data = bytes.constData();
    const qsizetype size = bytes.size();
    for (qsizetype at = bytes.indexOf('<'); at >= 0; at = bytes.indexOf('<', at + 1)) {
        if (size - at < 5 || qstrnicmp(data + at + 1, "meta", 4) != 0)
            continue;
        qsizetype end = bytes.indexOf('>', at);
        if (end < 0)
            end = size;
        const QRegularExpressionMatch m = meta.match(QString::fromLatin1(data + at, end - at));
        if (m.hasMatch())
            return m.captured(1).toLatin1();
    }
    return QByteArray();
}

QString decodeHtmlPage(const QByteArray& bytes) {
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return QString::fromUtf8(bytes.mid(3));
    const QByteArray charset = declaredCharset(bytes);
    QString decoded;
    if (!charset.isEmpty() && !isWindows1251(charset) && decodeWith(charset, bytes, decoded))
        return decoded;
    return text::toQ(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
}

PageView::PageView(QWidget* parent) : QWidget(parent), browser_(new QTextBrowser(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(browser_);
    browser_->setFrameShape(QFrame::NoFrame);
    // Links are followed here, so that a linked file is decoded like any
    // other page and nothing is fetched from the network.
    browser_->setOpenLinks(false);
    browser_->setOpenExternalLinks(false);
    connect(browser_, &QTextBrowser::anchorClicked, this, [this](const QUrl& url) {
        try {
            followLink(url);
        } catch (const std::exception&) {
            // A dead link leaves the page as it is, as a browser would.
        }
    });
    setFocusProxy(browser_);
    // Ctrl and the wheel would scale the text by the editor's own steps;
    // the owner decides the level instead.
    browser_->viewport()->installEventFilter(this);
}

bool PageView::eventFilter(QObject* watched, QEvent* e) {
    if (watched == browser_->viewport() && e->type() == QEvent::Wheel) {
        const auto* we = static_cast<QWheelEvent*>(e);
        if (we->modifiers() & Qt::ControlModifier) {
            wheelRest_ += we->angleDelta().y();
            const int notches = wheelRest_ / QWheelEvent::DefaultDeltasPerStep;
            wheelRest_ -= notches * QWheelEvent::DefaultDeltasPerStep;
            if (notches != 0)
                emit ZoomWheel(notches);
            return true;
        }
    }
    return QWidget::eventFilter(watched, e);
}

void PageView::SetZoom(int percent) {
    if (percent == zoom_ && baseTaken_)
        return;
    if (!baseTaken_) {
        baseFont_ = browser_->font();
        baseTaken_ = true;
    }
    zoom_ = percent;
    QFont f = baseFont_;
    if (baseFont_.pixelSize() > 0)
        f.setPixelSize(std::max(1, baseFont_.pixelSize() * percent / 100));
    else
        f.setPointSizeF(baseFont_.pointSizeF() * percent / 100.0);
    // The widget's font is the document's default: the pages' relative
    // sizes (<font size=7>, headings) follow it.
    browser_->setFont(f);
}

void PageView::AddBelow(QWidget* w) {
    layout()->addWidget(w);
}

void PageView::SetFindMarks(const QList<QTextEdit::ExtraSelection>& marks) {
    findMarks_ = marks;
    applyMarks();
}

void PageView::applyMarks() {
    browser_->setExtraSelections(wordMarks_ + findMarks_);
}

void PageView::Navigate(const QString& address) {
    QString folder;
    if (!address.startsWith(QLatin1String("about:"), Qt::CaseInsensitive)) {
        const QUrl url(address);
        const QString path = url.isLocalFile() ? url.toLocalFile() : address;
        folder = QFileInfo(path).absoluteDir().canonicalPath();
    }
    load(address);
    linkFolder_ = folder;
}

bool PageView::insideLinkFolder(const QString& path) const {
    if (linkFolder_.isEmpty())
        return false;
    // Links are followed through to where they really lead.
    const QString target = QFileInfo(path).canonicalFilePath();
    const QString prefix =
        linkFolder_.endsWith(QLatin1Char('/')) ? linkFolder_ : linkFolder_ + QLatin1Char('/');
    return !target.isEmpty() && target.startsWith(prefix);
}

bool HasOwnColours(const QString& html) {
    static const QRegularExpression own(
        QStringLiteral(
            // An attribute in any tag, and the body's text and link colours.
            "<[a-z][^>]*\\s(bgcolor|color|background)\\s*="
            "|<body\\b[^>]*\\s(text|link|vlink|alink)\\s*="
            // A colour in a style attribute or a style sheet.
            "|<[a-z][^>]*\\sstyle\\s*=\\s*(\"[^\"]*|'[^']*|[^\\s>]*)(color|background)"
            "|<style\\b[^>]*>[^<]*(color|background)"),
        QRegularExpression::CaseInsensitiveOption);
    return own.match(html).hasMatch();
}

namespace {

// A colour the body tag gives as an attribute (text="#000080"), invalid
// when it gives none.
QColor bodyColour(const QString& html, const char* attribute) {
    static const QRegularExpression body(QStringLiteral("<body\\b[^>]*>"),
                                         QRegularExpression::CaseInsensitiveOption);
    const QString tag = body.match(html).captured();
    if (tag.isEmpty())
        return QColor();
    const QRegularExpression value(
        QStringLiteral("\\s%1\\s*=\\s*[\"']?([#\\w]+)").arg(QLatin1String(attribute)),
        QRegularExpression::CaseInsensitiveOption);
    return QColor(value.match(tag).captured(1));
}

} // namespace

void PageView::takePageColours(const QString& html) {
    if (!HasOwnColours(html)) {
        // Back to the desktop's colours, dark or light. Set only when they
        // differ: a palette set anew repolishes the view, at every page.
        if (browser_->testAttribute(Qt::WA_SetPalette))
            browser_->setPalette(QPalette());
        if (!browser_->document()->defaultStyleSheet().isEmpty())
            browser_->document()->setDefaultStyleSheet(QString());
        return;
    }
    // The page of a web browser: black on white, blue links, or the colours
    // the body asks for (the view reads its background colour itself, not
    // its text and link colours).
    const QColor text = bodyColour(html, "text");
    const QColor link = bodyColour(html, "link");
    const QColor visited = bodyColour(html, "vlink");
    QPalette page;
    for (auto group : {QPalette::Active, QPalette::Inactive}) {
        page.setColor(group, QPalette::Base, Qt::white);
        page.setColor(group, QPalette::Text, text.isValid() ? text : QColor(Qt::black));
        page.setColor(group, QPalette::Link, link.isValid() ? link : QColor(0, 0, 255));
        page.setColor(group, QPalette::LinkVisited,
                      visited.isValid() ? visited : QColor(128, 0, 128));
    }
    browser_->setPalette(page);
    // The parser colours links from the application's palette; this page
    // wants its own (a link's own colour still wins over this).
    browser_->document()->setDefaultStyleSheet(
        QStringLiteral("a { color: %1; }").arg(page.color(QPalette::Link).name()));
}

void PageView::load(const QString& address) {
    emit Leaving();
    wordMarks_.clear();
    findMarks_.clear();
    applyMarks();
    if (address.startsWith(QLatin1String("about:"), Qt::CaseInsensitive)) {
        browser_->document()->setBaseUrl(QUrl());
        const QString html = address.mid(6);
        takePageColours(html);
        browser_->setHtml(html);
    } else {
        const QUrl url(address);
        const QString path = url.isLocalFile() ? url.toLocalFile() : address;
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            throw std::runtime_error(text::fromQ(
                QStringLiteral("Cannot open file \"%1\". %2").arg(path, f.errorString())));
        const QByteArray bytes = f.readAll();
        if (f.error() != QFileDevice::NoError)
            throw std::runtime_error(text::fromQ(
                QStringLiteral("Cannot read file \"%1\". %2").arg(path, f.errorString())));
        f.close();
        // The base first: the page's images are looked up while it is set.
        // The page shown before goes first, or the new base would have it
        // laid out again for nothing.
        const QUrl base = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath());
        browser_->clear();
        browser_->document()->setBaseUrl(base);
        const QString html = decodeHtmlPage(bytes);
        takePageColours(html);
        browser_->setHtml(html);
        if (browser_->document()->baseUrl() != base)
            browser_->document()->setBaseUrl(base);
    }
    location_ = address;
    emit DocumentComplete(address);
}

void PageView::Highlight(const QStringList& words) {
    QTextCharFormat mark;
    mark.setBackground(QColor(255, 230, 80));
    mark.setForeground(QColor(0, 0, 0));
    QTextDocument* doc = browser_->document();
    QList<QTextEdit::ExtraSelection> marks;
    for (const QString& word : words) {
        if (word.isEmpty())
            continue;
        // A whole word: "строки" is not marked inside "подстроки".
        const QRegularExpression re(QStringLiteral("(?<!\\w)") + QRegularExpression::escape(word) +
                                        QStringLiteral("(?!\\w)"),
                                    QRegularExpression::CaseInsensitiveOption |
                                        QRegularExpression::UseUnicodePropertiesOption);
        for (QTextCursor at = doc->find(re); !at.isNull() && at.hasSelection();
             at = doc->find(re, at))
            marks.append({at, mark});
    }
    std::sort(marks.begin(), marks.end(), [](const auto& a, const auto& b) {
        return a.cursor.selectionStart() < b.cursor.selectionStart();
    });
    wordMarks_ = marks;
    applyMarks();
    if (marks.isEmpty())
        return;
    QTextCursor first(doc);
    first.setPosition(marks.first().cursor.selectionStart());
    browser_->setTextCursor(first);
    browser_->ensureCursorVisible();
    // Not at the very edge: a third down the view, with its context above.
    QScrollBar* bar = browser_->verticalScrollBar();
    const int top = browser_->cursorRect(first).top();
    bar->setValue(bar->value() + top - browser_->viewport()->height() / 3);
}

void PageView::followLink(const QUrl& link) {
    if (link.scheme().isEmpty() && link.path().isEmpty() && link.hasFragment()) {
        browser_->scrollToAnchor(link.fragment());
        return;
    }
    const QUrl base = browser_->document()->baseUrl();
    const QUrl url = link.isRelative() && base.isValid() ? base.resolved(link) : link;
    if (url.isLocalFile()) {
        // Articles come from the network: their links may lead to pages
        // beside them, not to other files of the user.
        if (!insideLinkFolder(url.toLocalFile()))
            return;
        load(url.toLocalFile());
        if (url.hasFragment())
            browser_->scrollToAnchor(url.fragment());
        return;
    }
    // Pages on the web go to the user's own browser; no other scheme is
    // handed to the desktop.
    if (!url.isRelative())
        weblinks::Open(url.toString(QUrl::FullyEncoded));
}

} // namespace ui
