// SPDX-License-Identifier: GPL-3.0-or-later
// Named parameter markers turned into the question marks the client API takes.
#include "Fb.h"

#include <cctype>

namespace fb {

Markers rewriteMarkers(const std::string& sql) {
    Markers m;
    m.text.reserve(sql.size());
    const size_t n = sql.size();
    auto isNameChar = [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$';
    };
    for (size_t i = 0; i < n;) {
        char c = sql[i];
        if (c == '\'' || c == '"') {
            // Literal or quoted name; a doubled quote stays inside it.
            size_t j = i + 1;
            while (j < n) {
                if (sql[j] == c) {
                    if (j + 1 < n && sql[j + 1] == c) {
                        j += 2;
                        continue;
                    }
                    ++j;
                    break;
                }
                ++j;
            }
            if (j > n)
                j = n;
            m.text.append(sql, i, j - i);
            i = j;
        } else if (c == '-' && i + 1 < n && sql[i + 1] == '-') {
            size_t j = sql.find('\n', i);
            j = j == std::string::npos ? n : j;
            m.text.append(sql, i, j - i);
            i = j;
        } else if (c == '/' && i + 1 < n && sql[i + 1] == '*') {
            size_t j = sql.find("*/", i + 2);
            j = j == std::string::npos ? n : j + 2;
            m.text.append(sql, i, j - i);
            i = j;
        } else if (c == ':' && i + 1 < n &&
                   (std::isalpha(static_cast<unsigned char>(sql[i + 1])) || sql[i + 1] == '_')) {
            size_t j = i + 1;
            while (j < n && isNameChar(sql[j]))
                ++j;
            m.text += '?';
            ++m.count;
            i = j;
        } else {
            if (c == '?')
                ++m.count;
            m.text += c;
            ++i;
        }
    }
    return m;
}

} // namespace fb
