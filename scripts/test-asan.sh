#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The whole test suite in a build with AddressSanitizer and
# UndefinedBehaviorSanitizer (the asan preset, build-asan/): the same packages
# as test.sh, then every test; exits 0 only when every test passed with no
# finding. Extra arguments go to ctest (for instance -R Fb or -E SomeTest).
#
# The sanitizers' options (and scripts/lsan.supp) are set where the build and
# the tests run the programs (TIPSARA_SANITIZE_ENV in CMakeLists.txt), so that
# `ctest --preset asan` runs the tests as this script does.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
bash scripts/setup.sh --packages-only

cmake --preset asan
cmake --build --preset asan -j"$(nproc)"
ctest --preset asan -j"$(nproc)" "$@"
