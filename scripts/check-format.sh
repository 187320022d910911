#!/usr/bin/env bash
# Lists the C++ files under src, tools, tests, bench and demo that differ
# from what clang-format (.clang-format) makes of them; exit status 1 when
# there are any. With --fix it formats them in place instead (make format).
set -euo pipefail
cd "$(dirname "$0")/.."
fix=0
[ "${1:-}" = "--fix" ] && fix=1
status=0
while IFS= read -r -d '' f; do
  [ -f "$f" ] || continue
  if [ $fix = 1 ]; then
    clang-format -i "$f"
  elif ! clang-format --dry-run -Werror "$f" >/dev/null 2>&1; then
    echo "$f"
    status=1
  fi
done < <(git ls-files -z -co --exclude-standard -- 'src/*.cpp' 'src/*.h' 'tools/*.cpp' 'tools/*.h' \
           'tests/*.cpp' 'tests/*.h' 'bench/*.cpp' 'bench/*.h' 'demo/*.cpp' 'demo/*.h')
exit $status
