#!/usr/bin/env bash
# setup.sh BUILD [win64|win32]: prepares the Wine side of a test run for one
# build tree: a private prefix inside the tree (created once, kept between
# runs), a persistent wineserver for the length of the run, and an Xvfb
# display of its own. Writes the environment for run.sh and the tests into
# BUILD/wine.env.
#
# Both lanes use a 64-bit (WoW64) prefix, as on 64-bit Windows. The win32
# lane runs its programs with the i386 loader, which runs under qemu; making
# its prefix runs the 32-bit half of the set-up emulated (minutes, once).
set -euo pipefail
build="$(cd "$1" && pwd)"
lane="${2:-win64}"
env="$build/wine.env"
"$(dirname "$0")/teardown.sh" "$build" || true

export WINEPREFIX="$build/wineprefix"
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEDEBUG=-all
export WINEARCH=win64
wine64=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
case "$lane" in
  win64) wine="$wine64" ;;
  win32) wine=/usr/lib/wine/wine
         [ -x "$wine" ] || { echo "setup: i386 Wine is missing (scripts/install-deps.sh)" >&2; exit 1; } ;;
  *) echo "setup: unknown lane $lane" >&2; exit 1 ;;
esac

# Xvfb picks a free display and tells us which.
disp_file="$build/xvfb.display"
rm -f "$disp_file"
setsid Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$disp_file" >/dev/null 2>&1 < /dev/null &
echo $! > "$build/xvfb.pid"
for _ in $(seq 100); do [ -s "$disp_file" ] && break; sleep 0.1; done
[ -s "$disp_file" ] || { echo "setup: Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$disp_file")"

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "setup: creating Wine prefix $WINEPREFIX"
  start=$SECONDS
  setarch -R "$wine64" wineboot -i >"$build/wineboot.log" 2>&1 < /dev/null || true
  # Waits for the boot's processes; the server the boot started is not
  # persistent and ends after them.
  "$wineserver" -w 2>/dev/null || true
  echo "setup: prefix made in $((SECONDS - start)) s"
fi
# The persistent server for the run. Never "wineserver -w" after this: it
# would wait for this server, which does not end.
setsid "$wineserver" -p >/dev/null 2>&1 < /dev/null &

cat > "$env" <<ENV
export WINEPREFIX="$WINEPREFIX"
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES"
export WINEARCH=win64
export DISPLAY="$DISPLAY"
export WINE="$wine"
export WINE64="$wine64"
export WINESERVER="$wineserver"
ENV
echo "setup: prefix $WINEPREFIX, display $DISPLAY"
