#!/usr/bin/env bash
# make bench: the benchmarks. The download benchmark runs under Wine in the
# win64 tree's prefix, with a Wine server and display of its own.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
win64="$root/out/build/win64"

"$root/tests/wine/setup.sh" "$win64" >/dev/null
trap '"$root/tests/wine/teardown.sh" "$win64"' EXIT
VELDRUN_BUILD="$win64" VELDRUN_EXE="$win64/src/app/Veldrun.exe" python3 "$root/bench/download_bench.py"
