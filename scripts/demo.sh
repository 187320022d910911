#!/usr/bin/env bash
# make demo: builds an update package from the example patch information
# file (res/examples/patch.ini) and runs it under Wine, showing what each
# step does. Everything lives under out/demo: its own Wine prefix, and its
# own Xvfb display when there is no DISPLAY.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
demo="$here/out/demo"
mkdir -p "$demo"

export WINEPREFIX="$demo/wineprefix"
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver

xvfb_pid=""
cleanup() {
  "$wineserver" -k >/dev/null 2>&1 || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" >/dev/null 2>&1 || true
}
trap cleanup EXIT

if [ -z "${DISPLAY:-}" ]; then
  setsid Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$demo/display" >/dev/null 2>&1 </dev/null &
  xvfb_pid=$!
  for _ in $(seq 100); do [ -s "$demo/display" ] && break; sleep 0.1; done
  export DISPLAY=":$(head -n1 "$demo/display")"
fi
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "demo: preparing a Wine prefix in $WINEPREFIX (once)"
  WINEDEBUG=-all "$wine" wineboot -i >"$demo/wineboot.log" 2>&1 </dev/null || true
  "$wineserver" -w || true
fi
setsid "$wineserver" -p >/dev/null 2>&1 </dev/null &

# Runs a Windows program with its trace lines on; stdout and the traces go
# through files (Wine's background processes would hold a pipe open).
# Prints its standard output, its trace lines and its exit status.
run() {
  local rc=0
  WINEDEBUG=-all,+debugstr "$wine" "$@" >"$demo/stdout" 2>"$demo/stderr" </dev/null || rc=$?
  sed 's/\r$//; s/^/    stdout: /' "$demo/stdout"
  sed -n 's/^.*debugstr:OutputDebugStringA "\(.*\)\\n"$/    trace:  \1/p' "$demo/stderr" | sed 's/\\\\/\\/g'
  echo "    exit status $rc"
}

cd "$demo"
cp "$here/out/win64/Veldrun.exe" Veldrun.exe
cp "$here/res/examples/patch.ini" patch.ini
rm -f package.exe

echo "1. Veldrun.exe without arguments: builder mode shows its usage"
run Veldrun.exe
echo
echo "2. Veldrun.exe package.exe patch.ini: builder mode writes the update package"
run Veldrun.exe package.exe patch.ini
echo "    Veldrun.exe $(stat -c %s Veldrun.exe) bytes, package.exe $(stat -c %s package.exe) bytes"
echo
echo "3. package.exe /s: update mode extracts patch.ini into the temporary directory"
run package.exe /s
extracted="$(sed -n 's/^.*Extract patch information file: \(.*\)\\n"$/\1/p' "$demo/stderr" | sed 's/\\\\/\\/g')"
if [ -n "$extracted" ]; then
  unix="$(WINEDEBUG=-all "$wine" winepath -u "$extracted" 2>/dev/null | tr -d '\r')"
  if cmp -s "$unix" patch.ini; then
    echo "    the extracted file equals res/examples/patch.ini"
  else
    echo "    the extracted file differs from res/examples/patch.ini"
    exit 1
  fi
fi
