#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# scripts/setup.sh's package step, as root and as a user with sudo, against
# stand-ins for id, dpkg-query, sudo, apt-get and locale: each apt-get run
# must see DEBIAN_FRONTEND=noninteractive, or a package that asks a question
# would stop the set-up. Nothing is installed.
set -euo pipefail
source_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fake=$work/bin
mkdir -p "$fake"
log=$work/apt.log

stub() {
  printf '#!/bin/sh\n%s\n' "$2" > "$fake/$1"
  chmod +x "$fake/$1"
}
stub id 'echo "$FAKE_UID"'
stub dpkg-query 'exit 1' # every package missing
stub locale 'echo ru_RU.utf8'
# sudo resets the environment; PATH stays so that the stand-ins are found.
stub sudo 'echo "sudo $*" >> "'"$log"'"; exec env -i PATH="$PATH" "$@"'
stub apt-get 'echo "apt-get $1 DEBIAN_FRONTEND=${DEBIAN_FRONTEND:-}" >> "'"$log"'"'

failures=0
for uid in 0 1000; do
  : > "$log"
  # Unset first: a caller's own setting would hide the fault.
  env -u DEBIAN_FRONTEND FAKE_UID=$uid PATH="$fake:$PATH" bash "$source_dir/scripts/setup.sh" --packages-only > /dev/null
  for step in update install; do
    if ! grep -qx "apt-get $step DEBIAN_FRONTEND=noninteractive" "$log"; then
      echo "uid $uid: apt-get $step without DEBIAN_FRONTEND=noninteractive"
      failures=$((failures + 1))
    fi
  done
  sudo_runs=$(grep -c '^sudo ' "$log" || true)
  expected=$([ "$uid" -eq 0 ] && echo 0 || echo 2)
  if [ "$sudo_runs" -ne "$expected" ]; then
    echo "uid $uid: $sudo_runs runs through sudo, expected $expected"
    failures=$((failures + 1))
  fi
  [ "$failures" -eq 0 ] || cat "$log"
done
exit $((failures > 0))
