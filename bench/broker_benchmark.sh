#!/usr/bin/env bash
# The largest telegrams from one telegram-record --publish through a local
# mosquitto to one telegram-record --subscribe, at rising rates: for each,
# what was sent, published (confirmed by the broker), not published, and
# taken by the subscriber. Run as root (a network namespace of its own).
#
# usage: bench/broker_benchmark.sh [BUILD_DIR] [SECONDS] [RATE...]
set -uo pipefail
build=$(cd "${1:-build-release}" && pwd)
seconds=${2:-5}
shift 2 2>/dev/null || shift $#
rates=("$@")
[ ${#rates[@]} -gt 0 ] || rates=(250 500 1000 1500 2000 3000)
work=$(mktemp -d /tmp/broker-benchmark.XXXXXX)
trap 'rm -rf "$work"' EXIT
printf 'listener 18830 127.0.0.1\nallow_anonymous true\nuser root\n' >"$work/broker.conf"
printf '%-10s %-10s %-8s %-10s %-14s %-12s\n' telegrams/s Mbit/s sent published "not published" subscribed
for rate in "${rates[@]}"; do
  count=$((rate * seconds))
  unshare -n bash -c '
    ip link set lo up
    R=$1/telegram-record S=$1/telegram-sender W=$2 count=$3 rate=$4
    mosquitto -c "$W/broker.conf" >/dev/null 2>&1 &
    sleep 0.5
    "$R" --subscribe mqtt://127.0.0.1:18830/bench --format csv --duration $(( count / rate + 5 )) >/dev/null 2>"$W/sub.err" &
    sub=$!
    "$R" --publish mqtt://127.0.0.1:18830/bench --format csv --count $count --duration $(( count / rate + 4 )) >/dev/null 2>"$W/pub.err" &
    pub=$!
    sleep 1
    "$S" --size 65507 --blocks 1 --no-beam --scans $count --rate $rate 2>/dev/null
    wait $pub
    # The subscriber takes what is still on its way, then is stopped.
    sleep 2
    kill -INT $sub
    wait $sub
    pkill -f "mosquitto -c $W/"
    wait
  ' _ "$build" "$work" "$count" "$rate"
  published=$(sed -n 's/^telegram-record: \([0-9,]*\) telegrams\? published .*/\1/p' "$work/pub.err" | tr -d ,)
  missed=$(sed -n 's/.*; \([0-9,]*\) telegrams\? not published.*/\1/p' "$work/pub.err" | tr -d ,)
  taken=$(sed -n 's/^telegram-record: \([0-9,]*\) telegrams\? (.*/\1/p' "$work/sub.err" | tail -1 | tr -d ,)
  printf '%-10s %-10s %-8s %-10s %-14s %-12s\n' "$rate" "$(( rate * 65507 * 8 / 1000000 ))" "$count" \
    "${published:-?}" "${missed:-0}" "${taken:-?}"
done
