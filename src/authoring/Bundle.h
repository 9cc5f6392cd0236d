// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// A bundle of articles: a ZIP archive holding categories.txt,
// subcategories.txt, articles.txt and articles/*.html laid out as the
// catalogue folder of the sources, so that the database build, the update
// server's master and the import all read it with the catalogue's reader
// (dbbuild::readCatalogue).
//
// The lists are UTF-8. The pages are the stored Windows-1251 text turned
// into UTF-8 character for character (the unassigned byte 0x98 as U+0098),
// which the reader turns back into the same bytes; a page keeps whatever
// charset its own meta tag names, as the catalogue's pages do.

#include "components/zip/UnZip.h"
#include "data/DbBuild.h"

#include <string>
#include <vector>

namespace authoring {

// The archive's members for a catalogue (Windows-1251 names and texts).
// Fails (std::invalid_argument, Windows-1251) for a name that the lists
// cannot carry: empty, or holding a tab or a line break.
std::vector<unzip::Member> BundleMembers(const dbbuild::Catalogue& catalogue);

// Reads a bundle's members with the catalogue's reader; label names the
// bundle in messages. Throws std::runtime_error naming the fault.
dbbuild::Catalogue ReadBundleMembers(const std::vector<unzip::Member>& members,
                                     const std::string& label);

// Writes the catalogue as a bundle at path (UTF-8 file name) through a
// temporary file: an existing file is replaced only on success.
void WriteBundle(const std::string& path, const dbbuild::Catalogue& catalogue);

} // namespace authoring
