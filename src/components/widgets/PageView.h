// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// A page view for HTML articles: QTextBrowser behind a small interface of
// address and completion. It renders synchronously, fetches nothing from the
// network and runs no script from the pages it shows.
//
// Addresses:
// - "about:<html>": the page is the text after the colon;
// - a local file, as a path or a file: URL: the file's bytes, decoded with the
//   charset named in its meta tag, otherwise as Windows-1251.
//
// Links: an anchor in the page scrolls; a local file is shown here when it
// lies in the folder of the page opened through Navigate; a web page (http,
// https) goes to the user's browser; anything else is not followed.

#include <QByteArray>
#include <QFont>
#include <QString>
#include <QStringList>
#include <QTextBrowser>
#include <QWidget>

class QUrl;

namespace ui {

// The page's text from its bytes: a UTF-8 byte-order mark, else a charset
// named in a meta tag that this system can decode, else Windows-1251.
QString decodeHtmlPage(const QByteArray& bytes);

// The charset that a meta tag of the page names (as written, unchecked);
// empty when none does.
QByteArray declaredCharset(const QByteArray& bytes);

// Whether the page sets colours of its own: a colour or background attribute
// (bgcolor, color, background; text and link colours on the body) or a
// colour or background in a style. Such a page was made for the light page
// of a web browser and is shown on one, black text on white, whatever the
// desktop's palette; any other page follows the palette.
bool HasOwnColours(const QString& html);

class PageView : public QWidget {
    Q_OBJECT
public:
    explicit PageView(QWidget* parent = nullptr);

    // Loads the address and emits DocumentComplete once the page is in.
    // A file that cannot be read throws std::runtime_error (Windows-1251
    // message); the page shown before stays then.
    void Navigate(const QString& address);

    // The address of the page shown last; empty before the first.
    QString LocationURL() const { return location_; }

    QTextBrowser* browser() const { return browser_; }

    // Marks every occurrence of the words in the page shown, as whole words
    // in any case, and scrolls the first into view. The marks go with the
    // next page.
    void Highlight(const QStringList& words);
    // The marked stretches of the page, in page order.
    QList<QTextEdit::ExtraSelection> Highlights() const { return wordMarks_; }

    // A second set of marks, drawn over those of Highlight and kept apart
    // from them (a find in the page); they too go with the next page.
    void SetFindMarks(const QList<QTextEdit::ExtraSelection>& marks);
    QList<QTextEdit::ExtraSelection> FindMarks() const { return findMarks_; }

    // The page text's scale in percent of the view's own font, for every
    // page from now on.
    void SetZoom(int percent);
    int Zoom() const { return zoom_; }

    // A widget along the bottom edge, under the page.
    void AddBelow(QWidget* w);

signals:
    // The page shown is about to be replaced by another (its scroll still
    // as the reader left it).
    void Leaving();
    void DocumentComplete(const QString& address);
    // The wheel turned with Ctrl held over the page: whole notches, up
    // (larger) positive. The view does not scale itself.
    void ZoomWheel(int notches);

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void applyMarks();
    void takePageColours(const QString& html);
    void load(const QString& address);
    void followLink(const QUrl& url);
    bool insideLinkFolder(const QString& path) const;
    QTextBrowser* browser_;
    QString location_;
    // The folder of the page the program opened last; the page's links may
    // lead to files in it (or below it) and nowhere else. Empty for an
    // "about:" page.
    QString linkFolder_;
    QList<QTextEdit::ExtraSelection> wordMarks_;
    QList<QTextEdit::ExtraSelection> findMarks_;
    QFont baseFont_; // the font at 100 %, once a level has been set
    bool baseTaken_ = false;
    int zoom_ = 100;
    int wheelRest_ = 0; // eighths of a degree short of a notch
};

} // namespace ui
