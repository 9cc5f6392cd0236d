// SPDX-License-Identifier: GPL-3.0-or-later

#include "Http.h"

#include "components/text/Cp1251.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <exception>
#include <mutex>

namespace http {
namespace {

CURL* curlOf(const TInternetSession& session) {
    return static_cast<CURL*>(session.handle());
}

void globalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// The parts of a URL, as given and with %-escapes decoded.
class UrlParts {
public:
    // The handle is owned from the start: a URL refused below throws out of
    // the constructor, where no destructor would free it.
    explicit UrlParts(const std::string& url) : handle_(curl_url()) {
        if (!handle_)
            throw Error(kInternalError);
        const CURLUcode rc =
            curl_url_set(handle_.get(), CURLUPART_URL, url.c_str(), CURLU_PATH_AS_IS);
        if (rc == CURLUE_BAD_SCHEME || rc == CURLUE_UNSUPPORTED_SCHEME)
            throw Error(kUnrecognizedScheme);
        if (rc != CURLUE_OK)
            throw Error(kInvalidUrl);
    }

    std::string get(CURLUPart part, bool decoded = false) const {
        std::string out;
        find(part, decoded, out);
        return out;
    }
    bool has(CURLUPart part) const {
        std::string unused;
        return find(part, false, unused);
    }

private:
    bool find(CURLUPart part, bool decoded, std::string& out) const {
        char* value = nullptr;
        if (curl_url_get(handle_.get(), part, &value, decoded ? CURLU_URLDECODE : 0) != CURLUE_OK)
            return false;
        out = value ? value : "";
        curl_free(value);
        return true;
    }
    struct Cleanup {
        void operator()(CURLU* h) const { curl_url_cleanup(h); }
    };
    std::unique_ptr<CURLU, Cleanup> handle_;
};

void checkLength(const std::string& part) {
    if (part.size() > kMaxUrlPart)
        throw Error(kInsufficientBuffer);
}

// One body being copied: slices what libcurl hands over into kChunk pieces,
// so that the progress events do not depend on how the network splits the
// data, and raises the events.
struct Transfer {
    Transfer(CURL* c, Stream& s, const ProgressEvent& e) : curl(c), stream(s), onProgress(e) {}
    CURL* curl;
    Stream& stream;
    const ProgressEvent& onProgress;
    std::string pending; // less than kChunk bytes not yet written
    bool started = false;
    uint64_t received = 0;
    uint32_t total = 0;
    std::exception_ptr error;

    void raise(uint64_t position) {
        if (onProgress)
            onProgress(static_cast<uint32_t>(std::min<uint64_t>(position, total)), total);
    }

    uint32_t contentTotal() const {
        curl_off_t length = -1;
        if (curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) != CURLE_OK ||
            length <= 0)
            return kUnknownTotal;
        return static_cast<uint32_t>(std::min<curl_off_t>(length, UINT32_MAX));
    }

    void deliver(const char* data, size_t size) {
        if (!started) {
            started = true;
            total = contentTotal();
            raise(0);
        }
        stream.Write(data, size);
        received += size;
        raise(received);
    }

    void take(const char* data, size_t size) {
        size_t used = 0;
        if (!pending.empty()) {
            used = std::min(size, kChunk - pending.size());
            pending.append(data, used);
            if (pending.size() < kChunk)
                return;
            deliver(pending.data(), pending.size());
            pending.clear();
        }
        for (; size - used >= kChunk; used += kChunk)
            deliver(data + used, kChunk);
        pending.append(data + used, size - used);
    }

    void finish() {
        if (!pending.empty())
            deliver(pending.data(), pending.size());
        pending.clear();
        raise(total);
    }

    // After a failure: keep what arrived, without further events.
    void keepWhatArrived() noexcept {
        try {
            if (!pending.empty())
                stream.Write(pending.data(), pending.size());
        } catch (...) {
        }
        pending.clear();
    }

    static size_t onData(char* data, size_t size, size_t count, void* self) {
        auto* t = static_cast<Transfer*>(self);
        try {
            t->take(data, size * count);
            return size * count;
        } catch (...) {
            t->error = std::current_exception();
            return 0; // aborts the transfer
        }
    }
};

struct HeaderList {
    curl_slist* list = nullptr;
    ~HeaderList() { curl_slist_free_all(list); }
    void add(const std::string& line) {
        curl_slist* grown = curl_slist_append(list, line.c_str());
        if (!grown)
            throw Error(kInternalError);
        list = grown;
    }
};

} // namespace

// ---------------------------------------------------------------- FileStream

FileStream::FileStream(const std::string& path) : path_(path) {
    // The body goes into a file of our own: made new under another name in
    // the same folder (mkstemp neither follows links nor opens what is
    // there), then renamed over the name. Whatever was planted at the name,
    // a link to a file elsewhere among them, is replaced and never written
    // through; a folder there makes the rename, and so the stream, fail.
    std::string fresh = path + ".XXXXXX";
    const int fd = ::mkostemp(fresh.data(), O_CLOEXEC);
    if (fd < 0)
        fail("Не удается создать файл", errno);
    if (std::rename(fresh.c_str(), path.c_str()) != 0) {
        const int code = errno;
        ::close(fd);
        ::unlink(fresh.c_str());
        errno = code;
        fail("Не удается создать файл", errno);
    }
    file_ = ::fdopen(fd, "wb");
    if (!file_) {
        const int code = errno;
        ::close(fd);
        errno = code;
        fail("Не удается создать файл", errno);
    }
}

FileStream::~FileStream() {
    if (file_)
        std::fclose(file_);
}

