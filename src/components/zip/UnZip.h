// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// Reading and writing ZIP archives. Unpacking one flat into one folder: every member lands directly
// in the destination under the last part of its name, whatever folders the
// archive gives it. Nothing is ever written outside the destination: names
// are cut to their last part, and a member is written to a fresh file that
// then takes the place of the old one, so a link standing there is replaced,
// not followed.
//
// Everything runs on the calling thread. Failures are thrown as unzip::Error
// with Windows-1251 messages.

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace unzip {

class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// More than this in one archive is refused: a package of a few kilobytes
// must not fill the disk.
inline constexpr uint64_t kMaxUnpackedSize = uint64_t(256) << 20;

// The file name a member is unpacked under: the part of its name after the
// last '/' or '\'. Empty when that part cannot name a file ("", "." or
// ".."); such members are skipped.
std::string MemberFileName(std::string_view entryName);

// True when an archive member's name stays inside the archive: relative,
// '/'-separated, without "." or ".." parts, backslashes or drive letters.
bool SafeMemberName(std::string_view name);

struct Member {
    std::string name; // as the archive gives it
    std::string data;
};
struct ReadLimits {
    uint64_t member = uint64_t(8) << 20; // one member unpacked
    uint64_t total = kMaxUnpackedSize;   // all of them
};

// Reads every file member of an archive into memory, writing nothing to
// disk. The whole archive is refused (Error naming the member) when a
// member's name leaves the archive, a member is a symbolic link, or the
// limits are passed, by the sizes declared or by the bytes unpacked.
std::vector<Member> ReadArchive(const std::string& path, const ReadLimits& limits = {});

// Writes members (names in UTF-8) into a new archive at path through a
// temporary file beside it: an existing file is replaced only when the whole
// archive has been written. Fails with Error.
void WriteArchive(const std::string& path, const std::vector<Member>& members);

class TUnZip {
public:
    std::string ZipName; // the archive
    std::string DestDir; // a trailing separator is ignored
    uint64_t MaxUnpackedSize = kMaxUnpackedSize;

    // Asked with the target path before an existing file is replaced: true
    // replaces it, false skips the member. Unset: existing files are replaced.
    std::function<bool(const std::string& path)> OnFileExists;
    // Called now and then while unpacking, so that the caller can keep its
    // windows alive.
    std::function<void()> OnIdle;

    // Unpacks every member and returns how many files it wrote. A member
    // that fails leaves nothing of itself behind; the ones before it stay.
    int UnZip();
};

} // namespace unzip
