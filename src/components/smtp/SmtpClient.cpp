// SPDX-License-Identifier: GPL-3.0-or-later

#include "SmtpClient.h"

#include "AntiFreeze.h"
#include "components/text/Numbers.h"
#include "components/text/QtText.h"

#include <QDeadlineTimer>
#include <QHostAddress>
#include <QHostInfo>
#include <QSslSocket>
#include <QUrl>

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <future>
#include <thread>

namespace smtp {
namespace {

std::string upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return s;
}

// Envelope addresses and command arguments must stay on their line.
std::string withoutLineBreaks(std::string s) {
    s.erase(std::remove_if(s.begin(), s.end(), [](char c) { return c == '\r' || c == '\n'; }),
            s.end());
    return s;
}

std::string base64(const std::string& s) {
    return QByteArray::fromStdString(s).toBase64().toStdString();
}

std::string localHostName() {
    const QByteArray ace = QUrl::toAce(QHostInfo::localHostName());
    return ace.isEmpty() ? std::string("localhost") : ace.toStdString();
}

// The length of the next slice of a wait: the anti-freeze's, or less when
// the deadline comes sooner.
int sliceUntil(const QDeadlineTimer& deadline) {
    if (deadline.isForever())
        return AntiFreeze::idleTimeOut();
    return static_cast<int>(
        std::min<qint64>(AntiFreeze::idleTimeOut(), std::max<qint64>(deadline.remainingTime(), 0)));
}

std::vector<QHostAddress> resolve(const std::string& host, const QByteArray& ace,
                                  const QDeadlineTimer& deadline, const bool& aborted) {
    struct Result {
        int rc = 0;
        std::vector<QHostAddress> addresses;
    };
    // getaddrinfo blocks and cannot be interrupted; it runs on a thread of
    // its own so that the wait can be sliced like every other network wait,
    // and left behind when the time is up or the user stops the send.
    std::promise<Result> promise;
    std::future<Result> lookup = promise.get_future();
    std::thread([promise = std::move(promise), name = ace.toStdString()]() mutable {
        Result r;
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* list = nullptr;
        r.rc = ::getaddrinfo(name.c_str(), nullptr, &hints, &list);
        for (addrinfo* p = list; r.rc == 0 && p; p = p->ai_next) {
            QHostAddress a(p->ai_addr);
            if (!a.isNull() &&
                std::find(r.addresses.begin(), r.addresses.end(), a) == r.addresses.end())
                r.addresses.push_back(a);
        }
        if (list)
            ::freeaddrinfo(list);
        promise.set_value(std::move(r));
    }).detach();
    while (lookup.wait_for(std::chrono::milliseconds(sliceUntil(deadline))) !=
           std::future_status::ready) {
        if (deadline.hasExpired())
            throw Error("Cannot resolve the host name \"" + host + "\": timed out");
        AntiFreeze::Process();
        if (aborted)
            throw Aborted();
    }
    Result r = lookup.get();
    if (r.rc != 0 || r.addresses.empty())
        throw Error(
            "Cannot resolve the host name \"" + host + "\": " +
            (r.rc != 0 ? text::fromLocale(::gai_strerror(r.rc)) : std::string("no address")));
    // IPv4 first, as mail servers are most often reached there.
    std::stable_partition(r.addresses.begin(), r.addresses.end(), [](const QHostAddress& a) {
        return a.protocol() == QAbstractSocket::IPv4Protocol;
    });
    return r.addresses;
}

// A non-blocking connect whose wait is sliced for the anti-freeze. Returns
// the connected descriptor, or -1 with the reason in failure.
int connectTo(const QHostAddress& address, quint16 port, const QDeadlineTimer& deadline,
              const bool& aborted, std::string& failure) {
    const std::string where = address.toString().toStdString() + ":" + std::to_string(port);
    sockaddr_storage ss{};
    socklen_t length = 0;
    if (address.protocol() == QAbstractSocket::IPv4Protocol) {
        auto* sin = reinterpret_cast<sockaddr_in*>(&ss);
        sin->sin_family = AF_INET;
        sin->sin_port = htons(port);
        sin->sin_addr.s_addr = htonl(address.toIPv4Address());
        length = sizeof(sockaddr_in);
    } else {
        auto* sin6 = reinterpret_cast<sockaddr_in6*>(&ss);
        sin6->sin6_family = AF_INET6;
        sin6->sin6_port = htons(port);
        const Q_IPV6ADDR a = address.toIPv6Address();
        std::memcpy(&sin6->sin6_addr, &a, sizeof a);
        sin6->sin6_scope_id = address.scopeId().toUInt();
        length = sizeof(sockaddr_in6);
    }
    const int fd = ::socket(ss.ss_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        failure = "Cannot connect to " + where + ": " + text::systemError(errno);
        return -1;
    }
    if (::connect(fd, reinterpret_cast<sockaddr*>(&ss), length) == 0)
        return fd;
    if (errno != EINPROGRESS) {
        failure = "Cannot connect to " + where + ": " + text::systemError(errno);
        ::close(fd);
        return -1;
    }
    for (;;) {
        pollfd p{fd, POLLOUT, 0};
        const int n = ::poll(&p, 1, sliceUntil(deadline));
        if (n < 0 && errno == EINTR)
            continue;
        if (n > 0) {
            int err = 0;
            socklen_t len = sizeof err;
            ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len);
            if (err == 0)
                return fd;
            failure = "Cannot connect to " + where + ": " + text::systemError(err);
            ::close(fd);
            return -1;
        }
        if (n < 0 || deadline.hasExpired()) {
            failure = n < 0 ? "Cannot connect to " + where + ": " + text::systemError(errno)
                            : "Connection to " + where + " timed out";
            ::close(fd);
            return -1;
        }
        AntiFreeze::Process();
        if (aborted) {
            ::close(fd);
            throw Aborted();
        }
    }
}

