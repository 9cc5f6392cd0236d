#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Several tipsara-server replicas behind nginx on 127.0.0.1, as a maker with
# more users than one server would run them on several machines: N replicas
# (default 2) on ports 18081.., each serving its own copy of the bench's
# master, nginx on 127.0.0.1:18080 with tools/server/nginx-replicas.conf,
# then a curl check and the bench's crowd (200 update runs at once) through
# nginx. Installs the Debian package nginx when it is missing. Everything it
# starts is stopped when it ends.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
n="${1:-2}"
front=18080

if ! command -v nginx >/dev/null; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get install -y nginx
fi
cmake --build build -j2 --target tipsara-server tipsara-bench >/dev/null

work="$PWD/build/replicas"
bench=(build/bin/tipsara-bench --work build/bench-work --articles 1000 --sizes 1000 --reps 3)
rm -rf "$work"
mkdir -p "$work/tmp"
chmod 777 "$work/tmp" # nginx's workers may run as another user

# The bench makes its master when it has none.
export QT_QPA_PLATFORM=offscreen
"${bench[@]}" --only data >/dev/null
master=$(ls build/bench-work/master-*.gdb | head -n 1)

pids=()
stop() {
  nginx -p "$work" -c nginx.conf -e "$work/error.log" -s stop 2>/dev/null || true
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap stop EXIT

# Each replica reads its own copy: the engine lets one process at a time open
# a database file. A new master reaches a replica when it is renamed over its
# copy; it is read again within a second.
: >"$work/replicas.conf"
for i in $(seq 1 "$n"); do
  port=$((front + i))
  cp "$master" "$work/master-$i.gdb"
  build/bin/tipsara-server --listen "127.0.0.1:$port" --no-log --per-address 0 "$work/master-$i.gdb" \
    >"$work/replica-$i.out" 2>"$work/replica-$i.log" &
  pids+=($!)
  echo "server 127.0.0.1:$port;" >>"$work/replicas.conf"
done
cp tools/server/nginx-replicas.conf "$work/nginx.conf"
for i in $(seq 1 "$n"); do
  until grep -q listening "$work/replica-$i.out" 2>/dev/null; do sleep 0.1; done
done
nginx -p "$work" -c nginx.conf -e "$work/error.log"
until curl -s -o /dev/null "http://127.0.0.1:$front/"; do sleep 0.1; done

echo "$n replicas behind nginx on 127.0.0.1:$front"
echo "categories: $(curl -s "http://127.0.0.1:$front/get/tipsara/get_max_cat.php")"
echo "an unknown path: $(curl -s -o /dev/null -w 'status %{http_code}, %{size_download} bytes' \
  "http://127.0.0.1:$front/get/tipsara/nothing")"
"${bench[@]}" --only crowd --crowd-port "$front" | grep -E '^ *crowd'
