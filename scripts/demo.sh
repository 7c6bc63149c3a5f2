#!/usr/bin/env bash
# Shows telegram-receiver at work without a scanner: builds the two programs
# (Release, no tests, in a folder of its own: build-demo), then
# telegram-sender starts the receiver, waits for its banner, plays the
# scanner with a whole run of 1000 telegrams and passes the report on. The
# demo ends with the receiver's exit status. Arguments go to
# telegram-sender, for example: scripts/demo.sh --scans 100 --blocks 9 --size 1420
set -euo pipefail
cd "$(dirname "$0")/.."

cmake -S . -B build-demo -DCMAKE_BUILD_TYPE=Release -DTELEGRAM_BUILD_TESTS=OFF >/dev/null
cmake --build build-demo --parallel --target telegram-receiver telegram-sender >/dev/null
exec build-demo/telegram-sender --receiver build-demo/telegram-receiver "$@"
