// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// tipsara-server under the attacks of the open internet (slow clients, an
// idle flood, header floods), each beside normal clients doing whole update
// runs: their latencies and the server's peak memory, beside the quiet
// server's.

namespace bench {

void measureHostile();

} // namespace bench
