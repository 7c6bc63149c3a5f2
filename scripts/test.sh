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

# Whether this host runs 32-bit x86 code, found by running some; $why_not
# says what happened when it does not.
why_not=
host_runs_32_bit_code() {
  local probe
  for probe in /lib/ld-linux.so.2 /usr/lib/wine/wine; do
    if [ -e "$probe" ]; then
      if why_not=$("$probe" --version 2>&1 >/dev/null); then
        return 0
      fi
      why_not="$probe --version: ${why_not:-exit status $?}"
      return 1
    fi
  done
  why_not="there is no 32-bit program here to try (libc6:i386 and wine32 are not installed)"
  return 1
}

width=${TELEGRAM_WINDOWS_WIDTH:-}
if [ -z "$width" ]; then
  if host_runs_32_bit_code; then
    width=32
    reason="this host runs 32-bit code"
  else
    width=64
    reason="this host runs no 32-bit code ($why_not)"
  fi
else
  reason="TELEGRAM_WINDOWS_WIDTH=$width"
fi
case $width in
  32) triplet=i686-w64-mingw32 loader=/usr/lib/wine/wine wine_package=wine32:i386 ;;
  64) triplet=x86_64-w64-mingw32 loader=/usr/lib/wine/wine64 wine_package=wine64 ;;
  *) echo "error: TELEGRAM_WINDOWS_WIDTH must be 32 or 64" >&2; exit 2 ;;
esac
# A prefix made by either loader is a 64-bit one where wine64 is installed,
# and needs the 64-bit server.
server=/usr/lib/wine/wineserver64
[ -x "$server" ] || server=/usr/lib/wine/wineserver32

windows_configure() {  # build directory, width
  local toolchain=cmake/toolchain-i686-w64-mingw32.cmake
  [ "$2" = 64 ] && toolchain=cmake/toolchain-x86_64-w64-mingw32.cmake
  cmake -S . -B "$1" -DCMAKE_TOOLCHAIN_FILE=$toolchain -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTELEGRAM_WINE=$loader --no-warn-unused-cli \
    >/dev/null
}

windows_dirs=()
# The 32-bit programs are always built and checked; their tests run only
# where this host can run them.
if ! command -v i686-w64-mingw32-g++-posix >/dev/null; then
  unavailable "the 32-bit cross compiler is not installed (g++-mingw-w64-i686)"
else
  windows_configure build-win32 32
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
    windows_configure build-win64 64
    cmake --build build-win64 --parallel
    windows_dirs+=(-DTELEGRAM_WIN64_DIR="$PWD/build-win64")
  fi
  tested_dir=$PWD/build-win$width
fi

if [ -n "$tested_dir" ]; then
  # A throw-away prefix for this run, created once up front (the first
  # start in a new prefix takes several seconds), and one server kept
  # running for the whole suite so that each start of an .exe is quick.
  WINEPREFIX=$(mktemp -d /tmp/telegram-wine.XXXXXX)
  export WINEPREFIX WINEDEBUG=-all WINELOADER=$loader WINESERVER=$server
  trap '"$WINESERVER" -k 2>/dev/null || true; rm -rf "$WINEPREFIX"' EXIT
  # Their output goes to a file: Wine's daemons keep a pipe open for ever.
  boot_log=$WINEPREFIX.log
  trap '"$WINESERVER" -k 2>/dev/null || true; rm -rf "$WINEPREFIX" "$boot_log"' EXIT
  if ! { "$WINESERVER" -p && "$loader" wineboot -i; } >"$boot_log" 2>&1; then
    tested_dir=
    unavailable "Wine does not start ($WINESERVER -p, then $loader wineboot -i): $(tail -n 5 "$boot_log")"
  fi
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
