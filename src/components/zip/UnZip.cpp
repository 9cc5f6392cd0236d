// SPDX-License-Identifier: GPL-3.0-or-later

#include "UnZip.h"

#include "components/text/Cp1251.h"
#include "components/text/Strings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <memory>
#include <vector>

namespace unzip {
namespace {

constexpr size_t kPiece = size_t{64} * 1024;

using text::cp;
std::string quotedPath(const std::string& path) {
    return "\"" + text::utf8ToCp1251(path) + "\"";
}

[[noreturn]] void corrupt(const std::string& archive, const std::string& why) {
    throw Error(cp("Файл ") + quotedPath(archive) + cp(" не является ZIP-архивом или повреждён: ") +
                why);
}

[[noreturn]] void systemError(const char* what, const std::string& path, int code) {
    throw Error(cp(what) + " " + quotedPath(path) + ": " + text::systemError(code));
}

struct ArchiveCloser {
    void operator()(zip_t* za) const { zip_discard(za); }
};
using Archive = std::unique_ptr<zip_t, ArchiveCloser>;

struct MemberCloser {
    void operator()(zip_file_t* f) const { zip_fclose(f); }
};
using ZipFile = std::unique_ptr<zip_file_t, MemberCloser>;

// A file being written under a name of its own beside the target; removed
// unless it has been moved into place.
class PartFile {
public:
    explicit PartFile(const std::string& dir) {
        for (unsigned attempt = 0;; ++attempt) {
            path_ = dir + "/.unzip-" + std::to_string(::getpid()) + "-" + std::to_string(attempt) +
                    ".part";
            fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
            if (fd_ >= 0)
                return;
            if (errno != EEXIST || attempt > 1000)
                systemError("Не удаётся создать файл", path_, errno);
        }
    }
    ~PartFile() {
        if (fd_ >= 0)
            ::close(fd_);
        if (!path_.empty())
            ::unlink(path_.c_str());
    }
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;

    void write(const char* data, size_t size) {
        while (size > 0) {
            const ssize_t n = ::write(fd_, data, size);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                systemError("Ошибка записи в файл", path_, n < 0 ? errno : ENOSPC);
            data += n;
            size -= static_cast<size_t>(n);
        }
    }
    void keepAttributes(mode_t mode, time_t mtime) {
        if (mode != 0)
            ::fchmod(fd_, mode);
        if (mtime > 0) {
            const timespec times[2] = {{0, UTIME_OMIT}, {mtime, 0}};
            ::futimens(fd_, times);
        }
    }
    void moveTo(const std::string& target) {
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0)
            systemError("Ошибка записи в файл", path_, errno);
        if (::rename(path_.c_str(), target.c_str()) != 0)
            systemError("Не удаётся записать файл", target, errno);
        path_.clear();
    }

private:
    std::string path_;
    int fd_ = -1;
};

// The permission bits an archive made on a Unix system gives a member; 0
// when it gives none. The owner can always read and remove what is unpacked.
mode_t memberMode(zip_t* za, zip_uint64_t index) {
    zip_uint8_t opsys = 0;
    zip_uint32_t attributes = 0;
    if (zip_file_get_external_attributes(za, index, 0, &opsys, &attributes) != 0 ||
        opsys != ZIP_OPSYS_UNIX)
        return 0;
    const mode_t mode = static_cast<mode_t>(attributes >> 16) & 0777;
    return mode == 0 ? 0 : mode | S_IRUSR | S_IWUSR;
}

// Opens an archive for reading, checked for consistency.
Archive openArchive(const std::string& path) {
    // An empty file opens as an empty archive in libzip; it is not one.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        systemError("Не удаётся открыть файл", path, errno);
    if (st.st_size == 0)
        corrupt(path, cp("файл пуст"));

    int code = 0;
    Archive za(zip_open(path.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &code));
    if (!za) {
        zip_error_t error;
        zip_error_init_with_code(&error, code);
        const std::string why = text::fromLocale(zip_error_strerror(&error));
        zip_error_fini(&error);
        if (code == ZIP_ER_OPEN || code == ZIP_ER_NOENT || code == ZIP_ER_READ)
            throw Error(cp("Не удаётся открыть файл ") + quotedPath(path) + ": " + why);
        corrupt(path, why);
    }
    return za;
}

// True when the member is a symbolic link as a Unix archiver records it.
bool isLink(zip_t* za, zip_uint64_t index) {
    zip_uint8_t opsys = 0;
    zip_uint32_t attributes = 0;
    return zip_file_get_external_attributes(za, index, 0, &opsys, &attributes) == 0 &&
           opsys == ZIP_OPSYS_UNIX && ((attributes >> 16) & S_IFMT) == S_IFLNK;
}

} // namespace

