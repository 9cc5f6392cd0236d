#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# clang-tidy, as .clang-tidy has it, over every C++ source of the repository
# (and through them our headers), or over the sources named as arguments,
# with the compile commands of the build in build/ (TIPSARA_BUILD_DIR names
# another): prints each finding once and their count, and exits non-zero
# when there is one. scripts/setup.sh makes the build this needs.
set -euo pipefail
named=()
for f in "$@"; do named+=("$(realpath "$f")"); done
cd "$(dirname "${BASH_SOURCE[0]}")/../.."
root=$PWD
build=${TIPSARA_BUILD_DIR:-build}
db=$build/compile_commands.json
if [ ! -f "$db" ]; then
  echo "tidy: $db is missing; configure and build first (bash scripts/setup.sh)" >&2
  exit 2
fi
tidy=$(command -v clang-tidy || command -v clang-tidy-14 || true)
if [ -z "$tidy" ]; then
  echo "tidy: clang-tidy is not installed (apt-get install clang-tidy)" >&2
  exit 2
fi

if [ ${#named[@]} -gt 0 ]; then
  sources=("${named[@]}")
elif git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  mapfile -t sources < <(git ls-files 'src/*.cpp' 'tools/*.cpp' 'tests/*.cpp' 'bench/*.cpp')
else
  mapfile -t sources < <(find src tools tests bench -name '*.cpp' | sort)
fi
# Only what the build compiles has compile commands (bench/ only when the
# build has the benchmark turned on, as the set-up script has); a source of
# the program, its tools or its tests left out means a build that does not
# match the sources.
mapfile -t compiled < <(python3 - "$db" <<'EOF'
import json, os, sys
for entry in json.load(open(sys.argv[1])):
    print(os.path.realpath(os.path.join(entry["directory"], entry["file"])))
EOF
)
declare -A known=()
for f in "${compiled[@]}"; do known[$f]=1; done
files=()
missing=0
for f in "${sources[@]}"; do
  if [ -n "${known[$(realpath "$f")]:-}" ]; then
    files+=("$f")
  elif [[ $f == bench/* && ${#named[@]} -eq 0 ]]; then
    echo "tidy: $f is not in the build (benchmark off), not checked"
  else
    echo "tidy: $f is not in $db; build again (bash scripts/setup.sh)" >&2
    missing=1
  fi
done
[ "$missing" -eq 0 ] || exit 2

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
# The compile commands are GCC's: clang skips the warning options it does not
# know, and the build's -Werror must not turn clang's own warnings, which are
# not what is checked here, into errors.
printf '%s\n' "${files[@]}" | xargs -P "$(nproc)" -I{} sh -c '
  log="$2/$(printf %s "$3" | tr / _).log"
  "$1" --quiet -p "$4" --extra-arg=-Wno-unknown-warning-option --extra-arg=-Wno-error \
    "$3" >"$log" 2>&1 || echo "$3" >>"$2/failed"' sh "$tidy" "$out" {} "$build"

# A header included by several sources is reported by each: once is enough.
# A finding is a line "file:line:col: error|warning: ... [check...]"; the
# notes after it are shown with the first report of it.
findings=$(cat "$out"/*.log | python3 -c '
import re, sys
root = sys.argv[1] + "/"
head = re.compile(r"^(\S+?):(\d+):(\d+): (warning|error): .*\[[^\]]+\]$")
seen, shown, keep = set(), [], False
for line in sys.stdin:
    line = line.rstrip("\n")
    m = head.match(line)
    if m:
        keep = line not in seen
        seen.add(line)
    elif re.match(r"^\d+ (warnings?|errors?) generated\.$", line) or line.startswith("Suppressed "):
        keep = False
        continue
    if keep:
        shown.append(line[len(root):] if line.startswith(root) else line)
print("\n".join(shown))
print(len(seen), file=sys.stderr)
' "$root" 2>"$out/count")
count=$(cat "$out/count")
[ -n "$findings" ] && printf '%s\n' "$findings"
if [ -f "$out/failed" ] && [ "$count" -eq 0 ]; then
  echo "tidy: clang-tidy failed on:" >&2
  cat "$out/failed" >&2
  exit 1
fi
echo "${#files[@]} files checked, $count findings"
[ "$count" -eq 0 ]
