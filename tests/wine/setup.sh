#!/usr/bin/env bash
# Prepares the Wine side of a test run for one build tree: a private prefix
# inside the tree (created once, kept between runs), a persistent wineserver
# for the length of the run, and an Xvfb display of its own. Writes the
# environment for run.sh and the tests into BUILD/wine.env.
set -euo pipefail
build="$(cd "$1" && pwd)"
env="$build/wine.env"
"$(dirname "$0")/teardown.sh" "$build" || true

export WINEPREFIX="$build/wineprefix"
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEDEBUG=-all
export WINEARCH=win64
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver

# Xvfb picks a free display and tells us which.
disp_file="$build/xvfb.display"
rm -f "$disp_file"
setsid Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$disp_file" >/dev/null 2>&1 < /dev/null &
echo $! > "$build/xvfb.pid"
for _ in $(seq 100); do [ -s "$disp_file" ] && break; sleep 0.1; done
[ -s "$disp_file" ] || { echo "setup: Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$disp_file")"

setsid "$wineserver" -p >/dev/null 2>&1 < /dev/null &
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "setup: creating Wine prefix $WINEPREFIX"
  "$wine" wineboot -i >"$build/wineboot.log" 2>&1 < /dev/null || true
fi
"$wineserver" -w 2>/dev/null || true
# wineserver -w waits for the boot's processes; the persistent server stays.
setsid "$wineserver" -p >/dev/null 2>&1 < /dev/null &

cat > "$env" <<ENV
export WINEPREFIX="$WINEPREFIX"
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES"
export WINEARCH=win64
export DISPLAY="$DISPLAY"
export WINE="$wine"
export WINESERVER="$wineserver"
ENV
echo "setup: prefix $WINEPREFIX, display $DISPLAY"
