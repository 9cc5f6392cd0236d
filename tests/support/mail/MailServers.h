// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// SMTP servers for the mail tests, all on 127.0.0.1 and a free port:
// SinkServer runs Debian's aiosmtpd (tests/support/mail/smtp_sink.py) in a child
// process; ScriptedServer is a thread that answers each command as a test
// tells it to, for the paths a real server will not take on request.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace mailtest {

inline QString sourceFile(const char* relative) {
    return QStringLiteral(TIPSARA_SOURCE_DIR "/") + QString::fromLatin1(relative);
}

class SinkServer {
public:
    // extra: e.g. {"--tls", cert, key}.
    explicit SinkServer(const QStringList& extra = {}) {
        // Debian's interpreter, where python3-aiosmtpd lives, before any other.
        QString python = QStringLiteral("/usr/bin/python3");
        if (!QFileInfo::exists(python))
            python = QStandardPaths::findExecutable(QStringLiteral("python3"));
        proc_.start(python,
                    QStringList{sourceFile("tests/support/mail/smtp_sink.py"), out_.path()} +
                        extra);
        while (!proc_.canReadLine() && proc_.waitForReadyRead(30000)) {
        }
        const QByteArray line = proc_.readLine().trimmed();
        if (!line.startsWith("PORT "))
            throw std::runtime_error("smtp_sink.py did not start: " +
                                     proc_.readAllStandardError().toStdString());
        port = static_cast<quint16>(line.mid(5).toUInt());
    }
    ~SinkServer() {
        proc_.kill();
        proc_.waitForFinished();
    }
    int count() const { return int(QDir(out_.path()).entryList({"*.json"}, QDir::Files).size()); }
    // The n-th message received, as smtp_sink.py records it.
    QJsonObject message(int n = 1) const {
        QFile f(out_.filePath(QString::number(n) + ".json"));
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return QJsonDocument::fromJson(f.readAll()).object();
    }

    // Where the n-th message is kept as it arrived.
    QString eml(int n = 1) const { return out_.filePath(QString::number(n) + ".eml"); }

    quint16 port = 0;

private:
    QTemporaryDir out_;
    QProcess proc_;
};

// Command lines come in as they were sent; each is answered by the reply
// stored under its verb (the first word, upper-case), with defaults for a
// server that offers AUTH LOGIN and accepts everything.
class ScriptedServer {
public:
    ScriptedServer() {
        listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (::bind(listen_, reinterpret_cast<sockaddr*>(&a), len) != 0 || ::listen(listen_, 1) != 0)
            throw std::runtime_error("cannot listen on 127.0.0.1");
        ::getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &len);
        port = ntohs(a.sin_port);
    }
    ~ScriptedServer() {
        stop_ = true;
        finish();
        ::close(listen_);
    }

    // Starts serving one connection; set the replies first.
    void start() {
        thread_ = std::thread([this] { serve(); });
    }
    // Waits until the client has gone.
    void finish() {
        if (thread_.joinable())
            thread_.join();
    }

    quint16 port = 0;
    std::map<std::string, std::string> replies = {
        {"GREETING", "220 scripted ESMTP"},
        {"EHLO", "250-scripted\r\n250 AUTH LOGIN"},
        {"HELO", "250 scripted"},
        {"RSET", "250 OK"},
        {"AUTH", "334 VXNlcm5hbWU6"},
        {"AUTH-USER", "334 UGFzc3dvcmQ6"},
        {"AUTH-PASS", "235 Authenticated"},
        {"MAIL", "250 OK"},
        {"RCPT", "250 OK"},
        {"DATA", "354 Go ahead"},
        {".", "250 Queued"},
        {"QUIT", "221 Bye"},
    };
    // A reply that sends nothing: the server stays silent and goes on reading.
    static constexpr const char* kSilent = "(silent)";
    bool dropInData = false;              // close at the first line of DATA
    std::atomic<bool> stallInData{false}; // stop reading at DATA until cleared
    std::function<bool()> holdGreeting;   // the greeting waits until it returns true
    int closeAfterMs = 0;                 // hang up this long after the greeting (0: never)
    std::vector<std::string> commands;    // every line outside DATA, in order
    std::string data;                     // the DATA lines, as received
    std::atomic<bool> accepted{false};    // whether a client connected at all

private:
    void send(int fd, const std::string& reply) {
        if (reply == kSilent)
            return;
        const std::string r = reply + "\r\n";
        (void)!::send(fd, r.data(), r.size(), MSG_NOSIGNAL);
    }
    void serve() {
        int fd = -1;
        for (int waited = 0; fd < 0 && !stop_ && waited < 600; ++waited) {
            pollfd p{listen_, POLLIN, 0};
            if (::poll(&p, 1, 100) > 0)
                fd = ::accept(listen_, nullptr, nullptr);
        }
        if (fd < 0)
            return;
        accepted = true;
        while (holdGreeting && !holdGreeting() && !stop_)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        send(fd, replies["GREETING"]);
        const auto hangUp =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(closeAfterMs);
        enum { Commands, User, Password, Data } state = Commands;
        std::string buffer;
        char chunk[4096];
        for (;;) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 100) == 0) {
                if (stop_ || (closeAfterMs > 0 && std::chrono::steady_clock::now() >= hangUp))
                    break;
                continue;
            }
            const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
            if (n <= 0)
                break;
            buffer.append(chunk, size_t(n));
            size_t end;
            bool closed = false;
            while (!closed && (end = buffer.find("\r\n")) != std::string::npos) {
                const std::string line = buffer.substr(0, end);
                buffer.erase(0, end + 2);
                if (state == Data) {
                    while (stallInData && !stop_)
                        std::this_thread::sleep_for(std::chrono::milliseconds(10));
                    if (dropInData) {
                        closed = true;
                    } else if (line == ".") {
                        state = Commands;
                        send(fd, replies["."]);
                    } else {
                        data += line + "\r\n";
                    }
                    continue;
                }
                commands.push_back(line);
                if (state == User || state == Password) {
                    const std::string& r = replies[state == User ? "AUTH-USER" : "AUTH-PASS"];
                    send(fd, r);
                    state = state == User && r.rfind("334", 0) == 0 ? Password : Commands;
                    continue;
                }
                std::string verb = line.substr(0, line.find_first_of(" :"));
                for (char& c : verb)
                    c = char(toupper(static_cast<unsigned char>(c)));
                const std::string& r = replies[verb];
                send(fd, r.empty() ? "500 Unknown command" : r);
                if (verb == "AUTH" && r.rfind("334", 0) == 0)
                    state = User;
                else if (verb == "DATA" && r.rfind("354", 0) == 0)
                    state = Data;
                else if (verb == "QUIT")
                    closed = true;
            }
            if (closed)
                break;
        }
        ::close(fd);
    }

    int listen_ = -1;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

} // namespace mailtest
