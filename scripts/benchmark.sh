#!/usr/bin/env bash
# Builds the release configuration and measures the receiver against the
# floor, a bare loop and a printf-per-value receiver; then, where Wine is
# installed, the Windows program of the width this host can run, in a run of
# its own so that Wine's own processes do not weigh on the others. Arguments
# go to receiver-benchmark (e.g. --rounds 5). It reports figures; it does not
# pass or fail.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DTELEGRAM_BUILD_TESTS=OFF >/dev/null
cmake --build build-release --parallel --target receiver-benchmark >/dev/null
build-release/receiver-benchmark "$@"

source scripts/windows-width.sh
trap stop_wine EXIT
missing=$(cross_compiler_missing "$width")
if [ -n "$missing" ]; then
  echo "(the Windows program is not measured: $missing)"
elif ! start_wine; then
  echo "(the Windows program is not measured: $wine_failure)"
else
  windows_configure build-win$width-release $width Release -DTELEGRAM_BUILD_TESTS=OFF
  cmake --build build-win$width-release --parallel --target telegram-receiver >/dev/null
  echo "The Windows program, under Wine ($width-bit, because $reason):"
  build-release/receiver-benchmark --only-added "$@" \
    --receiver "telegram-receiver.exe ($width-bit Wine)" "$loader $PWD/build-win$width-release/telegram-receiver.exe"
fi
