#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Makes the README's screenshots of the browser in docs/: light at 100 %
# (screenshot.png), light at 200 % (screenshot-2x.png) and with a dark
# desktop's palette (screenshot-dark.png), the search window after a
# search in the texts (search-results.png), the import's report
# (import-report.png) and the edit window of an own article
# (edit-article.png). Runs the window under Xvfb when it
# is installed (xvfb-run, Debian package xvfb), else on Qt's offscreen
# platform; the pictures come from the program's own drawing (QWidget::grab).
# Needs a configured build/ (cmake -S . -B build).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
cmake --build build --target tipsara-shots -j2 >/dev/null
shots=build/tools/tipsara-shots
export FIREBIRD_LOCK=${FIREBIRD_LOCK:-$PWD/build/firebird-lock}
mkdir -p "$FIREBIRD_LOCK"

run() {
  if command -v xvfb-run >/dev/null; then
    xvfb-run -a -s "-screen 0 2400x1800x24" "$@"
  else
    QT_QPA_PLATFORM=offscreen "$@"
  fi
}

run "$shots" docs/screenshot.png
# A little smaller, to keep the file small: it has four times the pixels.
QT_SCALE_FACTOR=2 run "$shots" docs/screenshot-2x.png --size 900x660
run "$shots" docs/screenshot-dark.png --dark
run "$shots" docs/search-results.png --search "строка символ" --size 1000x520
run "$shots" --import-report docs/import-report.png
# The window that changes one of the user's own articles.
run "$shots" docs/edit-article.png --edit
ls -l docs/screenshot.png docs/screenshot-2x.png docs/screenshot-dark.png docs/search-results.png \
  docs/import-report.png docs/edit-article.png
