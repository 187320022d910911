#!/usr/bin/env bash
# run.sh BUILD PROGRAM [ARGS...]: runs a Windows program under Wine in the
# build tree's prefix and passes its exit status on. Output goes through
# files: Wine's background processes inherit the program's handles, and a
# pipe would stay open until they end.
set -u
build="$1"; shift
# shellcheck disable=SC1091
. "$build/wine.env"
export WINEDEBUG="${WINEDEBUG:--all}"
tmp="$(mktemp -d)"
# The loader's address space layout fixed: see WINE_LAUNCH in
# tests/e2e/harness.py.
setarch -R "$WINE" "$@" >"$tmp/out" 2>"$tmp/err" </dev/null
rc=$?
cat "$tmp/out"
cat "$tmp/err" >&2
rm -rf "$tmp"
exit $rc
