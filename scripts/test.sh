#!/usr/bin/env bash
# Builds everything and runs every test: first the Linux suite, then the
# Windows suite under Wine.
#
# The Windows suite runs the Windows unit tests and the end-to-end suite
# under Wine, against the width this host can run: the 32-bit home build
# where the kernel runs 32-bit code, otherwise the 64-bit build of the same
# sources under 64-bit Wine. Either way the 32-bit programs are built and
# checked. TELEGRAM_WINDOWS_WIDTH=32 or 64 chooses the width by hand.
#
# Where something the Windows suite needs is missing or Wine cannot start,
# it says why and skips the suite; in CI (CI=true) that fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."

# --- The Linux suite ---------------------------------------------------------
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTELEGRAM_WINDOWS_DIR= -DTELEGRAM_WIN32_DIR= \
  -DTELEGRAM_WIN64_DIR= >/dev/null
cmake --build build --parallel
ctest --test-dir build --output-on-failure --label-exclude windows

# --- The Windows suite -------------------------------------------------------
ran="no Windows tests ran"
checked="the 32-bit programs were not built"

# Says why the Windows suite (or a part of it) cannot run: a skip here, a
# failure in CI.
unavailable() {
  if [ "${CI:-}" = true ]; then
    echo "error: Windows suite: $1" >&2
    exit 1
  fi
  echo "Skipping the Windows suite: $1"
}

# The Windows width this host can run, and its Wine: $width, $reason,
# $loader, $server, $wine_package; windows_configure, start_wine.
source scripts/windows-width.sh

windows_dirs=()
# The 32-bit programs are always built and checked; their tests run only
# where this host can run them.
if ! command -v i686-w64-mingw32-g++-posix >/dev/null; then
  unavailable "the 32-bit cross compiler is not installed (g++-mingw-w64-i686)"
else
  windows_configure build-win32 32 RelWithDebInfo
  if [ $width = 32 ]; then
    cmake --build build-win32 --parallel
  else
    cmake --build build-win32 --parallel --target telegram-receiver telegram-sender
  fi
  windows_dirs+=(-DTELEGRAM_WIN32_DIR="$PWD/build-win32")
  checked="the 32-bit programs are built and checked"
fi

tested_dir=
if [ $width = 64 ] && ! command -v x86_64-w64-mingw32-g++-posix >/dev/null; then
  unavailable "the 64-bit cross compiler is not installed (g++-mingw-w64-x86-64)"
elif [ ! -x $loader ] || [ ! -x "$server" ]; then
  unavailable "$loader or $server is missing (install $wine_package)"
else
  if [ $width = 64 ]; then
    windows_configure build-win64 64 RelWithDebInfo
    cmake --build build-win64 --parallel
    windows_dirs+=(-DTELEGRAM_WIN64_DIR="$PWD/build-win64")
  fi
  tested_dir=$PWD/build-win$width
fi

if [ -n "$tested_dir" ] && ! start_wine; then
  tested_dir=
  unavailable "$wine_failure"
fi

if [ -n "$tested_dir" ]; then
  windows_dirs+=(-DTELEGRAM_WINDOWS_DIR="$tested_dir" -DTELEGRAM_WINE=$loader)
  ran="ran the $width-bit build under $width-bit Wine, because $reason"
fi
if [ ${#windows_dirs[@]} -gt 0 ]; then
  cmake -S . -B build "${windows_dirs[@]}" >/dev/null
  cmake --build build --parallel
  ctest --test-dir build --output-on-failure --label-regex windows
fi
if [ -n "$tested_dir" ]; then
  ctest --test-dir "$tested_dir" --output-on-failure
fi
echo "Windows suite: $ran; $checked."
