// SPDX-License-Identifier: GPL-3.0-or-later

#include "MailMessage.h"

#include "components/text/Cp1251.h"

#include <QByteArray>
#include <QFile>
#include <QLocale>

#include <cstdio>
#include <string_view>

namespace smtp {
namespace {

const char* const kCrlf = "\r\n";
// Longest line a header is folded to, and the longest a text line may be
// before it has to travel encoded.
constexpr size_t kFoldAt = 76;
constexpr size_t kMaxLine = 998;

std::string hex(unsigned char c) {
    char buf[4];
    std::snprintf(buf, sizeof buf, "=%02X", c);
    return buf;
}

// Header values are single lines: a line break in a name or an address
// would start a header (or a command) of its own.
std::string upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return s;
}

std::string oneLine(std::string s) {
    for (char& c : s)
        if (c == '\r' || c == '\n')
            c = ' ';
    return s;
}

bool printableAscii(const std::string& s) {
    for (unsigned char c : s)
        if (c < 0x20 || c > 0x7E)
            return false;
    return true;
}

// The encoded words of text, each one a separate string.
std::vector<std::string> encodedWordList(const std::string& text) {
    const std::string prefix = std::string("=?") + kCharset + "?Q?";
    const std::string suffix = "?=";
    const size_t room = 75 - prefix.size() - suffix.size();
    std::vector<std::string> words;
    std::string payload;
    auto closeWord = [&] {
        words.push_back(prefix + payload);
        words.back() += suffix;
        payload.clear();
    };
    for (unsigned char c : text) {
        std::string piece;
        // The characters that RFC 2047 allows unencoded in a phrase, which
        // is the strictest of the places an encoded word can stand.
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
            c == '!' || c == '*' || c == '+' || c == '-' || c == '/')
            piece = std::string(1, static_cast<char>(c));
        else if (c == ' ')
            piece = "_";
        else
            piece = hex(c);
        if (payload.size() + piece.size() > room)
            closeWord();
        payload += piece;
    }
    if (!payload.empty())
        closeWord();
    return words;
}

std::string joinFolded(const std::vector<std::string>& words) {
    std::string out;
    for (const auto& w : words) {
        if (!out.empty())
            out += "\r\n ";
        out += w;
    }
    return out;
}

bool needsEncoding(const std::string& word) {
    for (unsigned char c : word)
        if (c < 0x21 || c > 0x7E)
            return true;
    // Plain text that looks like an encoded word would be decoded by readers.
    return word.size() >= 4 && word.compare(0, 2, "=?") == 0 &&
           word.compare(word.size() - 2, 2, "?=") == 0;
}

std::vector<std::string> splitOn(const std::string& s, char sep) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t pos = s.find(sep, start);
        parts.push_back(
            s.substr(start, pos == std::string::npos ? std::string::npos : pos - start));
        if (pos == std::string::npos)
            return parts;
        start = pos + 1;
    }
}

std::string quotedString(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + "\"";
}

// A parameter of a MIME header: quoted when it is printable ASCII, in the
// RFC 2231 form (charset and percent-escapes) otherwise.
std::string parameter(const std::string& name, const std::string& value) {
    const std::string v = oneLine(value);
    if (printableAscii(v))
        return name + "=" + quotedString(v);
    std::string out = name + "*=" + kCharset + "''";
    for (unsigned char c : v) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
            std::string("!#$&+-.^_`|~").find(static_cast<char>(c)) != std::string::npos) {
            out += static_cast<char>(c);
        } else {
            std::string h = hex(c);
            h[0] = '%';
            out += h;
        }
    }
    return out;
}

std::string joinLines(const std::vector<std::string>& lines) {
    std::string out;
    for (const auto& l : lines)
        out += l + kCrlf;
    return out;
}

// Whether a line of text would be read as the delimiter of the parts: any
// line that begins with "--" and the boundary ends a part (RFC 2046), and
// some readers compare without regard to case.
bool holdsDelimiter(const std::vector<std::string>& lines, const std::string& boundary) {
    const std::string delimiter = upper("--" + boundary);
    for (const auto& line : lines)
        if (line.size() >= delimiter.size() && upper(line.substr(0, delimiter.size())) == delimiter)
            return true;
    return false;
}

