// SPDX-License-Identifier: GPL-3.0-or-later

#include "Numbers.h"

namespace text {

std::optional<int32_t> PlainInteger(std::string_view text, bool allowSign) {
    const bool negative = allowSign && !text.empty() && text.front() == '-';
    if (negative)
        text.remove_prefix(1);
    if (text.empty())
        return std::nullopt;
    // Leading zeros do not count toward the size: the value is checked as it
    // grows, never the length of the text.
    const int64_t limit = negative ? -int64_t(INT32_MIN) : int64_t(INT32_MAX);
    int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > limit)
            return std::nullopt;
    }
    return static_cast<int32_t>(negative ? -value : value);
}

} // namespace text
