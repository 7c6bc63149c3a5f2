#!/usr/bin/env bash
# Builds everything and runs all the tests: the Linux build, and the 32-bit
# Windows build under Wine where the cross compiler and Wine are installed
# (in CI, where CI=true, their absence is a failure).
set -euo pipefail
cd "$(dirname "$0")/.."

windows=0
if command -v i686-w64-mingw32-g++-posix >/dev/null && command -v wine >/dev/null && [ -e /usr/lib/wine/wine ]; then
  windows=1
elif [ "${CI:-}" = true ]; then
  echo "error: the 32-bit Windows suite needs g++-mingw-w64-i686, wine and wine32:i386" >&2
  exit 1
else
  echo "Skipping the 32-bit Windows suite: g++-mingw-w64-i686, wine and wine32:i386 are not installed (see README)."
fi

windows_receiver=
if [ $windows = 1 ]; then
  cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-w64-mingw32.cmake \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo
  cmake --build build-win32 --parallel
  windows_receiver=$PWD/build-win32/telegram-receiver.exe

  # A throw-away Wine prefix for this run, created once up front: Wine's
  # first start in a new prefix takes several seconds.
  WINEPREFIX=$(mktemp -d /tmp/telegram-wine.XXXXXX)
  export WINEPREFIX WINEDEBUG=-all
  trap 'wineserver -k 2>/dev/null || true; rm -rf "$WINEPREFIX"' EXIT
  wineserver -p  # kept running, so that each start of an .exe is quick
  wineboot -i >/dev/null 2>&1
fi

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTELEGRAM_WINDOWS_RECEIVER="$windows_receiver"
cmake --build build --parallel
ctest --test-dir build --output-on-failure

if [ $windows = 1 ]; then
  ctest --test-dir build-win32 --output-on-failure
fi