// "60 seconds" for a limit in milliseconds.
std::string seconds(int ms) {
    const int s = std::max(1, (ms + 500) / 1000);
    return std::to_string(s) + (s == 1 ? " second" : " seconds");
}

} // namespace

HostPort splitHostPort(const std::string& text, quint16 defaultPort) {
    auto portOf = [](const std::string& s) -> int {
        const std::optional<int32_t> p = text::PlainInteger(s, false);
        return p && *p <= 65535 ? *p : 0;
    };
    if (!text.empty() && text[0] == '[') {
        const size_t close = text.find(']');
        if (close != std::string::npos) {
            const std::string rest = text.substr(close + 1);
            if (rest.empty())
                return {text.substr(1, close - 1), defaultPort};
            if (rest[0] == ':' && portOf(rest.substr(1)))
                return {text.substr(1, close - 1), static_cast<quint16>(portOf(rest.substr(1)))};
        }
        return {text, defaultPort};
    }
    const size_t colon = text.find(':');
    if (colon != std::string::npos && text.find(':', colon + 1) == std::string::npos) {
        const int p = portOf(text.substr(colon + 1));
        if (p)
            return {text.substr(0, colon), static_cast<quint16>(p)};
    }
    return {text, defaultPort};
}

Client::Client() = default;

Client::~Client() {
    if (socket_)
        socket_->abort();
}

bool Client::Connected() const {
    return socket_ && socket_->state() == QAbstractSocket::ConnectedState;
}

void Client::status(const std::string& text) {
    if (OnStatus)
        OnStatus(text);
}

void Client::Connect() {
    if (socket_) {
        socket_->abort();
        socket_.reset();
    }
    mechanisms_.clear();
    startTlsOffered_ = false;
    aborted_ = false;

    const QDeadlineTimer deadline(ConnectTimeout);
    const HostPort hp = splitHostPort(Host, Port);
    std::vector<QHostAddress> addresses;
    QHostAddress literal;
    if (literal.setAddress(QString::fromLatin1(hp.host.data(), qsizetype(hp.host.size())))) {
        addresses.push_back(literal);
        verifyName_ = literal.toString().toStdString();
    } else {
        status("Resolving hostname " + hp.host + ".");
        const QByteArray ace = QUrl::toAce(QString::fromStdString(text::cp1251ToUtf8(hp.host)));
        if (ace.isEmpty())
            throw Error("Cannot resolve the host name \"" + hp.host + "\": invalid host name");
        addresses = resolve(hp.host, ace, deadline, aborted_);
        verifyName_ = ace.toStdString();
    }

    std::string failure;
    int fd = -1;
    for (const auto& a : addresses) {
        status("Connecting to " + a.toString().toStdString() + ".");
        fd = connectTo(a, hp.port, deadline, aborted_, failure);
        if (fd >= 0 || deadline.hasExpired())
            break;
    }
    if (fd < 0)
        throw Error(failure);

    socket_ = std::make_unique<QSslSocket>();
    if (!socket_->setSocketDescriptor(fd)) {
        const std::string why = text::fromQ(socket_->errorString());
        socket_.reset();
        ::close(fd);
        throw Error("Cannot use the connection: " + why);
    }
    status("Connected.");
    try {
        expect(readReply(), {220}); // the greeting
    } catch (...) {
        Disconnect();
        throw;
    }
}

