// SPDX-License-Identifier: GPL-3.0-or-later

#include "CodeColours.h"

#include "Reading.h"

#include <QEvent>
#include <QPalette>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QWidget>

bool IsCodeLine(const QTextBlock& block) {
    return block.isValid() && block.blockFormat().nonBreakableLines();
}

namespace {

// A <pre> block is a run of lines; the first has a margin above it and the
// last one below, which tell two blocks that follow each other apart.
bool startsCode(const QTextBlock& b) {
    return b.blockFormat().topMargin() > 0 || !IsCodeLine(b.previous());
}
bool endsCode(const QTextBlock& b) {
    return b.blockFormat().bottomMargin() > 0 || !IsCodeLine(b.next());
}

// An article's own colours in its code are kept.
bool hasOwnColours(const QTextBlock& b) {
    for (auto it = b.begin(); !it.atEnd(); ++it)
        if (it.fragment().charFormat().hasProperty(QTextFormat::ForegroundBrush))
            return true;
    return false;
}

QString lineText(const QTextBlock& b) {
    QString s = b.text();
    s.replace(QChar::Nbsp, QLatin1Char(' '));
    s.replace(QChar::LineSeparator, QLatin1Char('\n'));
    return s;
}

} // namespace

QString CodeAt(const QTextDocument* doc, int position) {
    QTextBlock b = doc->findBlock(position);
    if (!IsCodeLine(b))
        return QString();
    while (!startsCode(b))
        b = b.previous();
    QStringList lines;
    for (;; b = b.next()) {
        lines << lineText(b);
        if (endsCode(b))
            break;
    }
    return lines.join(QLatin1Char('\n'));
}

CodeColours::CodeColours(QWidget* view) : QSyntaxHighlighter(view), view_(view) {
    takeColours();
    view->installEventFilter(this);
}

void CodeColours::takeColours() {
    // The same hues on every desktop, lighter where the page is dark, so
    // that each stays as readable as the text around it; keywords in the
    // palette's own link colour, comments in its faint text.
    const QPalette p = view_->palette();
    const bool dark = p.color(QPalette::Base).lightness() < 128;
    auto format = [](const QColor& c, bool bold = false, bool italic = false) {
        QTextCharFormat f;
        f.setForeground(c);
        if (bold)
            f.setFontWeight(QFont::Bold);
        if (italic)
            f.setFontItalic(true);
        return f;
    };
    using reading::Token;
    formats_[size_t(Token::Plain)] = QTextCharFormat();
    formats_[size_t(Token::Keyword)] = format(p.color(QPalette::Link), true);
    QColor comment = p.color(QPalette::Text);
    comment.setAlpha(150);
    formats_[size_t(Token::Comment)] = format(comment, false, true);
    formats_[size_t(Token::String)] =
        format(dark ? QColor(0xE6, 0x9A, 0x7A) : QColor(0xA3, 0x15, 0x15));
    formats_[size_t(Token::Number)] =
        format(dark ? QColor(0x9C, 0xD6, 0x8E) : QColor(0x09, 0x78, 0x3C));
    formats_[size_t(Token::Directive)] =
        format(dark ? QColor(0xD0, 0x96, 0xE0) : QColor(0x80, 0x20, 0x90));
}

bool CodeColours::eventFilter(QObject* watched, QEvent* e) {
    if (watched == view_ && e->type() == QEvent::PaletteChange) {
        takeColours();
        rehighlight();
    }
    return QSyntaxHighlighter::eventFilter(watched, e);
}

void CodeColours::highlightBlock(const QString& text) {
    const QTextBlock b = currentBlock();
    if (!IsCodeLine(b) || hasOwnColours(b)) {
        setCurrentBlockState(-1);
        return;
    }
    auto state = reading::CodeState::Normal;
    if (!startsCode(b) && previousBlockState() > 0)
        state = static_cast<reading::CodeState>(previousBlockState());
    for (const reading::Span& s : reading::Tokenize(text, state))
        setFormat(s.start, s.length, formats_[static_cast<size_t>(s.kind)]);
    setCurrentBlockState(static_cast<int>(state));
}
