#!/usr/bin/env bash
# Shows telegram-receiver at work without a scanner: builds both programs,
# then telegram-sender starts the receiver, waits for its banner, plays the
# scanner with a whole run of 1000 telegrams and passes the report on. The
# demo ends with the receiver's exit status. Arguments go to telegram-sender,
# for example: scripts/demo.sh --scans 100 --blocks 9 --size 1420
set -euo pipefail
cd "$(dirname "$0")/.."

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --parallel --target telegram-receiver telegram-sender >/dev/null
exec build/telegram-sender --receiver build/telegram-receiver "$@"
