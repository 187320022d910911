#!/usr/bin/env bash
# Installs what building, testing and the demo need on a Debian 12 machine,
# then builds GoogleTest once per cross toolchain into a machine-wide cache.
# The 32-bit programs (the release build) run under i386 Wine, which runs
# under qemu user-mode emulation: this script also registers qemu for i386
# executables with the kernel and adds Debian's i386 architecture.
# Idempotent: packages already present, a handler already registered and
# libraries already built are skipped.
set -euo pipefail

SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO="sudo"
APT=($SUDO env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600)

# fail STEP HOWTO: stops the script, naming the step and how to do it by hand.
fail() {
  echo "install-deps: FAILED: $1" >&2
  echo "install-deps: to do it by hand: $2" >&2
  exit 1
}

# The package mirror is sometimes out of step: an index whose size does not
# match its Release file ("Mirror sync in progress?"), for hours. Then
# `apt-get update` fails for that index only, and an install across
# architectures may not resolve, because amd64 libraries already installed
# from one suite are newer than any i386 build apt can still see.
APT_RETRIES="${VELDRUN_APT_RETRIES:-3}"
APT_PAUSE="${VELDRUN_APT_PAUSE:-10}"
# The suite preferred when an install does not resolve otherwise.
MAIN_SUITE="${VELDRUN_MAIN_SUITE:-bookworm}"

# apt_update STEP: refreshes the indexes, a few times with a pause; when an
# index still fails, says so and goes on: the install decides.
apt_update() {
  local step="$1" try
  for ((try = 1; try <= APT_RETRIES; try++)); do
    "${APT[@]}" update -qq && return 0
    [ "$try" -lt "$APT_RETRIES" ] && { echo "install-deps: $step: apt-get update failed (try $try of $APT_RETRIES), again in ${APT_PAUSE}s" >&2; sleep "$APT_PAUSE"; }
  done
  echo "install-deps: $step: some package indexes could not be read; going on with what apt has" >&2
}

# preferred_suites FILE SUITE...: an apt preferences file that prefers
# those suites over every other one, downgrades included. Suites of equal
# priority leave the choice to the higher version.
preferred_suites() {
  local file="$1" suite; shift
  : >"$file"
  for suite in "$@"; do
    printf 'Package: *\nPin: release n=%s\nPin-Priority: 1001\n\n' "$suite" >>"$file"
  done
}

# apt_install STEP [APT-OPTION...] -- PACKAGE...: installs. Only an install
# that does not resolve is tried once more, with the main suite preferred
# for that one transaction (naming the packages it downgrades); a target
# release (-t SUITE) stays preferred beside it. An install that resolves
# and then fails (a download, a package script) fails the step at once.
# No install removes a package: a plan that would is one that does not
# resolve.
apt_install() {
  local step="$1"; shift
  # The fallback names a target release in its preferences instead: given
  # as -t as well, apt would put it back below the main suite (990).
  local opts=() others=() suites=("$MAIN_SUITE")
  while [ "$1" != "--" ]; do
    case "$1" in
      -t|--target-release) suites+=("$2"); opts+=("$1" "$2"); shift 2 ;;
      *) opts+=("$1"); others+=("$1"); shift ;;
    esac
  done
  shift
  local plan
  if plan="$("${APT[@]}" install -s -y --no-install-recommends --no-remove "${opts[@]}" "$@" 2>&1)"; then
    "${APT[@]}" install -y -qq --no-install-recommends --no-remove "${opts[@]}" "$@" >/dev/null && return 0
    fail "$step: installing $*" "apt-get install --no-install-recommends ${opts[*]} $*"
  fi
  grep '^E:' <<<"$plan" | tail -n 10 >&2
  echo "install-deps: $step: the install does not resolve with the indexes apt has; trying once more with ${suites[*]} preferred" >&2
  local prefs by_hand
  prefs="$(mktemp -d)"
  mkdir -p "$prefs/parts"
  preferred_suites "$prefs/preferences" "${suites[@]}"
  local pinned=(-o "Dir::Etc::Preferences=$prefs/preferences" -o "Dir::Etc::PreferencesParts=$prefs/parts")
  by_hand="apt-get install --no-install-recommends --allow-downgrades ${others[*]} $*, with an apt preferences file giving ${suites[*]} Pin-Priority 1001"
  plan="$("${APT[@]}" "${pinned[@]}" install -s -y --no-install-recommends --no-remove --allow-downgrades "${others[@]}" "$@" 2>&1)" || {
    rm -rf "$prefs"
    grep '^E:' <<<"$plan" | tail -n 10 >&2
    fail "$step: installing $* (it does not resolve, even with ${suites[*]} preferred)" "$by_hand"
  }
  local downgrades
  downgrades="$(apt_downgrades <<<"$plan")"
  if [ -n "$downgrades" ]; then
    echo "install-deps: $step: downgrading to the preferred suites' builds: $downgrades" >&2
  fi
  "${APT[@]}" "${pinned[@]}" install -y -qq --no-install-recommends --no-remove --allow-downgrades "${others[@]}" "$@" >/dev/null || {
    rm -rf "$prefs"
    fail "$step: installing $* with ${suites[*]} preferred" "$by_hand"
  }
  rm -rf "$prefs"
}