void Client::Send(const Message& m) {
    if (!Connected())
        throw Error("Not connected to the mail server");
    // An address goes into a header and a command line as it is: anything
    // but a plain one would corrupt both, so none is sent at all.
    if (!isPlainAddress(m.From.Address))
        throw Error("The sender's address is not a plain mail address (name@domain in "
                    "ASCII letters, digits and signs, without spaces)");
    for (const auto& r : m.Recipients)
        if (!isPlainAddress(r.Address))
            throw Error("The recipient's address is not a plain mail address");
    status(m.File ? "Encoding attachment" : "Encoding text");
    const std::string data = dotStuffed(compose(m, QDateTime::currentDateTime()));

    ehlo();
    // A server that can protect the password gets it only under TLS.
    if (startTlsOffered_)
        startTls();
    command("RSET", {});
    if (std::find(mechanisms_.begin(), mechanisms_.end(), "LOGIN") != mechanisms_.end()) {
        command("AUTH LOGIN", {334});
        command(base64(Username), {334});
        command(base64(Password), {235});
    }
    command("MAIL FROM:<" + withoutLineBreaks(m.From.Address) + ">", {250});
    for (const auto& r : m.Recipients)
        command("RCPT TO:<" + withoutLineBreaks(r.Address) + ">", {250, 251});
    command("DATA", {354});
    writeAll(data);
    expect(readReply(), {250}); // the reply to the final "."
}

void Client::Disconnect() {
    if (!socket_)
        return;
    status("Disconnecting.");
    if (socket_->state() == QAbstractSocket::ConnectedState) {
        // QUIT goes out without waiting for the reply: it only has to leave
        // before the connection closes.
        socket_->write("QUIT\r\n");
        socket_->flush();
        if (socket_->bytesToWrite() > 0)
            socket_->waitForBytesWritten(AntiFreeze::idleTimeOut());
        socket_->disconnectFromHost();
        if (socket_->state() != QAbstractSocket::UnconnectedState)
            socket_->waitForDisconnected(AntiFreeze::idleTimeOut());
    }
    socket_->abort();
    socket_.reset();
    status("Disconnected.");
}

void Client::ehlo() {
    const std::string me = localHostName();
    mechanisms_.clear();
    startTlsOffered_ = false;
    const Reply r = command("EHLO " + me, {});
    if (r.code != 250) {
        command("HELO " + me, {250});
        return;
    }
    for (const auto& line : r.lines) {
        const std::string text = upper(line.size() > 4 ? line.substr(4) : std::string());
        if (text == "STARTTLS")
            startTlsOffered_ = true;
        if (text.compare(0, 5, "AUTH ") != 0 && text.compare(0, 5, "AUTH=") != 0)
            continue;
        std::string name;
        for (size_t i = 5; i <= text.size(); ++i) {
            if (i == text.size() || text[i] == ' ' || text[i] == '=') {
                if (!name.empty() &&
                    std::find(mechanisms_.begin(), mechanisms_.end(), name) == mechanisms_.end())
                    mechanisms_.push_back(name);
                name.clear();
            } else {
                name += text[i];
            }
        }
    }
}

