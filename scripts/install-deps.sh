#!/usr/bin/env bash
# Installs what building, testing and the demo need on a Debian 12 machine,
# then builds GoogleTest once per cross toolchain into a machine-wide cache.
# Idempotent: packages already present and libraries already built are skipped.
set -euo pipefail

packages=(
  cmake ninja-build make g++ python3
  clang libclang-rt-14-dev clang-format
  googletest libgtest-dev
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64
  wine64 xvfb xauth x11-apps imagemagick x11-utils
  osslsigncode openssl curl file
  nlohmann-json3-dev python3-jsonschema
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "install-deps: installing ${missing[*]}"
  SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

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
