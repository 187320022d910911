#!/usr/bin/env bash
# make bench: runs every benchmark program of the host build (bench/*_bench).
# A new benchmark only needs an add_executable(name_bench ...) in
# bench/CMakeLists.txt.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
dir="$here/out/build/host/bench"
found=0
for b in "$dir"/*_bench; do
  [ -x "$b" ] || continue
  found=1
  echo "== $(basename "$b")"
  "$b"
done
[ "$found" = 1 ] || { echo "bench: no benchmark programs in $dir" >&2; exit 1; }