std::string MemberFileName(std::string_view entryName) {
    const size_t slash = entryName.find_last_of("/\\");
    std::string_view name =
        slash == std::string_view::npos ? entryName : entryName.substr(slash + 1);
    if (name == "." || name == "..")
        return {};
    return std::string(name);
}

int TUnZip::UnZip() {
    std::string dir = DestDir;
    while (dir.size() > 1 && (dir.back() == '/' || dir.back() == '\\'))
        dir.pop_back();

    Archive za = openArchive(ZipName);
    const zip_int64_t count = zip_get_num_entries(za.get(), 0);
    if (count < 0)
        corrupt(ZipName, text::fromLocale(zip_strerror(za.get())));

    // The sizes the archive declares are checked before anything is written;
    // the bytes actually unpacked are counted as well, since a damaged or
    // forged archive may declare less than it holds.
    const std::string tooBig =
        cp("Архив ") + quotedPath(ZipName) + cp(" распаковывается более чем в ") +
        std::to_string(MaxUnpackedSize >> 20) + cp(" МБ; распаковка остановлена");
    uint64_t declared = 0;
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t ms;
        if (zip_stat_index(za.get(), static_cast<zip_uint64_t>(i), 0, &ms) != 0)
            corrupt(ZipName, text::fromLocale(zip_strerror(za.get())));
        if ((ms.valid & ZIP_STAT_SIZE) &&
            (ms.size > MaxUnpackedSize || (declared += ms.size) > MaxUnpackedSize))
            throw Error(tooBig);
    }

    int written = 0;
    uint64_t unpacked = 0;
    std::vector<char> piece(kPiece);
    const std::string folder = dir + "/";
    for (zip_int64_t i = 0; i < count; ++i) {
        const auto index = static_cast<zip_uint64_t>(i);
        const char* entryName = zip_get_name(za.get(), index, 0);
        if (!entryName)
            corrupt(ZipName, text::fromLocale(zip_strerror(za.get())));
        const std::string name = MemberFileName(entryName);
        if (name.empty())
            continue; // a folder, or no name a file can have
        const std::string target = folder + name;

        struct stat existing {};
        if (::lstat(target.c_str(), &existing) == 0 && OnFileExists && !OnFileExists(target))
            continue;

        zip_stat_t ms;
        zip_stat_index(za.get(), index, 0, &ms);
        ZipFile member(zip_fopen_index(za.get(), index, 0));
        if (!member)
            corrupt(ZipName, text::fromLocale(zip_strerror(za.get())));
        PartFile part(dir);
        for (;;) {
            const zip_int64_t n = zip_fread(member.get(), piece.data(), piece.size());
            if (n < 0)
                corrupt(ZipName,
                        text::fromLocale(zip_error_strerror(zip_file_get_error(member.get()))));
            if (n == 0)
                break;
            unpacked += static_cast<uint64_t>(n);
            if (unpacked > MaxUnpackedSize)
                throw Error(tooBig);
            part.write(piece.data(), static_cast<size_t>(n));
            if (OnIdle)
                OnIdle();
        }
        part.keepAttributes(memberMode(za.get(), index),
                            (ms.valid & ZIP_STAT_MTIME) ? ms.mtime : time_t(0));
        part.moveTo(target);
        ++written;
        if (OnIdle)
            OnIdle();
    }
    return written;
}

} // namespace unzip