# apt_downgrades: reads `apt-get -s` output and prints "pkg old -> new" for
# each package the plan downgrades, comma separated.
apt_downgrades() {
  local line name old new out=()
  # Inst libfoo:amd64 [1.2-3+deb12u7] (1.2-3+deb12u6 Debian:12.11/stable [amd64])
  local inst='^Inst ([^ ]+) [[]([^]]+)[]] [(]([^ ]+) '
  while IFS= read -r line || [ -n "$line" ]; do
    [[ "$line" =~ $inst ]] || continue
    name="${BASH_REMATCH[1]}" old="${BASH_REMATCH[2]}" new="${BASH_REMATCH[3]}"
    dpkg --compare-versions "$new" lt "$old" && out+=("$name $old -> $new")
  done
  local IFS=','
  echo "${out[*]}" | sed 's/,/, /g'
}

# install_missing STEP PACKAGE...: installs those packages not yet installed.
install_missing() {
  local step="$1"; shift
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "install-deps: $step: installing ${missing[*]}"
  apt_update "$step"
  apt_install "$step" -- "${missing[@]}"
}

# Sourced by the tests of the functions above: they stop here.
[ "${VELDRUN_INSTALL_DEPS_LIB:-}" = 1 ] && return 0

packages=(
  cmake ninja-build make g++ python3
  clang libclang-rt-14-dev clang-format
  googletest libgtest-dev
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64
  wine64 xvfb xauth x11-apps imagemagick x11-utils
  osslsigncode openssl curl file nsis
  nlohmann-json3-dev python3-jsonschema
  # Japanese glyphs for the update window under a Japanese user (Wine finds
  # fonts through fontconfig).
  fonts-ipafont-gothic
  nginx-light squid
)
install_missing "base packages" "${packages[@]}"

# qemu for i386 programs. Debian 12's qemu 7.2 kills an i386 Wine process
# that raises an exception (OutputDebugStringA does, for every trace line)
# while a URL download's threads run, and takes minutes to make a prefix;
# qemu 10 from Debian's bookworm-backports suite runs both.
qemu_min="1:10.0"
backports=/etc/apt/sources.list.d/bookworm-backports.sources
qemu_new_enough() {
  local v
  v="$(dpkg-query -W -f='${Version}' qemu-user-static 2>/dev/null)" && [ -n "$v" ] \
    && dpkg-query -W -f='${Status}' qemu-user-static 2>/dev/null | grep -q 'install ok installed' \
    && dpkg --compare-versions "$v" ge "$qemu_min"
}
if ! qemu_new_enough; then
  if ! grep -rqs 'bookworm-backports' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    echo "install-deps: adding Debian's bookworm-backports suite ($backports)"
    printf 'Types: deb\nURIs: http://deb.debian.org/debian\nSuites: bookworm-backports\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
      | $SUDO tee "$backports" >/dev/null \
      || fail "adding bookworm-backports" "write $backports (deb.debian.org, suite bookworm-backports, main)"
  fi
  echo "install-deps: qemu for i386: installing qemu-user-static $qemu_min or newer from bookworm-backports"
  apt_update "qemu for i386"
  apt_install "qemu for i386" -t bookworm-backports -- qemu-user-static
  qemu_new_enough || fail "qemu for i386: qemu-user-static is older than $qemu_min after installing" \
                          "apt-cache policy qemu-user-static; apt-get install -t bookworm-backports qemu-user-static"
fi

