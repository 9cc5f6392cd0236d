// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// The small pieces every window of the program is made of, made one way.

#include <QFont>
#include <QRect>
#include <QString>

class QLabel;
class QPushButton;
class QToolButton;
class QWidget;

namespace ui {

// The windows' font: Tahoma (or the named family) at 8 points.
QFont formFont(const char* family = "Tahoma", int points = 8);
// Tahoma at a size in pixels, for captions drawn at a fixed size.
QFont pixelFont(int pixels, bool bold = false);

// A push button with an object name and a UTF-8 caption, at geometry when it
// is valid.
QPushButton* pushButton(QWidget* parent, const char* name, const char* caption,
                        const QRect& geometry = QRect());

// A label with a UTF-8 caption, at geometry when it is valid.
QLabel* label(QWidget* parent, const char* name, const char* caption,
              const QRect& geometry = QRect());

// A tool button with an object name and a text, raised under the mouse.
QToolButton* toolButton(QWidget* parent, const char* name, const QString& caption);

// A flat tool button of a fixed size that takes no focus: a bold caption
// when there is one, and a UTF-8 hint as its tool tip.
QToolButton* flatButton(QWidget* parent, const char* name, const QString& caption, const char* hint,
                        int width, int height);

// The selection of a list or tree stays plain to see when it loses the
// focus: the inactive highlight is the active one.
void keepSelectionVisible(QWidget* view);

} // namespace ui
