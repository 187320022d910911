#!/usr/bin/env bash
# make fuzz SECONDS=N: fuzzes every target of the sanitizer tree
# (out/build/host-san/tests/fuzz/*_fuzz) for N seconds each (default 60),
# one after the other, starting from its committed seed corpus. New inputs
# go to out/fuzz/<target>/corpus, crashes to out/fuzz/<target>/; add an input
# worth keeping to tests/fuzz/corpus/<target> by hand.
# FUZZ_TARGETS="a b" limits the run to those targets.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
secs="${1:-60}"
bin="$here/out/build/host-san/tests/fuzz"
targets="${FUZZ_TARGETS:-$(cd "$bin" && ls -- *_fuzz 2>/dev/null || true)}"
[ -n "$targets" ] || { echo "fuzz: no fuzz targets in $bin (the sanitizer tree is built with clang)" >&2; exit 1; }
status=0
for t in $targets; do
  work="$here/out/fuzz/$t"
  mkdir -p "$work/corpus"
  echo "== $t: ${secs}s"
  (cd "$work" && "$bin/$t" -max_total_time="$secs" -print_final_stats=1 -artifact_prefix="$work/" \
      corpus "$here/tests/fuzz/corpus/$t") 2>"$work/log" || status=1
  grep -E '^stat::number_of_executed_units|^Done|ERROR|fuzz check failed' "$work/log" || true
done
exit $status