void Client::startTls() {
    if (!QSslSocket::supportsSsl())
        throw Error("The mail server offers an encrypted connection, but TLS is not available "
                    "on this computer; the mail was not sent");
    command("STARTTLS", {220});
    socket_->setPeerVerifyName(QString::fromStdString(verifyName_));
    socket_->startClientEncryption();
    const QDeadlineTimer deadline(IdleTimeout);
    while (!socket_->isEncrypted()) {
        if (socket_->state() != QAbstractSocket::ConnectedState ||
            (!socket_->waitForEncrypted(sliceUntil(deadline)) &&
             socket_->state() != QAbstractSocket::ConnectedState)) {
            std::string why;
            for (const auto& e : socket_->sslHandshakeErrors())
                why += (why.empty() ? "" : "; ") + text::fromQ(e.errorString());
            if (why.empty())
                why = text::fromQ(socket_->errorString());
            socket_->abort();
            throw Error("Cannot establish a secure connection with " + verifyName_ + ": " + why);
        }
        if (socket_->isEncrypted())
            break;
        if (deadline.hasExpired())
            idleTimedOut(true);
        AntiFreeze::Process();
        checkAborted();
    }
    ehlo();
}

void Client::sendLine(const std::string& line) {
    writeAll(line + "\r\n");
}

void Client::writeAll(const std::string& data) {
    if (!Connected())
        connectionLost();
    socket_->write(data.data(), qint64(data.size()));
    QDeadlineTimer idle(IdleTimeout);
    while (socket_->bytesToWrite() > 0) {
        const qint64 before = socket_->bytesToWrite();
        const bool written = socket_->waitForBytesWritten(sliceUntil(idle));
        if (socket_->state() != QAbstractSocket::ConnectedState)
            connectionLost();
        if (socket_->bytesToWrite() < before) {
            idle.setRemainingTime(IdleTimeout);
        } else if (!written) {
            if (idle.hasExpired())
                idleTimedOut(false);
            AntiFreeze::Process();
            checkAborted();
        }
    }
}

std::string Client::readLine() {
    QDeadlineTimer idle(IdleTimeout);
    while (!socket_->canReadLine()) {
        if (socket_->state() != QAbstractSocket::ConnectedState)
            connectionLost();
        const qint64 before = socket_->bytesAvailable();
        if (socket_->waitForReadyRead(sliceUntil(idle)) || socket_->bytesAvailable() > before) {
            idle.setRemainingTime(IdleTimeout);
        } else if (socket_->state() == QAbstractSocket::ConnectedState) {
            if (idle.hasExpired())
                idleTimedOut(true);
            AntiFreeze::Process();
            checkAborted();
        }
    }
    QByteArray line = socket_->readLine();
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    return line.toStdString();
}

Client::Reply Client::readReply() {
    Reply r;
    for (;;) {
        r.lines.push_back(readLine());
        const std::string& l = r.lines.back();
        if (l.size() < 4 || l[3] != '-')
            break;
    }
    const std::string& last = r.lines.back();
    r.code = last.size() >= 3 ? text::PlainInteger(last.substr(0, 3), false).value_or(0) : 0;
    return r;
}

Client::Reply Client::command(const std::string& line, const std::vector<int>& expected) {
    sendLine(line);
    return expect(readReply(), expected);
}

Client::Reply Client::expect(Reply r, const std::vector<int>& expected) {
    if (expected.empty() || std::find(expected.begin(), expected.end(), r.code) != expected.end())
        return r;
    // The server's own words: the reply's text without its code.
    std::string text;
    for (const auto& l : r.lines) {
        const std::string t = l.size() > 4 ? l.substr(4) : std::string();
        if (!t.empty())
            text += (text.empty() ? "" : "\n") + t;
    }
    if (text.empty())
        for (const auto& l : r.lines)
            text += (text.empty() ? "" : "\n") + l;
    throw Error(text.empty() ? "Unexpected reply from the mail server" : text);
}

void Client::checkAborted() const {
    if (aborted_)
        throw Aborted();
}

void Client::idleTimedOut(bool reading) {
    throw Error(
        (reading ? "The mail server did not answer for " : "The mail server took no data for ") +
        seconds(IdleTimeout));
}

void Client::connectionLost() {
    const bool closed = !socket_ || socket_->error() == QAbstractSocket::RemoteHostClosedError ||
                        socket_->error() == QAbstractSocket::UnknownSocketError;
    throw Error(closed ? std::string("The mail server closed the connection")
                       : "The connection to the mail server was lost: " +
                             text::fromQ(socket_->errorString()));
}

} // namespace smtp