bool isAtext(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
           std::string_view("!#$%&'*+-/=?^_`{|}~").find(static_cast<char>(c)) !=
               std::string_view::npos;
}

QByteArray readAttachment(const Attachment& a) {
    QFile f(a.Path);
    if (!f.open(QIODevice::ReadOnly))
        throw Error(text::utf8ToCp1251("Cannot open the file " + a.Path.toStdString() + ": " +
                                       f.errorString().toStdString()));
    QByteArray data = f.readAll();
    if (f.error() != QFileDevice::NoError)
        throw Error(text::utf8ToCp1251("Cannot read the file " + a.Path.toStdString() + ": " +
                                       f.errorString().toStdString()));
    return data;
}

} // namespace

bool isPlainAddress(const std::string& address) {
    const size_t at = address.find('@');
    if (at == 0 || at == std::string::npos || address.find('@', at + 1) != std::string::npos)
        return false;
    for (size_t i = 0; i < at; ++i)
        if (!isAtext(static_cast<unsigned char>(address[i])) && address[i] != '.')
            return false;
    const std::string domain = address.substr(at + 1);
    if (domain.size() > 2 && domain.front() == '[' && domain.back() == ']') {
        // An address literal, [192.0.2.1] or [IPv6:...].
        for (size_t i = 1; i + 1 < domain.size(); ++i) {
            const auto c = static_cast<unsigned char>(domain[i]);
            if (c < 0x21 || c > 0x7E || c == '[' || c == ']' || c == '\\')
                return false;
        }
        return true;
    }
    size_t label = 0; // length of the current label
    for (const char c : domain) {
        if (c == '.') {
            if (label == 0)
                return false;
            label = 0;
        } else if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                   c == '-' || c == '_') {
            ++label;
        } else {
            return false;
        }
    }
    return label > 0;
}

std::string encodedWords(const std::string& text) {
    return joinFolded(encodedWordList(text));
}

std::string formatAddress(const Address& a) {
    const std::string name = oneLine(a.Name);
    const std::string address = "<" + oneLine(a.Address) + ">";
    if (name.empty())
        return oneLine(a.Address);
    if (printableAscii(name))
        return quotedString(name) + " " + address;
    return encodedWords(name) + " " + address;
}

std::string encodeUnstructured(const std::string& value) {
    const std::vector<std::string> words = splitOn(oneLine(value), ' ');
    const size_t n = words.size();
    std::vector<bool> encode(n);
    for (size_t i = 0; i < n; ++i)
        encode[i] = needsEncoding(words[i]);
    // Readers drop the white space between two encoded words, so the spaces
    // between encoded words have to travel inside them: an empty word (a
    // second space) between two encoded ones joins them.
    for (size_t i = 0; i < n; ++i) {
        if (!words[i].empty())
            continue;
        size_t l = i, r = i;
        while (l > 0 && words[l - 1].empty())
            --l;
        while (r + 1 < n && words[r + 1].empty())
            ++r;
        encode[i] = l > 0 && r + 1 < n && encode[l - 1] && encode[r + 1];
    }

    // Tokens: plain words, and encoded words for each run of words to encode.
    std::vector<std::string> tokens;
    for (size_t i = 0; i < n;) {
        if (!encode[i]) {
            tokens.push_back(words[i++]);
            continue;
        }
        std::string run = words[i++];
        while (i < n && encode[i])
            run += " " + words[i++];
        for (auto& w : encodedWordList(run))
            tokens.push_back(std::move(w));
    }

    // Folded before a token that would run past the line's length; "Subject: "
    // stands before the value on the first line.
    std::string out;
    size_t lineLength = 9;
    for (size_t i = 0; i < tokens.size(); ++i) {
        const std::string& t = tokens[i];
        if (i > 0) {
            if (!t.empty() && lineLength > 1 && lineLength + 1 + t.size() > kFoldAt) {
                out += "\r\n ";
                lineLength = 1;
            } else {
                out += ' ';
                ++lineLength;
            }
        }
        out += t;
        lineLength += t.size();
    }
    return out;
}