namespace unzip {

bool SafeMemberName(std::string_view name) {
    if (name.empty() || name.front() == '/' || name.find('\\') != std::string_view::npos ||
        name.find('\0') != std::string_view::npos || (name.size() > 1 && name[1] == ':'))
        return false;
    for (size_t from = 0; from <= name.size();) {
        size_t to = name.find('/', from);
        if (to == std::string_view::npos)
            to = name.size();
        const std::string_view part = name.substr(from, to - from);
        // An empty part is allowed only as a folder's trailing slash.
        if (part == "." || part == ".." || (part.empty() && to != name.size()))
            return false;
        from = to + 1;
    }
    return true;
}

std::vector<Member> ReadArchive(const std::string& path, const ReadLimits& limits) {
    Archive za = openArchive(path);
    const zip_int64_t count = zip_get_num_entries(za.get(), 0);
    if (count < 0)
        corrupt(path, text::fromLocale(zip_strerror(za.get())));
    const auto refuse = [&](const std::string& name, const char* why) {
        throw Error(cp("Архив ") + quotedPath(path) + cp(": элемент \"") + name + "\" " + cp(why));
    };
    const std::string tooBig = cp("Архив ") + quotedPath(path) +
                               cp(" распаковывается более чем в ") +
                               std::to_string(limits.total >> 20) + cp(" МБ");
    std::vector<Member> out;
    uint64_t declared = 0;
    uint64_t unpacked = 0;
    std::vector<char> piece(kPiece);
    for (zip_int64_t i = 0; i < count; ++i) {
        const auto index = static_cast<zip_uint64_t>(i);
        const char* entryName = zip_get_name(za.get(), index, 0);
        if (!entryName)
            corrupt(path, text::fromLocale(zip_strerror(za.get())));
        const std::string name = entryName;
        if (!SafeMemberName(name))
            refuse(text::utf8ToCp1251(name), "назван путём за пределы архива");
        if (isLink(za.get(), index))
            refuse(text::utf8ToCp1251(name), "- символическая ссылка");
        if (name.back() == '/')
            continue; // a folder
        zip_stat_t ms;
        if (zip_stat_index(za.get(), index, 0, &ms) != 0)
            corrupt(path, text::fromLocale(zip_strerror(za.get())));
        // The declared sizes first; the bytes actually unpacked are counted
        // as well, since a forged archive may declare less than it holds.
        if ((ms.valid & ZIP_STAT_SIZE) && ms.size > limits.member)
            refuse(text::utf8ToCp1251(name), "больше допустимого размера");
        if ((ms.valid & ZIP_STAT_SIZE) && (declared += ms.size) > limits.total)
            throw Error(tooBig);
        Member m{name, {}};
        ZipFile member(zip_fopen_index(za.get(), index, 0));
        if (!member)
            corrupt(path, text::fromLocale(zip_strerror(za.get())));
        for (;;) {
            const zip_int64_t n = zip_fread(member.get(), piece.data(), piece.size());
            if (n < 0)
                corrupt(path,
                        text::fromLocale(zip_error_strerror(zip_file_get_error(member.get()))));
            if (n == 0)
                break;
            unpacked += static_cast<uint64_t>(n);
            if (m.data.size() + static_cast<size_t>(n) > limits.member)
                refuse(text::utf8ToCp1251(name), "больше допустимого размера");
            if (unpacked > limits.total)
                throw Error(tooBig);
            m.data.append(piece.data(), static_cast<size_t>(n));
        }
        out.push_back(std::move(m));
    }
    return out;
}

void WriteArchive(const std::string& path, const std::vector<Member>& members) {
    // Beside the target under a name of its own, then renamed over it: the
    // target is replaced only by a complete archive.
    std::string part;
    for (unsigned attempt = 0;; ++attempt) {
        part = path + ".part-" + std::to_string(::getpid()) + "-" + std::to_string(attempt);
        struct stat st {};
        if (::lstat(part.c_str(), &st) != 0)
            break;
        if (attempt > 1000)
            systemError("Не удаётся создать файл", part, EEXIST);
    }
    int code = 0;
    zip_t* za = zip_open(part.c_str(), ZIP_CREATE | ZIP_EXCL, &code);
    if (!za) {
        zip_error_t error;
        zip_error_init_with_code(&error, code);
        const std::string why = text::fromLocale(zip_error_strerror(&error));
        zip_error_fini(&error);
        throw Error(cp("Не удаётся создать файл ") + quotedPath(part) + ": " + why);
    }
    for (const Member& m : members) {
        zip_source_t* src = zip_source_buffer(za, m.data.data(), m.data.size(), 0);
        if (!src || zip_file_add(za, m.name.c_str(), src, ZIP_FL_ENC_UTF_8) < 0) {
            if (src)
                zip_source_free(src);
            const std::string why = text::fromLocale(zip_strerror(za));
            zip_discard(za);
            throw Error(cp("Не удаётся записать файл ") + quotedPath(path) + ": " + why);
        }
    }
    if (zip_close(za) != 0) {
        const std::string why = text::fromLocale(zip_strerror(za));
        zip_discard(za);
        ::unlink(part.c_str());
        throw Error(cp("Не удаётся записать файл ") + quotedPath(path) + ": " + why);
    }
    if (::rename(part.c_str(), path.c_str()) != 0) {
        const int error = errno;
        ::unlink(part.c_str());
        systemError("Не удаётся записать файл", path, error);
    }
}

} // namespace unzip
