// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// The update run's figures against tipsara-server on 127.0.0.1: the
// synchronisation to the list of new articles beside curl fetching the same
// URLs, its parts, and (withImport) the import of the new articles beside
// curl and unzip. measureSlowUpdate: the synchronisation against a server
// that holds every reply back delayMs, beside the sequential protocol's
// floor, with the longest pauses of the windows' painting and status text.

namespace bench {

void measureUpdate(bool withImport);
void measureSlowUpdate(int delayMs);

} // namespace bench
