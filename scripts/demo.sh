#!/usr/bin/env bash
# Builds the receiver and the stand-in scanner, then shows a whole run: the
# receiver listens on UDP port 9999 and reports, the sender plays the scanner
# and sends 1000 telegrams (any arguments go to telegram-sender).
set -euo pipefail
cd "$(dirname "$0")/.."

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --parallel --target telegram-receiver telegram-sender >/dev/null

build/telegram-receiver &
receiver=$!
trap 'kill $receiver 2>/dev/null || true' EXIT

# Wait until the receiver holds port 9999 (270F in /proc/net/udp).
for _ in $(seq 50); do
  grep -qi ':270F ' /proc/net/udp && break
  sleep 0.1
done

build/telegram-sender "$@"
# A whole run ends by itself after 1000 datagrams; a shorter one is ended here.
for _ in $(seq 30); do
  kill -0 $receiver 2>/dev/null || break
  sleep 0.1
done
if kill -0 $receiver 2>/dev/null; then
  echo "(fewer than 1000 telegrams sent: stopping the receiver)" >&2
  kill -TERM $receiver
fi
wait $receiver || true
