// SPDX-License-Identifier: GPL-3.0-or-later

#include "data/DbLocation.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <string>

namespace fs = std::filesystem;

namespace data {
namespace {

const char* const kFileName = "Tipsara.gdb";

// Closes a descriptor at the end of its scope.
struct Fd {
    int fd;
    explicit Fd(int f) : fd(f) {}
    ~Fd() {
        if (fd >= 0)
            ::close(fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
};

bool writeAll(int fd, const char* p, size_t n) {
    while (n > 0) {
        const ssize_t w = ::write(fd, p, n);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return false;
        p += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

bool copyContents(const fs::path& from, int to) {
    const Fd in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.fd < 0)
        return false;
    std::array<char, 65536> buffer{};
    for (;;) {
        const ssize_t r = ::read(in.fd, buffer.data(), buffer.size());
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0)
            return false;
        if (r == 0)
            return true;
        if (!writeAll(to, buffer.data(), static_cast<size_t>(r)))
            return false;
    }
}

// Copies from into a new file of a name nobody can foresee beside to (made
// exclusively, so a link planted in the folder is never written through),
// then links it in under its name: a copy cut short is never seen under that
// name, and a copy made by another first start in between is kept, since
// link() does not replace.
void copyIfMissing(const fs::path& from, const fs::path& to) {
    std::error_code ec;
    fs::create_directories(to.parent_path(), ec);
    if (ec)
        return;
    std::string part = to.string() + ".part-XXXXXX";
    const int fd = ::mkostemp(part.data(), O_CLOEXEC);
    if (fd < 0)
        return;
    bool copied = false;
    {
        const Fd out(fd);
        // The engine writes the user's copy, though the shipped one is
        // read-only; mkostemp made it the owner's alone.
        copied = copyContents(from, out.fd) && ::fsync(out.fd) == 0;
    }
    if (copied)
        ::link(part.c_str(), to.c_str());
    ::unlink(part.c_str());
}

} // namespace

std::vector<fs::path> databaseCandidates(const fs::path& exeDir, const fs::path& sharedDir,
                                         const fs::path& dataHome) {
    std::vector<fs::path> files{exeDir / "DB" / kFileName};
    if (!dataHome.empty()) {
        files.push_back(dataHome / "tipsara" / "DB" / kFileName);
        files.push_back(sharedDir / kFileName);
    }
    return files;
}

fs::path databaseLocation(const fs::path& exeDir, const fs::path& sharedDir,
                          const fs::path& dataHome) {
    const std::vector<fs::path> files = databaseCandidates(exeDir, sharedDir, dataHome);
    const fs::path& beside = files[0];
    std::error_code ec;
    if (fs::exists(beside, ec) || files.size() < 3)
        return beside;
    const fs::path& own = files[1];
    const fs::path& shipped = files[2];
    // The user's copy holds the user's articles: it serves even when the
    // shipped one is gone (a broken upgrade, a removed package).
    if (fs::exists(own, ec))
        return own;
    if (!fs::is_regular_file(shipped, ec))
        return beside;
    copyIfMissing(shipped, own);
    return own;
}

} // namespace data
