#!/usr/bin/env bash
# Ends what setup.sh started for a build tree: its wineserver and its Xvfb.
build="$(cd "$1" && pwd)"
if [ -f "$build/wine.env" ]; then
  # shellcheck disable=SC1091
  . "$build/wine.env"
  "$WINESERVER" -k >/dev/null 2>&1 || true
fi
if [ -f "$build/xvfb.pid" ]; then
  kill "$(cat "$build/xvfb.pid")" >/dev/null 2>&1 || true
  rm -f "$build/xvfb.pid"
fi
exit 0
