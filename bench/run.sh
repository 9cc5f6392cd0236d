#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds everything (installing missing Debian packages, curl and unzip for the
# baselines among them) and runs the benchmark on a virtual 24-bit display, in
# the Russian locale of the program's users. Arguments go to tipsara-bench.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
TIPSARA_EXTRA_PACKAGES="curl unzip" bash scripts/setup.sh
# The benchmark is a build option that setup.sh turns on; named here too, so
# that a run never depends on the set-up's defaults.
cmake -S . -B build -DTIPSARA_BUILD_BENCH=ON >/dev/null
cmake --build build -j"$(nproc)" --target tipsara-bench tipsara-bench-bare-window
export LANG=ru_RU.UTF-8
exec xvfb-run -a -s "-screen 0 1280x1024x24" build/bin/tipsara-bench "$@"
