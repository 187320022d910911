#!/usr/bin/env bash
# bounded.sh BUILD SECONDS COMMAND [ARGS...]: runs a test command for at most
# SECONDS. A command still running then is ended with everything it started
# in the build tree's Wine prefix (its wineserver is shut down), so that a
# hung test leaves nothing behind; the status is then 124.
set -u
build="$1"; limit="$2"; shift 2
timeout -k 10 "$limit" "$@"
rc=$?
if [ $rc -eq 124 ] || [ $rc -eq 137 ]; then
  echo "bounded: '$*' did not end within $limit s; shutting down the Wine server of $build" >&2
  if [ -f "$build/wine.env" ]; then
    # shellcheck disable=SC1091
    . "$build/wine.env"
    "$WINESERVER" -k >/dev/null 2>&1 || true
  fi
  exit 124
fi
exit $rc
