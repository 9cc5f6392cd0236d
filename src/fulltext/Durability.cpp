// SPDX-License-Identifier: GPL-3.0-or-later

#include "Durability.h"

#include "Index.h"
#include "components/text/Cp1251.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

namespace fs = std::filesystem;

namespace fulltext::detail {

namespace {

const char* const kUnsyncedFile = "unsynced";

} // namespace

std::string bootId() {
    std::ifstream in("/proc/sys/kernel/random/boot_id");
    std::string id;
    std::getline(in, id);
    return id;
}

void syncPath(const fs::path& p, bool directory) {
    const int fd =
        ::open(p.c_str(), (directory ? O_RDONLY | O_DIRECTORY : O_RDONLY) | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return;
    const int rc = ::fsync(fd);
    ::close(fd);
    if (rc != 0)
        throw Error(text::utf8ToCp1251("Полнотекстовый индекс не удалось записать на диск: ") +
                    p.string());
}

void syncFolder(const std::string& folder) {
    for (const auto& e : fs::directory_iterator(folder))
        if (fs::is_regular_file(e.symlink_status()))
            syncPath(e.path(), false);
    syncPath(folder, true);
}

bool ownFolder(const std::string& folder) {
    std::error_code ec;
    if (!fs::is_directory(fs::symlink_status(folder, ec)))
        return false;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        if (!fs::is_regular_file(it->symlink_status(ec)))
            return false;
    return !ec;
}

void writeFileIn(const fs::path& folder, const char* name, const std::string& text) {
    const fs::path temp = folder / (std::string(name) + ".tmp");
    const fs::path target = folder / name;
    ::unlink(temp.c_str());
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    bool ok = fd >= 0;
    if (ok) {
        ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) &&
             ::fsync(fd) == 0;
        ok = ::close(fd) == 0 && ok;
    }
    if (!ok || ::rename(temp.c_str(), target.c_str()) != 0) {
        ::unlink(temp.c_str());
        throw Error(text::utf8ToCp1251("Полнотекстовый индекс не удалось записать: ") +
                    target.string());
    }
}

Mark readMark(const std::string& folder, const std::string& boot) {
    std::ifstream in(fs::path(folder) / kUnsyncedFile);
    if (!in)
        return Mark::None;
    std::string left;
    if (!std::getline(in, left) || left.empty() || left != boot)
        return Mark::Lost;
    return Mark::ThisBoot;
}

void setMark(const std::string& folder, const std::string& boot) {
    writeFileIn(folder, kUnsyncedFile, boot + '\n');
    syncPath(folder, true);
}

void clearMark(const std::string& folder) {
    syncFolder(folder);
    std::error_code ec;
    fs::remove(fs::path(folder) / kUnsyncedFile, ec);
    syncPath(folder, true);
}

void putInPlace(const std::string& fresh, const std::string& folder) {
    std::error_code ec;
    if (fs::exists(fs::symlink_status(folder, ec))) {
        if (::renameat2(AT_FDCWD, fresh.c_str(), AT_FDCWD, folder.c_str(), RENAME_EXCHANGE) == 0) {
            fs::remove_all(fresh, ec);
            return;
        }
        const std::string old = folder + ".old";
        fs::remove_all(old, ec);
        fs::rename(folder, old);
        fs::rename(fresh, folder);
        fs::remove_all(old, ec);
        return;
    }
    fs::rename(fresh, folder);
}

} // namespace fulltext::detail
