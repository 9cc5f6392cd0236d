// SPDX-License-Identifier: GPL-3.0-or-later

#include "FindBar.h"

#include "components/widgets/Controls.h"
#include "components/widgets/PageView.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QToolButton>

FindBar::FindBar(ui::PageView* view) : QWidget(view), view_(view) {
    setObjectName(QStringLiteral("FindBar"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(4, 2, 4, 2);
    row->setSpacing(4);
    row->addWidget(ui::label(this, "FindLabel", "Найти:"));
    Text = new QLineEdit(this);
    Text->setObjectName(QStringLiteral("FindText"));
    Text->setClearButtonEnabled(true);
    Text->setMaximumWidth(260);
    Text->installEventFilter(this);
    row->addWidget(Text, 1);
    PrevBtn = ui::toolButton(this, "FindPrev", QString::fromUtf8("▲"));
    PrevBtn->setToolTip(QString::fromUtf8("Предыдущее (Shift+F3)"));
    NextBtn = ui::toolButton(this, "FindNext", QString::fromUtf8("▼"));
    NextBtn->setToolTip(QString::fromUtf8("Следующее (F3)"));
    row->addWidget(PrevBtn);
    row->addWidget(NextBtn);
    Count = ui::label(this, "FindCount", "");
    row->addWidget(Count);
    row->addStretch(1);
    CloseBtn = ui::toolButton(this, "FindClose", QString::fromUtf8("✕"));
    CloseBtn->setToolTip(QString::fromUtf8("Закрыть (Esc)"));
    row->addWidget(CloseBtn);
    for (QToolButton* b : {PrevBtn, NextBtn, CloseBtn})
        b->setFocusPolicy(Qt::NoFocus);

    connect(Text, &QLineEdit::textChanged, this, [this] {
        // As it is typed the text is looked for from where the current
        // occurrence stands, so that a longer word stays where it was found.
        find(current_ >= 0 ? hits_[size_t(current_)].start : topOfView());
    });
    connect(PrevBtn, &QToolButton::clicked, this, &FindBar::Previous);
    connect(NextBtn, &QToolButton::clicked, this, &FindBar::Next);
    connect(CloseBtn, &QToolButton::clicked, this, &FindBar::Close);
    // A new page is looked through from its top.
    connect(view, &ui::PageView::DocumentComplete, this, [this] {
        current_ = -1;
        if (IsOpen())
            find(0);
        else
            hits_.clear();
    });
    view->AddBelow(this);
    hide();
}

void FindBar::Open() {
    show();
    Text->setFocus(Qt::ShortcutFocusReason);
    Text->selectAll();
    find(current_ >= 0 ? hits_[size_t(current_)].start : topOfView());
}

void FindBar::Close() {
    hide();
    hits_.clear();
    current_ = -1;
    view_->SetFindMarks({});
    view_->browser()->setFocus(Qt::OtherFocusReason);
}

void FindBar::Next() {
    go(reading::Step(int(hits_.size()), current_, true));
}

void FindBar::Previous() {
    go(reading::Step(int(hits_.size()), current_, false));
}

int FindBar::topOfView() const {
    return view_->browser()->cursorForPosition(QPoint(0, 0)).position();
}

void FindBar::find(int position) {
    hits_.clear();
    const QString needle = Text->text();
    // Block by block: an occurrence never crosses a paragraph, and each
    // block's text lies at its own position in the document.
    if (!needle.isEmpty()) {
        for (QTextBlock b = view_->browser()->document()->begin(); b.isValid(); b = b.next()) {
            QString line = b.text();
            line.replace(QChar::Nbsp, QLatin1Char(' '));
            for (reading::Hit h : reading::FindAll(line, needle)) {
                h.start += b.position();
                hits_.push_back(h);
            }
        }
    }
    go(reading::FirstFrom(hits_, position));
}

void FindBar::go(int index) {
    current_ = index;
    mark();
    if (Text->text().isEmpty())
        Count->clear();
    else if (hits_.empty())
        Count->setText(QString::fromUtf8("Не найдено"));
    else
        Count->setText(QString::fromUtf8("%1 из %2").arg(current_ + 1).arg(hits_.size()));
    if (current_ < 0)
        return;
    const reading::Hit& h = hits_[size_t(current_)];
    QTextBrowser* b = view_->browser();
    QTextCursor c(b->document());
    c.setPosition(h.start + h.length);
    b->setTextCursor(c);
    b->ensureCursorVisible();
    c.setPosition(h.start);
    b->setTextCursor(c);
    b->ensureCursorVisible();
}

void FindBar::mark() {
    // Every occurrence in a faint highlight, the current one in the full
    // selection colours, from the palette so that dark desktops read too.
    const QPalette p = view_->browser()->palette();
    QColor faint = p.color(QPalette::Highlight);
    faint.setAlpha(90);
    QTextCharFormat all;
    all.setBackground(faint);
    QTextCharFormat current;
    current.setBackground(p.color(QPalette::Highlight));
    current.setForeground(p.color(QPalette::HighlightedText));
    QList<QTextEdit::ExtraSelection> marks;
    QTextDocument* doc = view_->browser()->document();
    for (size_t i = 0; i < hits_.size(); ++i) {
        QTextCursor c(doc);
        c.setPosition(hits_[i].start);
        c.setPosition(hits_[i].start + hits_[i].length, QTextCursor::KeepAnchor);
        marks.append({c, int(i) == current_ ? current : all});
    }
    view_->SetFindMarks(marks);
}

bool FindBar::eventFilter(QObject* watched, QEvent* e) {
    if (watched == Text && e->type() == QEvent::KeyPress) {
        const auto* k = static_cast<QKeyEvent*>(e);
        if (k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter) {
            if (k->modifiers() & Qt::ShiftModifier)
                Previous();
            else
                Next();
            return true;
        }
    }
    return QWidget::eventFilter(watched, e);
}
