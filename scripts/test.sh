#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Sets up, builds and runs the whole test suite, then the window tests again
# under tests/support/fonts/fonts.conf; exits 0 only when every test passed.
# Window tests run on Qt's offscreen platform: no display is needed.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
bash scripts/setup.sh
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build --output-on-failure -j"$(nproc)"
# The windows (label "fonts") once more under a second font set-up, one a
# desktop may well have, so that a test leaning on this machine's fonts fails
# here and not on a user's machine.
FONTCONFIG_FILE="$PWD/tests/support/fonts/fonts.conf" \
  ctest --test-dir build --output-on-failure -j"$(nproc)" -L fonts
