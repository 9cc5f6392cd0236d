// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// How the index's folder reaches the disk and stays its own: flushing, the
// mark of commits not yet flushed, a fresh folder swapped in for the old,
// and files written without following links.
//
// Commits after a build's are not flushed to the disk one by one (the flush
// costs several times what an added article does). While some may not be,
// a file in the index folder holds the system's boot ID: a program that
// ends, even abruptly, leaves its writes with the system, which writes them
// out; only a system that stopped before it did can have lost them, and its
// next boot has another ID, so the index is then not trusted but built anew.
// Closing the index flushes it and removes the file.

#include <filesystem>
#include <string>

namespace fulltext::detail {

// This boot of the system; empty when it cannot be told (then every commit
// is flushed and no mark is left).
std::string bootId();

// Flushes a file or folder (not through a link); a failure throws Error.
void syncPath(const std::filesystem::path& p, bool directory);
// Flushes every file of the folder and the folder itself.
void syncFolder(const std::string& folder);

// Whether the folder and every entry in it are the index's own files: a
// symbolic link among them would have the index read, lock or write a file
// elsewhere.
bool ownFolder(const std::string& folder);

// Writes `text` as the file `name` of the folder through a new file of its
// own that then takes the name: whatever was planted at the name (a link)
// is replaced, never followed. Throws Error.
void writeFileIn(const std::filesystem::path& folder, const char* name, const std::string& text);

enum class Mark {
    None,     // every commit is on the disk
    ThisBoot, // some may not be yet, but the system has them
    Lost,     // some may have been lost with an earlier boot
};
Mark readMark(const std::string& folder, const std::string& boot);
// Before the first unflushed commit of a session; flushed itself.
void setMark(const std::string& folder, const std::string& boot);
// Flushes the folder, then removes the mark.
void clearMark(const std::string& folder);

// Replaces `folder` by `fresh` in one step where the file system can swap
// two names, else by two renames (a crash between them leaves no index,
// which is then built again).
void putInPlace(const std::string& fresh, const std::string& folder);

} // namespace fulltext::detail