# The kernel runs no 32-bit code here: i386 executables go to qemu. The F
# flag opens the interpreter once at registration, so it works in any mount
# namespace, and keeps that file after a newer qemu replaced it: a stamp
# holds which file was registered, and a changed one is registered again.
# Debian registers no i386 handler on amd64 machines.
binfmt=/proc/sys/fs/binfmt_misc
qemu=/usr/bin/qemu-i386-static
entry="$binfmt/qemu-i386"
stamp=/var/lib/veldrun/qemu-i386.registered
qemu_identity() { stat -L -c '%d:%i:%s:%Y' "$qemu" 2>/dev/null; }
i386_magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
i386_mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
handler_ok() {
  [ -f "$entry" ] && grep -qx enabled "$entry" && grep -qx "interpreter $qemu" "$entry" \
    && grep -q '^flags: .*F' "$entry"
}
if handler_ok && [ "$(cat "$stamp" 2>/dev/null)" != "$(qemu_identity)" ]; then
  echo "install-deps: $qemu changed since it was registered (the kernel keeps the file it opened then)"
  echo -1 | $SUDO tee "$entry" >/dev/null || fail "removing the old i386 handler" "echo -1 > $entry"
fi
if ! handler_ok; then
  [ -x "$qemu" ] || fail "qemu for i386: $qemu is missing" "apt-get install -t bookworm-backports qemu-user-static"
  if [ ! -e "$binfmt/register" ]; then
    echo "install-deps: mounting binfmt_misc"
    $SUDO mount -t binfmt_misc binfmt_misc "$binfmt" \
      || fail "mounting binfmt_misc" "mount -t binfmt_misc binfmt_misc $binfmt (a container needs this from its host)"
  fi
  if [ -e "$entry" ]; then
    echo "install-deps: replacing the i386 handler ($(grep -E '^(interpreter|flags)' "$entry" | tr '\n' ' '))"
    echo -1 | $SUDO tee "$entry" >/dev/null || fail "removing the old i386 handler" "echo -1 > $entry"
  fi
  echo "install-deps: registering $qemu for i386 executables"
  printf ':qemu-i386:M::%s:%s:%s:F' "$i386_magic" "$i386_mask" "$qemu" | $SUDO tee "$binfmt/register" >/dev/null \
    || { [ -e "$entry" ] && echo -1 | $SUDO tee "$entry" >/dev/null
         fail "registering the i386 handler" \
           "printf ':qemu-i386:M::%s:%s:%s:F' '$i386_magic' '$i386_mask' $qemu > $binfmt/register"; }
  if ! handler_ok; then
    echo -1 | $SUDO tee "$entry" >/dev/null 2>&1 || true
    fail "checking the i386 handler (removed again)" "see $entry after registering by hand"
  fi
  { $SUDO mkdir -p "$(dirname "$stamp")" && qemu_identity | $SUDO tee "$stamp" >/dev/null; } \
    || echo "install-deps: could not write $stamp; the handler is registered again next time" >&2
fi

# i386 Wine beside the 64-bit one.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  echo "install-deps: adding the i386 architecture"
  $SUDO dpkg --add-architecture i386 || fail "adding the i386 architecture" "dpkg --add-architecture i386"
fi
install_missing "i386 Wine" wine32:i386 wine
/usr/lib/wine/wine --version >/dev/null 2>&1 \
  || fail "starting i386 Wine through qemu (/usr/lib/wine/wine --version)" \
          "check $entry and that wine32:i386 is installed"

# GoogleTest for the MinGW toolchains, built from Debian's sources.
deps="${VELDRUN_DEPS:-$HOME/.cache/veldrun-deps}"
for tc in win64 win32; do
  prefix="$deps/gtest-$tc"
  [ -f "$prefix/.done" ] && continue
  here="$(cd "$(dirname "$0")/.." && pwd)"
  bdir="$deps/build-gtest-$tc"
  rm -rf "$bdir" "$prefix"
  echo "install-deps: building GoogleTest for $tc"
  cmake -S /usr/src/googletest -B "$bdir" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$here/cmake/toolchain-$tc.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
    -Dgtest_disable_pthreads=OFF -DBUILD_GMOCK=ON >/dev/null
  cmake --build "$bdir" >/dev/null
  cmake --install "$bdir" >/dev/null
  touch "$prefix/.done"
  rm -rf "$bdir"
done
