// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// The visible text of an article's page, for the full-text index.

#include <string>
#include <string_view>

namespace fulltext {

// Windows-1251 HTML -> UTF-8 text as a reader sees it: tags, comments and
// the content of <script> and <style> dropped; named and numeric character
// references decoded (&lt; &nbsp; &#1090; &#x442;); a tag that begins a
// block (<p>, <br>, <td>, <li>, ...) separates words, an inline one (<b>,
// <a>, <font>, ...) does not; every run of blanks is one space. A '<' or
// '&' that begins no tag or reference is text.
std::string htmlToText(std::string_view html);

} // namespace fulltext
