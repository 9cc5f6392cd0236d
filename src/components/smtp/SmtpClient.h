// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// A blocking SMTP client for the GUI thread: Connect, Send, Disconnect.
// Every wait on the network runs in slices; between slices the anti-freeze
// lets the application process its events, and an Abort made meanwhile ends
// the wait. Failures are thrown as Error, with the server's reply text when
// the server refused a step.

#include "MailMessage.h"

#include <QtGlobal>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QSslSocket;

namespace smtp {

// The exchange was stopped by Abort; the user's own doing, not a failure to
// report.
struct Aborted : Error {
    Aborted() : Error("Sending was cancelled") {}
};

struct HostPort {
    std::string host;
    quint16 port;
};

// "host", "host:port" or "[IPv6]:port"; without a port (and for a bare IPv6
// address) the port is defaultPort.
HostPort splitHostPort(const std::string& text, quint16 defaultPort = 25);

class Client {
public:
    Client();
    ~Client();
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    std::string Host; // a host name or IP address, optionally with ":port"
    quint16 Port = 25;
    std::string Username;
    std::string Password;
    // A dead server must not hold the send for ever: resolution and
    // connection together get ConnectTimeout milliseconds, and once
    // connected, IdleTimeout milliseconds in which the server sends no byte
    // (or takes none of ours) end the exchange. A negative value: no limit.
    int ConnectTimeout = 30000;
    int IdleTimeout = 60000;
    // Progress texts: "Resolving hostname …", "Connecting to …", "Connected.",
    // "Encoding text" or "Encoding attachment", "Disconnecting.", "Disconnected.".
    std::function<void(const std::string&)> OnStatus;

    // Resolves the host, connects and reads the greeting. On a refused
    // greeting it disconnects before it throws.
    void Connect();
    // The exchange from EHLO to the end of DATA. Leaves the connection open
    // whether it succeeds or throws; Disconnect follows in either case.
    void Send(const Message& m);
    // Sends QUIT without waiting for the reply and closes. Does nothing
    // when there is no connection.
    void Disconnect();
    bool Connected() const;
    // Stops the exchange in progress: called while a wait processes events,
    // it makes that wait throw Aborted. Connect clears it.
    void Abort() { aborted_ = true; }

private:
    struct Reply {
        int code = 0;
        std::vector<std::string> lines;
    };

    void status(const std::string& text);
    void ehlo();
    void startTls();
    void sendLine(const std::string& line);
    void writeAll(const std::string& data);
    std::string readLine();
    Reply readReply();
    // Sends a command line and checks its reply; an empty expected list
    // accepts any reply.
    Reply command(const std::string& line, const std::vector<int>& expected);
    Reply expect(Reply r, const std::vector<int>& expected);
    [[noreturn]] void connectionLost();
    // Throws Aborted when Abort was called since Connect.
    void checkAborted() const;
    [[noreturn]] void idleTimedOut(bool reading);

    std::unique_ptr<QSslSocket> socket_;
    std::string verifyName_;
    std::vector<std::string> mechanisms_; // named by the last EHLO reply, upper-case
    bool startTlsOffered_ = false;
    bool aborted_ = false;
};

} // namespace smtp
