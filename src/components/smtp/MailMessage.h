// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// A mail message and its MIME form. Every text here is Windows-1251 bytes;
// the composed message is 7-bit, with CR LF line ends.

#include <QDateTime>
#include <QString>

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace smtp {

// Failures of the mail layer: resolution, connection, the server's refusals,
// an attachment that cannot be read.
struct Error : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct Address {
    std::string Name;    // display name, may be empty
    std::string Address; // the mailbox, without angle brackets
};

struct Attachment {
    QString Path;         // read while the message is sent
    std::string FileName; // the name the message gives it
};

struct Message {
    Address From;
    std::vector<Address> Recipients;
    std::string Subject;
    std::vector<std::string> Body; // lines, without line ends
    std::optional<Attachment> File;
};

// The character-set label of every text part and encoded word.
inline constexpr const char* kCharset = "windows-1251";
// The boundary of a message with a file; "=_" cannot occur in quoted-printable
// text, so the boundary never clashes with a text part in that form. Plain
// text with a line that begins with the delimiter travels in that form too.
inline constexpr const char* kBoundary = "=_NextPart_2rfkindysadvnqw3nerasdf";

// Whether address is a plain mailbox, local@domain in printable ASCII without
// spaces, quotes or brackets, fit to go into a header and an SMTP command.
bool isPlainAddress(const std::string& address);

// RFC 2047 encoded words (Q encoding) for text, each at most 75 characters,
// joined by folding white space, which readers drop between encoded words.
std::string encodedWords(const std::string& text);

// An address as a header gives it: "name" <addr>, encoded words <addr>, or
// the bare address when there is no name.
std::string formatAddress(const Address& a);

// An unstructured header value (the subject): the words that are not
// printable ASCII become encoded words, long values are folded.
std::string encodeUnstructured(const std::string& value);

// Quoted-printable of CR LF separated text, lines of at most 76 characters.
std::string quotedPrintable(const std::vector<std::string>& lines);

// Whether text lines can go as they are (printable ASCII, tabs, short lines).
bool isPlainText(const std::vector<std::string>& lines);

// "Tue, 5 Mar 2024 14:03:07 +0300".
std::string internetDate(const QDateTime& t);

// The whole message: header lines, an empty line and the body, each line
// ending in CR LF. Reads the attached file; throws Error when it cannot.
std::string compose(const Message& m, const QDateTime& date);

// The message as it travels after DATA: a line that begins with "." gets
// another one in front, and the terminating "." line is appended.
std::string dotStuffed(const std::string& message);

} // namespace smtp
