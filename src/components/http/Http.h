// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// The update client's HTTP layer: one GET at a time of an absolute http://
// URL, its body copied into a memory string or a file as it arrives, with
// progress events on the way. Three long-lived objects, owned by the main
// window: the session (user agent, proxy, cookies, the kept-alive
// connections), the connection (host, port and credentials of the current
// URL) and the request (path, query, referrer, accept types).
//
// Everything runs on the calling thread and blocks it. Failures are thrown as
// http::Error; their messages are Windows-1251.

#include "InternetErrors.h"

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace http {

class Error : public std::runtime_error {
public:
    explicit Error(int code) : std::runtime_error(errorMessage(code)), code_(code) {}
    // An Internet error number (12001 and up) or a system one below.
    int code() const { return code_; }

private:
    int code_;
};

// Position and total of the body read so far, in bytes.
using ProgressEvent = std::function<void(uint32_t position, uint32_t total)>;

// Where a body goes. Write may throw; the transfer then fails with that error.
class Stream {
public:
    virtual ~Stream() = default;
    virtual void SetSizeZero() = 0;
    virtual void Write(const char* data, size_t size) = 0;
};

class MemoryStream : public Stream {
public:
    std::string DataString;
    void SetSizeZero() override { DataString.clear(); }
    void Write(const char* data, size_t size) override { DataString.append(data, size); }
};

// A new file made on construction, replacing whatever had the name (a file,
// or a link, which is replaced and not followed), and closed by Close or the
// destructor. Failures are std::runtime_error naming the file.
class FileStream : public Stream {
public:
    explicit FileStream(const std::string& path);
    ~FileStream() override;
    FileStream(const FileStream&) = delete;
    FileStream& operator=(const FileStream&) = delete;

    void SetSizeZero() override;
    void Write(const char* data, size_t size) override;
    void Close();

private:
    [[noreturn]] void fail(const char* what, int code = 0);
    std::string path_;
    std::FILE* file_ = nullptr;
};

inline constexpr const char* kUserAgent = "Mozilla/4.0 (compatible; Tolvane Software Downloader)";
// The body's size assumed for progress when the response does not give one.
inline constexpr uint32_t kUnknownTotal = 48160;
// Bytes per progress step.
inline constexpr size_t kChunk = 4096;
// Longest part of a URL (host, path, query with its "?", ...).
inline constexpr size_t kMaxUrlPart = 1023;

class TInternetSession {
public:
    TInternetSession();
    ~TInternetSession();
    TInternetSession(const TInternetSession&) = delete;
    TInternetSession& operator=(const TInternetSession&) = delete;

    std::string UserAgent = kUserAgent;
    // A dead server must not hang the program: no answer to a connect within
    // this time, or less than one byte a second for LowSpeedSeconds, fails
    // the transfer. There is no limit on a transfer as a whole.
    long ConnectTimeoutSeconds = 30;
    long LowSpeedSeconds = 60;
    // Status events of the session; the layer raises none (body progress is
    // the request's).
    ProgressEvent OnProgress;

    // Closed until the first connection needs it, then open until destroyed.
    // The proxy is the user's, from the environment (http_proxy, no_proxy...).
    bool Active() const { return handle_ != nullptr; }
    void Open();
    void Close();

    void* handle() const { return handle_; } // the CURL easy handle while active

private:
    void* handle_ = nullptr;
};

class TInternetConnection {
public:
    explicit TInternetConnection(TInternetSession& session) : Session(session) {}

    TInternetSession& Session;
    // Replaced from every URL set on a request. Port 0: the URL's own, or 80.
    std::string HostName;
    unsigned Port = 0;
    std::string UserName;
    std::string Password;
    // Status events of the connection; the layer raises none.
    ProgressEvent OnProgress;

    bool Connected() const { return connected_; }
    // Opens the session when it is closed. The TCP connection itself is made
    // by the transfer and kept alive by the session for the next one.
    void Connect();
    void Disconnect() { connected_ = false; }

private:
    bool connected_ = false;
};

class TInternetHTTPRequest {
public:
    explicit TInternetHTTPRequest(TInternetConnection& connection) : Connection(connection) {}

    TInternetConnection& Connection;
    const std::string Method = "GET";
    std::vector<std::string> AcceptTypes = {
        "image/gif",
        "image/x-xbitmap",
        "image/jpeg",
        "image/pjpeg",
        "application/x-shockwave-flash",
        "application/vnd.ms-powerpoint",
        "application/vnd.ms-excel",
        "application/msword",
        "*/*",
    };
    // Sent as the Referer header; empty sends none.
    std::string Referrer;
    // Raised while ReadToStream reads a body: first at 0 with the total
    // (Content-Length, or kUnknownTotal), then after every kChunk bytes and
    // after the last piece, the position capped at the total, and finally
    // once with position equal to total.
    ProgressEvent OnProgress;

    const std::string& URL() const { return url_; }
    // Disconnects the connection, then splits the URL: host, port, user and
    // password go to the connection, path and query stay here. Throws when
    // the URL cannot be split or a part is longer than kMaxUrlPart.
    void setURL(const std::string& url);
    const std::string& Path() const { return path_; }
    const std::string& Query() const { return query_; } // with its leading "?", or empty

    // Connects when not connected and prepares a GET of the current URL.
    void OpenRequest();
    // Empties the stream, sends the request and copies the whole response
    // body into the stream, whatever the status code. What arrived before a
    // failure stays in the stream.
    void ReadToStream(Stream& stream);

private:
    std::string url_ = "http://";
    std::string path_;
    std::string query_;
    std::string target_; // the URL as sent, built by OpenRequest
    bool open_ = false;
};

} // namespace http
