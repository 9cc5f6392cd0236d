// SPDX-License-Identifier: GPL-3.0-or-later

#include "InternetErrors.h"

#include "components/text/Cp1251.h"

#include <curl/curl.h>

#include <cstdio>

namespace http {
namespace {

struct CurlMapping {
    CURLcode curl;
    int internet;
};

// Every libcurl failure the layer can meet, with the Internet error that
// stands for it. Anything else is an internal error.
constexpr CurlMapping kCurlTable[] = {
    {CURLE_UNSUPPORTED_PROTOCOL, kUnrecognizedScheme},
    {CURLE_URL_MALFORMAT, kInvalidUrl},
    {CURLE_COULDNT_RESOLVE_PROXY, kNameNotResolved},
    {CURLE_COULDNT_RESOLVE_HOST, kNameNotResolved},
    {CURLE_COULDNT_CONNECT, kCannotConnect},
    {CURLE_WEIRD_SERVER_REPLY, kInvalidServerResponse},
    {CURLE_HTTP2, kInvalidServerResponse},
    {CURLE_PARTIAL_FILE, kConnectionAborted},
    {CURLE_OPERATION_TIMEDOUT, kTimeout},
    {CURLE_GOT_NOTHING, kConnectionAborted},
    {CURLE_SEND_ERROR, kConnectionReset},
    {CURLE_RECV_ERROR, kConnectionReset},
    {CURLE_TOO_MANY_REDIRECTS, kRedirectFailed},
    {CURLE_SSL_CONNECT_ERROR, kSecureChannelError},
    {CURLE_PEER_FAILED_VERIFICATION, kSecureChannelError},
    {CURLE_BAD_CONTENT_ENCODING, kInvalidServerResponse},
};

struct Description {
    int code;
    const char* utf8;
};

constexpr Description kDescriptions[] = {
    {kTimeout, "Время ожидания операции истекло"},
    {kInternalError, "Внутренняя ошибка"},
    {kInvalidUrl, "Неверный URL-адрес"},
    {kUnrecognizedScheme, "Схема URL-адреса не распознана или не поддерживается"},
    {kNameNotResolved, "Не удается разрешить имя или адрес сервера"},
    {kCannotConnect, "Не удается установить соединение с сервером"},
    {kConnectionAborted, "Соединение с сервером было неожиданно прервано"},
    {kConnectionReset, "Соединение с сервером было сброшено"},
    {kInvalidServerResponse, "Получен недопустимый ответ сервера"},
    {kRedirectFailed, "Не удалось выполнить перенаправление"},
    {kSecureChannelError, "Ошибка защищенного канала"},
    {kInsufficientBuffer, "Часть URL-адреса длиннее 1023 символов"},
};

} // namespace

int internetErrorForCurl(int curlCode) {
    for (const CurlMapping& m : kCurlTable)
        if (m.curl == curlCode)
            return m.internet;
    return kInternalError;
}

std::string errorDescription(int code) {
    for (const Description& d : kDescriptions)
        if (d.code == code)
            return text::utf8ToCp1251(d.utf8);
    return text::utf8ToCp1251("Неизвестная ошибка");
}

std::string errorMessage(int code) {
    std::string description = errorDescription(code);
    if (code < 12001)
        return description;
    char buffer[600];
    std::snprintf(buffer, sizeof buffer, "WININET Error: %s\r\nCode: %d.", description.c_str(),
                  code);
    return buffer;
}

} // namespace http
