// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// The browser window's aids to reading: back and forward between the pages
// shown, the page text's zoom, the find bar and the colouring and copying of
// code. Made by the window, after its parts, and living as long as it.

#include "Reading.h"

#include <QObject>
#include <QPoint>

#include <functional>
#include <memory>
#include <vector>

class CodeColours;
class FindBar;
class QAction;
class QShortcut;
class QToolButton;
class QTreeWidgetItem;
class TViewFrm;

class ReadingAids : public QObject {
    Q_OBJECT
public:
    // show puts the page of a node into the view, as a click on it would.
    ReadingAids(TViewFrm* frm, std::function<void(QTreeWidgetItem*)> show);
    ~ReadingAids() override;

    // The page of node has been shown: a new step in the history, unless
    // it is the history itself going back or forward.
    void Shown(QTreeWidgetItem* node);
    void Back();
    void Forward();
    const reading::History& History() const { return history_; }

    void ZoomIn();
    void ZoomOut();
    void ZoomReset();

    // Before the page's menu is shown for a press at pos (in the page's
    // viewport): "Копировать код" is offered while the menu is up when a
    // code block lies there.
    struct Offer;
    [[nodiscard]] std::unique_ptr<Offer> OfferCode(const QPoint& pos);

    QToolButton* BackBtn = nullptr;
    QToolButton* ForwardBtn = nullptr;
    FindBar* Find = nullptr;
    CodeColours* Colours = nullptr;
    QAction* CopyCode = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void go(const reading::Page* page);
    void setZoom(int percent);
    void updateButtons();
    int scroll() const;
    TViewFrm* frm_;
    std::function<void(QTreeWidgetItem*)> show_;
    reading::History history_;
    QShortcut* findEsc_ = nullptr;
    bool travelling_ = false;
    QString code_; // the block the menu was offered for
};

struct ReadingAids::Offer {
    explicit Offer(QAction* a) : action(a) {}
    ~Offer();
    Offer(const Offer&) = delete;
    Offer& operator=(const Offer&) = delete;
    QAction* action;
};
