#!/usr/bin/env bash
# Builds everything and runs every test: first the Linux suite, then the
# Windows suite under Wine. It builds in folders of its own (build-test,
# build-test-win32, build-test-win64) and leaves any other build alone.
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

# The Windows width this host can run, and its Wine.
source scripts/windows-width.sh
trap stop_wine EXIT

# Says why the Windows suite (or a part of it) cannot run: a skip here, a
# failure in CI.
unavailable() {
  if [ "${CI:-}" = true ]; then
    echo "error: Windows suite: $1" >&2
    exit 1
  fi
  echo "Skipping the Windows suite: $1"
}

# What the Windows suite can do on this host, worked out before anything is
# built: the 32-bit programs to check, and the width to test.
win32_dir=$PWD/build-test-win32
tested_dir=$PWD/build-test-win$width
why_no_32=$(cross_compiler_missing 32)
why_no_tests=$(cross_compiler_missing "$width")
[ -n "$why_no_tests" ] || why_no_tests=$(wine_missing)
windows_args=()
[ -n "$why_no_32" ] || windows_args+=(-DTELEGRAM_WIN32_DIR="$win32_dir")
if [ -z "$why_no_tests" ]; then
  windows_args+=(-DTELEGRAM_WINDOWS_DIR="$tested_dir" -DTELEGRAM_WINE=$loader)
  [ $width = 32 ] || windows_args+=(-DTELEGRAM_WIN64_DIR="$tested_dir")
fi

# --- The Linux suite ---------------------------------------------------------
# The Python package is built for Debian's Python, which has numpy and
# pytest (another python3 first in PATH may not).
cmake -S . -B build-test -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTELEGRAM_WERROR=ON -DTELEGRAM_WINDOWS_DIR= -DTELEGRAM_WIN32_DIR= \
  -DTELEGRAM_WIN64_DIR= -DTELEGRAM_PYTHON=ON -DPython_EXECUTABLE="${TELEGRAM_PYTHON:-/usr/bin/python3}" \
  "${windows_args[@]}" >/dev/null
cmake --build build-test --parallel
ctest --test-dir build-test --output-on-failure --label-exclude windows

# --- The Windows suite -------------------------------------------------------
ran="no Windows tests ran"
checked="the 32-bit programs were not built"
if [ -n "$why_no_32" ]; then
  unavailable "$why_no_32"
else
  windows_configure build-test-win32 32 RelWithDebInfo -DTELEGRAM_WERROR=ON
  if [ $width = 32 ] && [ -z "$why_no_tests" ]; then
    cmake --build build-test-win32 --parallel
  else
    cmake --build build-test-win32 --parallel --target telegram-receiver telegram-sender telegram-plot telegram-record tgr
  fi
  checked="the 32-bit programs are built and checked"
fi

if [ -n "$why_no_tests" ]; then
  unavailable "$why_no_tests"
else
  if [ $width = 64 ]; then
    windows_configure build-test-win64 64 RelWithDebInfo -DTELEGRAM_WERROR=ON
    cmake --build build-test-win64 --parallel
  fi
  if start_wine; then
    ran="ran the $width-bit build under $width-bit Wine, because $reason"
  else
    unavailable "$wine_failure"
    why_no_tests=$wine_failure
  fi
fi

if [ -z "$why_no_tests" ]; then
  ctest --test-dir build-test --output-on-failure --label-regex windows
  ctest --test-dir "$tested_dir" --output-on-failure
elif [ -z "$why_no_32" ]; then
  ctest --test-dir build-test --output-on-failure --tests-regex '^windows_executable_test_32$'
fi
echo "Windows suite: $ran; $checked."
