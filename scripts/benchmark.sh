#!/usr/bin/env bash
# Builds the release configuration and measures the receiver against a bare
# loop and a printf-per-value receiver (arguments go to receiver-benchmark,
# e.g. --rounds 5). It reports figures; it does not pass or fail.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DTELEGRAM_BUILD_TESTS=OFF >/dev/null
cmake --build build-release --parallel --target receiver-benchmark >/dev/null
build-release/receiver-benchmark "$@"
