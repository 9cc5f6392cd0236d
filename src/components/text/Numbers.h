// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// Numbers as the update protocol and the catalogue write them.

#include <cstdint>
#include <optional>
#include <string_view>

namespace text {

// A decimal integer of 32 bits written as digits only, with a leading '-'
// when allowSign. Leading zeros are allowed, however many; nothing else is:
// no spaces, no '+', no NUL.
std::optional<int32_t> PlainInteger(std::string_view text, bool allowSign);

} // namespace text
