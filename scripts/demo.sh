#!/usr/bin/env bash
# make demo: one whole update run under Wine, with screenshots of the window
# in out/demo. Installs what is missing and builds first, so it also runs on
# its own on a fresh Debian 12 machine.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
"$here/scripts/install-deps.sh"
make --no-print-directory -C "$here" build-win64 >/dev/null
exec python3 "$here/scripts/demo.py" "$@"