void FileStream::fail(const char* what, int code) {
    // The path is a file-system name (UTF-8); the reason is the C library's.
    std::string message = text::utf8ToCp1251(what) + " \"" + text::utf8ToCp1251(path_) + "\"";
    if (code != 0)
        message += ": " + text::systemError(code) + " (errno " + std::to_string(code) + ")";
    throw std::runtime_error(message + ".");
}

void FileStream::SetSizeZero() {
    if (!file_)
        fail("Файл уже закрыт");
    if (std::fflush(file_) != 0 || ftruncate(fileno(file_), 0) != 0)
        fail("Ошибка записи в файл", errno);
    std::rewind(file_);
}

void FileStream::Write(const char* data, size_t size) {
    if (!file_)
        fail("Файл уже закрыт");
    if (size && std::fwrite(data, 1, size, file_) != size)
        fail("Ошибка записи в файл", errno);
}

void FileStream::Close() {
    if (!file_)
        return;
    std::FILE* f = file_;
    file_ = nullptr;
    if (std::fclose(f) != 0)
        fail("Ошибка записи в файл", errno);
}

// ---------------------------------------------------------------- session

TInternetSession::TInternetSession() = default;

TInternetSession::~TInternetSession() {
    Close();
}

void TInternetSession::Open() {
    if (handle_)
        return;
    globalInit();
    CURL* c = curl_easy_init();
    if (!c)
        throw Error(kInternalError);
    // Set once for the session's life; libcurl keeps the connections alive
    // between transfers on this handle.
    curl_easy_setopt(c, CURLOPT_USERAGENT, UserAgent.c_str());
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(c, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http");
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(c, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_ANY));
    curl_easy_setopt(c, CURLOPT_PROXYAUTH, static_cast<long>(CURLAUTH_ANY));
    curl_easy_setopt(c, CURLOPT_COOKIEFILE, ""); // cookies kept in memory for the session
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, ConnectTimeoutSeconds);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, LowSpeedSeconds);
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &Transfer::onData);
    handle_ = c;
}

void TInternetSession::Close() {
    if (handle_)
        curl_easy_cleanup(curlOf(*this));
    handle_ = nullptr;
}

// ---------------------------------------------------------------- connection

void TInternetConnection::Connect() {
    if (!Session.Active())
        Session.Open();
    connected_ = true;
}

// ---------------------------------------------------------------- request

void TInternetHTTPRequest::setURL(const std::string& url) {
    if (Connection.Connected())
        Connection.Disconnect();
    open_ = false;
    url_ = url;
    // A URL that fails below leaves nothing that a request could be opened for.
    path_.clear();
    query_.clear();
    Connection.HostName.clear();
    Connection.Port = 0;
    Connection.UserName.clear();
    Connection.Password.clear();
    if (url == "http://")
        return;

    UrlParts parts(url);
    const std::string scheme = parts.get(CURLUPART_SCHEME);
    if (scheme != "http")
        throw Error(kUnrecognizedScheme);
    const std::string host = parts.get(CURLUPART_HOST);
    const std::string port = parts.get(CURLUPART_PORT);
    const std::string user = parts.get(CURLUPART_USER, true);
    const std::string password = parts.get(CURLUPART_PASSWORD, true);
    const std::string path = parts.get(CURLUPART_PATH);
    const std::string rawQuery = parts.get(CURLUPART_QUERY);
    const bool hasQuery = parts.has(CURLUPART_QUERY);
    for (const std::string& part :
         {scheme, host, user, password, parts.get(CURLUPART_PATH, true),
          hasQuery ? "?" + parts.get(CURLUPART_QUERY, true) : std::string()})
        checkLength(part);

    Connection.HostName = host;
    Connection.Port = port.empty() ? 0 : static_cast<unsigned>(std::stoul(port));
    Connection.UserName = user;
    Connection.Password = password;
    path_ = path.empty() ? "/" : path;
    query_ = hasQuery ? "?" + rawQuery : std::string();
}

void TInternetHTTPRequest::OpenRequest() {
    if (!Connection.Connected())
        Connection.Connect();
    if (Connection.HostName.empty())
        throw Error(kInvalidUrl);
    target_ = "http://" + Connection.HostName;
    if (Connection.Port != 0)
        target_ += ":" + std::to_string(Connection.Port);
    target_ += path_ + query_;
    open_ = true;
}

void TInternetHTTPRequest::ReadToStream(Stream& stream) {
    if (!open_ || !Connection.Session.Active())
        throw std::logic_error("ReadToStream without OpenRequest");
    open_ = false; // a request is read once
    stream.SetSizeZero();

    CURL* c = curlOf(Connection.Session);
    std::string accept = "Accept: ";
    for (size_t i = 0; i < AcceptTypes.size(); ++i)
        accept += (i ? ", " : "") + AcceptTypes[i];
    HeaderList headers;
    headers.add(accept);

    Transfer transfer(c, stream, OnProgress);
    curl_easy_setopt(c, CURLOPT_URL, target_.c_str());
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.list);
    curl_easy_setopt(c, CURLOPT_REFERER, Referrer.empty() ? nullptr : Referrer.c_str());
    curl_easy_setopt(c, CURLOPT_USERNAME,
                     Connection.UserName.empty() ? nullptr : Connection.UserName.c_str());
    curl_easy_setopt(c, CURLOPT_PASSWORD,
                     Connection.Password.empty() ? nullptr : Connection.Password.c_str());
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &transfer);
    const CURLcode rc = curl_easy_perform(c);
    // Nothing set above may outlive this call.
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, nullptr);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, nullptr);

    if (transfer.error) {
        transfer.keepWhatArrived();
        std::rethrow_exception(transfer.error);
    }
    if (rc != CURLE_OK) {
        transfer.keepWhatArrived();
        throw Error(internetErrorForCurl(rc));
    }
    transfer.finish();
}

} // namespace http
