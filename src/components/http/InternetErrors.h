// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// The error numbers and descriptions that the HTTP layer's failures carry.
// The update client's reports name the failure the way the program always
// has: "WININET Error: <description>\r\nCode: <number>." with the classic
// Internet error numbers (12001 and up), whatever library does the transfer.

#include <string>

namespace http {

// Internet error numbers used by the layer.
enum InternetError : int {
    kInternalError = 12004,
    kInvalidUrl = 12005,
    kUnrecognizedScheme = 12006,
    kNameNotResolved = 12007,
    kTimeout = 12002,
    kCannotConnect = 12029,
    kConnectionAborted = 12030,
    kConnectionReset = 12031,
    kInvalidServerResponse = 12152,
    kRedirectFailed = 12156,
    kSecureChannelError = 12157,
};

// A system error number below 12001: a URL part too long for the layer.
constexpr int kInsufficientBuffer = 122;

// The Internet error number for a libcurl result code (a CURLcode).
int internetErrorForCurl(int curlCode);

// The description of an Internet or system error number, Windows-1251.
std::string errorDescription(int code);

// The full message of a failure with that number, Windows-1251.
std::string errorMessage(int code);

} // namespace http
