#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Every C++ source of the repository as .clang-format has it: exits non-zero,
# naming the places, when one is not.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/../.."
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  mapfile -t files < <(git ls-files '*.cpp' '*.h')
else
  mapfile -t files < <(find src tests tools bench -name '*.cpp' -o -name '*.h')
fi
clang-format --dry-run -Werror "${files[@]}"
echo "${#files[@]} files formatted"