std::string quotedPrintable(const std::vector<std::string>& lines) {
    std::string out;
    for (const auto& line : lines) {
        size_t length = 0;
        for (size_t k = 0; k < line.size(); ++k) {
            const auto c = static_cast<unsigned char>(line[k]);
            const bool last = k + 1 == line.size();
            std::string piece;
            // White space at the end of a line would be lost in transit.
            if ((c >= 33 && c <= 126 && c != '=') || ((c == ' ' || c == '\t') && !last))
                piece = std::string(1, static_cast<char>(c));
            else
                piece = hex(c);
            if (length + piece.size() > kFoldAt - 1) {
                out += "=\r\n";
                length = 0;
            }
            out += piece;
            length += piece.size();
        }
        out += kCrlf;
    }
    return out;
}

bool isPlainText(const std::vector<std::string>& lines) {
    for (const auto& line : lines) {
        if (line.size() > kMaxLine)
            return false;
        for (unsigned char c : line)
            if ((c < 0x20 && c != '\t') || c > 0x7E)
                return false;
    }
    return true;
}

std::string internetDate(const QDateTime& t) {
    const int offset = t.offsetFromUtc() / 60;
    const int a = offset < 0 ? -offset : offset;
    char zone[16];
    std::snprintf(zone, sizeof zone, "%c%02d%02d", offset < 0 ? '-' : '+', a / 60, a % 60);
    return QLocale::c().toString(t, QStringLiteral("ddd, d MMM yyyy hh:mm:ss")).toStdString() +
           " " + zone;
}

std::string compose(const Message& m, const QDateTime& date) {
    const std::string boundary = kBoundary;
    const std::string textType = std::string("text/plain; charset=\"") + kCharset + "\"";
    const bool plain = isPlainText(m.Body) && !(m.File && holdsDelimiter(m.Body, boundary));
    // Read first, so that a file that cannot be read fails before anything
    // of the message is on its way.
    QByteArray file;
    if (m.File)
        file = readAttachment(*m.File);

    std::string out;
    auto header = [&out](const char* name, const std::string& value) {
        out += std::string(name) + ": " + value + kCrlf;
    };
    header("From", formatAddress(m.From));
    header("Subject", encodeUnstructured(m.Subject));
    std::string to;
    for (const auto& r : m.Recipients)
        to += (to.empty() ? "" : ", ") + formatAddress(r);
    header("To", to);
    if (!m.File) {
        header("Content-Type", textType);
        if (!plain)
            header("Content-Transfer-Encoding", "quoted-printable");
    } else {
        header("Content-Type", "multipart/mixed; boundary=\"" + boundary + "\"");
    }
    header("MIME-Version", "1.0");
    header("Date", internetDate(date));
    header("X-Priority", "3");
    out += kCrlf;

    const std::string text = plain ? joinLines(m.Body) : quotedPrintable(m.Body);
    if (!m.File)
        return out + text;

    const std::string indent(8, ' ');
    out += "This is a multi-part message in MIME format\r\n\r\n";
    out += "--" + boundary + kCrlf;
    out += "Content-Type: " + textType + kCrlf;
    out += std::string("Content-Transfer-Encoding: ") + (plain ? "7bit" : "quoted-printable") +
           kCrlf + kCrlf;
    out += text;
    out += kCrlf + ("--" + boundary) + kCrlf;
    out += "Content-Type: application/octet-stream;\r\n";
    out += indent + parameter("name", m.File->FileName) + kCrlf;
    out += "Content-Transfer-Encoding: base64\r\n";
    out += "Content-Disposition: attachment;\r\n";
    out += indent + parameter("filename", m.File->FileName) + kCrlf;
    out += kCrlf;
    for (qsizetype i = 0; i < file.size(); i += 57)
        out += file.mid(i, 57).toBase64().toStdString() + kCrlf;
    out += kCrlf + ("--" + boundary + "--") + kCrlf;
    return out;
}

std::string dotStuffed(const std::string& message) {
    std::string out;
    out.reserve(message.size() + message.size() / 64 + 8);
    bool lineStart = true;
    for (char c : message) {
        if (lineStart && c == '.')
            out += '.';
        out += c;
        lineStart = c == '\n';
    }
    if (!out.empty() && !lineStart)
        out += kCrlf;
    return out + ".\r\n";
}

} // namespace smtp
