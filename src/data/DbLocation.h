// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// Where the program finds its article database. A database in DB/ beside the
// executable (the build tree, an install into a private prefix) is used as
// it is. An install for all users ships a read-only copy under
// <prefix>/share/tipsara instead; each user then works on a copy of it in
// the user's own data folder, made at the first start and never replaced,
// since it holds the user's own articles.

#include <filesystem>
#include <vector>

namespace data {

// The files looked for, in the order they are tried: the one beside the
// program, then (with a data folder) the user's copy and the shipped copy it
// is made from. The message for a database that is missing names them.
std::vector<std::filesystem::path> databaseCandidates(const std::filesystem::path& exeDir,
                                                      const std::filesystem::path& sharedDir,
                                                      const std::filesystem::path& dataHome);

// The database to attach. exeDir is the executable's folder, sharedDir the
// folder of the shipped copy (Tipsara.gdb in it), dataHome the user's data
// folder ($XDG_DATA_HOME, ~/.local/share by default). The user's copy is
// dataHome/tipsara/DB/Tipsara.gdb; it is used whenever it exists, and made
// here from the shipped copy when missing. A copy that cannot be made leaves
// the path as it is: attaching it then fails with the program's one message
// for a database out of reach.
std::filesystem::path databaseLocation(const std::filesystem::path& exeDir,
                                       const std::filesystem::path& sharedDir,
                                       const std::filesystem::path& dataHome);

} // namespace data
