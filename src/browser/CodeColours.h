// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// Delphi code in a page's <pre> blocks, coloured by its syntax. The colours
// are laid over the text as the view draws it: the document, its plain text
// and everything copied or saved from it stay as the article has them.

#include <QColor>
#include <QSyntaxHighlighter>
#include <QTextCharFormat>

#include <array>

class QTextBlock;
class QTextDocument;

// Whether a block of a page is a line of a <pre> block.
bool IsCodeLine(const QTextBlock& block);

// The whole <pre> block that the line at position belongs to, as plain text
// with its lines joined by line feeds; empty when the position is in no
// code.
QString CodeAt(const QTextDocument* doc, int position);

class CodeColours : public QSyntaxHighlighter {
    Q_OBJECT
public:
    // Colours the code of the pages that view shows, in colours taken from
    // its palette, anew when the palette changes.
    explicit CodeColours(QWidget* view);

    // The format of each kind of token (reading::Token), for the palette at
    // hand.
    QTextCharFormat FormatOf(int kind) const { return formats_[static_cast<size_t>(kind)]; }

protected:
    void highlightBlock(const QString& text) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void takeColours();
    QWidget* view_;
    std::array<QTextCharFormat, 6> formats_;
};
