// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// The order of the program's lists: the user's locale, case-sensitive,
// punctuation counted, the texts of several columns compared in turn.

#include <QCollator>
#include <QString>

#include <initializer_list>

namespace text {

QCollator listCollator();

// Compares two rows by the texts of the columns in turn (the first that
// differs decides): -1, 0 or 1. textA(column) and textB(column) give the texts.
template <class TextA, class TextB>
int compareInTurn(const QCollator& collator, std::initializer_list<int> columns, TextA textA,
                  TextB textB) {
    for (int column : columns) {
        const int c = collator.compare(textA(column), textB(column));
        if (c != 0)
            return c < 0 ? -1 : 1;
    }
    return 0;
}

} // namespace text
