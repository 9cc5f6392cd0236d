#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian packages the build needs (only the missing ones), then
# configures and builds into build/. Run by run.sh and test.sh; with
# --packages-only it stops after the packages (test-asan.sh builds elsewhere).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

packages=(
  cmake make g++ pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev qt6-translations-l10n
  libfbclient2 firebird3.0-server-core firebird-dev
  libcurl4-openssl-dev libzip-dev libmicrohttpd-dev libxapian-dev libgmime-3.0-dev libmd4c-dev libmd4c-html0-dev
  python3 python3-aiosmtpd
  libgtest-dev clang-format clang-tidy ccache
  xvfb xauth fonts-dejavu-core fonts-noto-mono fonts-liberation2
  librsvg2-bin desktop-file-utils appstream
  locales
)
# Callers may ask for more (the benchmark needs curl and unzip).
read -r -a extra <<< "${TIPSARA_EXTRA_PACKAGES:-}"
packages+=("${extra[@]}")
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  # Through env: sudo resets the environment, and apt must not stop to ask.
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -q
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
fi

# The error-text tests run under a Russian UTF-8 locale, where the C library
# and Qt answer in Russian; generate it when it is missing. The Russian
# messages of the C library come with the locales package (libc-l10n).
# (locale -a is read whole first: grep -q stopping early would fail the pipe.)
if ! grep -qiE '^ru_RU\.utf-?8$' <<< "$(locale -a 2>/dev/null)"; then
  echo "Generating the locale ru_RU.UTF-8"
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  if grep -qE '^[#[:space:]]*ru_RU\.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null; then
    $sudo sed -i -E 's/^[#[:space:]]*(ru_RU\.UTF-8 UTF-8)/\1/' /etc/locale.gen
  else
    echo "ru_RU.UTF-8 UTF-8" | $sudo tee -a /etc/locale.gen >/dev/null
  fi
  $sudo locale-gen
fi

[ "${1:-}" = --packages-only ] && exit 0

# ccache only speeds up a build that was made before; the result is the same.
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTIPSARA_BUILD_BENCH=ON \
  -DTIPSARA_WARNINGS_AS_ERRORS=ON "${launcher[@]}"
cmake --build build -j"$(nproc)"
