// SPDX-License-Identifier: GPL-3.0-or-later

#include "UpdateProtocol.h"

#include "components/http/Http.h"
#include "components/text/Cp1251.h"
#include "components/text/Numbers.h"
#include "components/text/Strings.h"

#include <cstdint>

namespace update {
namespace {

// Error pages can be long; a message shows their beginning.
std::string quoted(std::string_view s) {
    constexpr size_t kShown = 200;
    std::string out = "'" + std::string(s.substr(0, kShown));
    if (s.size() > kShown)
        out += "...";
    return out + "'";
}

} // namespace

std::string CatPath(int32_t cat) {
    return "/get/tipsara/get_cat.php?id=" + std::to_string(cat);
}

std::string MaxSubCatPath(int32_t cat) {
    return "/get/tipsara/get_max_sub_cat.php?id=" + std::to_string(cat);
}

std::string SubCatPath(int32_t cat, int32_t sub) {
    return "/get/tipsara/get_sub_cat.php?id=" + std::to_string(cat) + "&sid=" + std::to_string(sub);
}

std::string NewHintsPath(const std::string& serverIdList) {
    return "/get/tipsara/get_new_hints.php?ids=" + serverIdList;
}

std::string PackagePath(const std::string& serverId) {
    return "/get/tipsara/files/" + serverId + ".zip";
}

std::string RequestURL(const std::string& root, const std::string& path) {
    return "http://" + root + path;
}

std::string ReferrerURL(const std::string& root) {
    return "http://" + root + "/?fromTipsara";
}

void CheckRoot(std::string_view root) {
    const std::string_view authority = root.substr(0, root.find_first_of("/?#"));
    // The root itself is not quoted: what stands before the "@" may be a
    // password.
    if (authority.find('@') != std::string_view::npos)
        throw RootError(text::utf8ToCp1251(
            "Адрес сервера обновлений содержит имя пользователя или пароль (часть до \"@\"). "
            "Укажите только имя сервера, при необходимости порт и папку. Обновление прервано"));
    std::string_view host = authority;
    if (!host.empty() && host.front() == '[') {
        const size_t close = host.find(']');
        host = close == std::string_view::npos ? std::string_view() : host.substr(0, close + 1);
    } else {
        host = host.substr(0, host.find(':'));
    }
    // Only a port may follow the host: "http://example.org" would otherwise
    // send every request to a host named "http".
    bool portOk = true;
    if (host.size() < authority.size()) {
        const std::string_view port = authority.substr(host.size());
        portOk = port.size() >= 2 && port.size() <= 6 && port.front() == ':' &&
                 port.find_first_not_of("0123456789", 1) == std::string_view::npos &&
                 std::stoi(std::string(port.substr(1))) <= 65535;
    }
    if (text::allBlank(host) || !portOk)
        throw RootError(
            text::utf8ToCp1251("Адрес сервера обновлений \"") + std::string(root) +
            text::utf8ToCp1251("\" не начинается с имени сервера. Укажите только имя сервера, при "
                               "необходимости порт и папку, без \"http://\". Обновление прервано"));
}

std::string FetchText(http::TInternetHTTPRequest& request, const std::string& root,
                      const std::string& path) {
    CheckRoot(root);
    request.setURL(RequestURL(root, path));
    request.Referrer = ReferrerURL(root);
    request.OpenRequest();
    http::MemoryStream body;
    request.ReadToStream(body);
    return std::move(body.DataString);
}

void FetchFile(http::TInternetHTTPRequest& request, const std::string& root,
               const std::string& path, const std::string& filePath) {
    CheckRoot(root);
    request.setURL(RequestURL(root, path));
    request.Referrer = ReferrerURL(root);
    request.OpenRequest();
    http::FileStream file(filePath);
    request.ReadToStream(file);
    file.Close();
}

std::vector<std::string> SplitLines(std::string_view text) {
    const size_t nul = text.find('\0');
    if (nul != std::string_view::npos)
        text = text.substr(0, nul);
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            lines.emplace_back(text.substr(start));
            break;
        }
        lines.emplace_back(text.substr(start, end - start));
        start = end + 1;
        if (text[end] == '\r' && start < text.size() && text[start] == '\n')
            ++start;
    }
    return lines;
}

std::optional<StatusFile> ParseStatusFile(std::string_view text) {
    std::vector<std::string> lines = SplitLines(text);
    if (lines.size() != 3)
        return std::nullopt;
    return StatusFile{std::move(lines[0]), std::move(lines[1]), std::move(lines[2])};
}

int32_t ParseIntegerReply(std::string_view text) {
    // A sign, then the digits of a plain integer; blanks around are the
    // server's line ends.
    std::string_view digits = text::trimmed(text);
    std::string sign;
    if (!digits.empty() && (digits.front() == '+' || digits.front() == '-')) {
        if (digits.front() == '-')
            sign = "-";
        digits.remove_prefix(1);
    }
    const std::optional<int32_t> value = digits.empty() || digits.front() == '-'
                                             ? std::nullopt
                                             : text::PlainInteger(sign + std::string(digits), true);
    if (!value)
        throw ReplyError(quoted(text) + text::utf8ToCp1251(" - недопустимое целое значение"));
    return *value;
}

std::string ServerIdList(const std::vector<int32_t>& ids) {
    std::string list;
    for (int32_t id : ids) {
        if (!list.empty())
            list += ',';
        list += std::to_string(id);
    }
    return list;
}

std::vector<NewHint> ParseNewHints(std::string_view text) {
    const std::vector<std::string> lines = SplitLines(text);
    std::vector<NewHint> hints;
    size_t i = 0;
    while (lines.size() - i >= 2) {
        if (text::allBlank(lines[i])) {
            ++i;
            continue;
        }
        if (lines.size() - i < 4)
            throw ReplyError(text::utf8ToCp1251("Индекс списка вне допустимого диапазона (") +
                             std::to_string(lines.size()) + ")");
        hints.push_back({lines[i], lines[i + 1], lines[i + 2], lines[i + 3], i + 1});
        i += 4;
    }
    return hints;
}

} // namespace update
