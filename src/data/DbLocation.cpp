// SPDX-License-Identifier: GPL-3.0-or-later

#include "data/DbLocation.h"

#include <unistd.h>

#include <string>

namespace fs = std::filesystem;

namespace data {
namespace {

const char* const kFileName = "Tipsara.gdb";

// Copies from to a temporary file beside to, then links it in under its
// name: a copy cut short is never seen under that name, and a copy made by
// another first start in between is kept, since link() does not replace.
void copyIfMissing(const fs::path& from, const fs::path& to) {
    std::error_code ec;
    fs::create_directories(to.parent_path(), ec);
    if (ec)
        return;
    const fs::path part = to.string() + ".part-" + std::to_string(::getpid());
    if (!fs::copy_file(from, part, fs::copy_options::overwrite_existing, ec)) {
        fs::remove(part, ec);
        return;
    }
    // The shipped copy is read-only; the engine writes the user's.
    fs::permissions(part, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add,
                    ec);
    if (!ec)
        ::link(part.c_str(), to.c_str());
    fs::remove(part, ec);
}

} // namespace

fs::path databaseLocation(const fs::path& exeDir, const fs::path& sharedDir,
                          const fs::path& dataHome) {
    fs::path beside = exeDir / "DB" / kFileName;
    const fs::path shipped = sharedDir / kFileName;
    std::error_code ec;
    if (fs::exists(beside, ec) || !fs::is_regular_file(shipped, ec) || dataHome.empty())
        return beside;
    fs::path own = dataHome / "tipsara" / "DB" / kFileName;
    if (!fs::exists(own, ec))
        copyIfMissing(shipped, own);
    return own;
}

} // namespace data
