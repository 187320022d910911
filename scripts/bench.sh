#!/usr/bin/env bash
# make bench: runs every benchmark program of the host build (bench/*_bench),
# vdrpack check on whole-machine registry exports (bench/export_bench.py),
# then the download benchmarks under Wine in the win64 tree's prefix (with a
# Wine server and display of its own): a clean download, and one whose
# connections are all cut (bench/resume_bench.py). A new host benchmark only needs an
# add_executable(name_bench ...) in bench/CMakeLists.txt.
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
echo "== export_bench"
python3 "$here/bench/export_bench.py"

win64="$here/out/build/win64"
echo "== download_bench (Wine)"
"$here/tests/wine/setup.sh" "$win64" >/dev/null
trap '"$here/tests/wine/teardown.sh" "$win64"' EXIT
VELDRUN_BUILD="$win64" VELDRUN_EXE="$win64/src/app/Veldrun.exe" python3 "$here/bench/download_bench.py"
echo "== resume_bench (Wine, nginx behind a relay that cuts every connection)"
VELDRUN_BUILD="$win64" VELDRUN_EXE="$win64/src/app/Veldrun.exe" python3 "$here/bench/resume_bench.py"
