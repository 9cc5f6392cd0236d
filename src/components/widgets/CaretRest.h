// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// The text caret stops blinking, left shown, once the application has had no
// key or mouse press for a while, and blinks again at the next one, as the
// desktops' own toolkits do: a caret that blinks forever wakes a program at
// rest twice a second.

#include <chrono>

class QObject;

namespace ui {

// Installs the application-wide filter (once; later calls return the same
// one, owned by the application). A desktop with blinking off is left so.
QObject* installCaretRest();

// How long the input rests before the caret stops: 10 s unless set (tests
// shorten it). Setting it starts the rest anew.
std::chrono::milliseconds caretRestTimeout();
void setCaretRestTimeout(std::chrono::milliseconds timeout);

} // namespace ui
