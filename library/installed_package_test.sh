#!/usr/bin/env bash
# The library as its users get it: the build installed to a prefix of its
# own, then the examples built as a separate project from there, with
# find_package (shared and static) and with pkg-config, and run.
#
# usage: installed_package_test.sh BUILD_DIR EXAMPLES_DIR SENDER
set -euo pipefail
build=$1 examples=$2 sender=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
fail() {
  echo "FAIL: $*" >&2
  failed=1
}

cmake --install "$build" --prefix "$work/prefix" >/dev/null

# What the examples print, with the receiver's line ends on this platform.
report_expected=$(printf 'tgr %s: type 6, scan 7, block 0, 4 values\n--> Telegram Type: 6\r\nTotalSize: 8\t ScanNo:7\t BlockNo:0\r\n\n1\t2\t10000\t65535\t' \
  "$(sed -n 's/^#define TGR_VERSION_STRING "\(.*\)"/\1/p' "$work/prefix/include/tgr/tgr_version.h")")
gaps_expected="8 telegrams: 1 blocks missing, 1 scans missing"

# The first ten telegrams of scans of two blocks each, as the sender sends them.
receive_expected="type 1
scan 1 block 0: 10 values
scan 1 block 1: 10 values
type 1
scan 2 block 0: 10 values
scan 2 block 1: 10 values
type 1
scan 3 block 0: 10 values
scan 3 block 1: 10 values
type 1"

# Until an example has said on standard error (in file $1) that it listens.
wait_for_listening() {
  for _ in $(seq 100); do
    grep -q listening "$1" && return
    sleep 0.05
  done
}

# receive_telegrams on a port of its own, fed by the sender once it listens.
check_receive() {  # label, program folder
  local port=$((20000 + RANDOM % 20000)) got
  "$2/receive_telegrams" $port >"$work/received.txt" 2>"$work/receive.err" &
  local pid=$!
  wait_for_listening "$work/receive.err"
  "$sender" --port $port --scans 4 --blocks 2 --size 40 --rate 1000 2>/dev/null
  wait $pid || fail "$1: receive_telegrams ended with $?: $(cat "$work/receive.err")"
  got=$(cat "$work/received.txt")
  [ "$got" = "$receive_expected" ] || fail "$1: receive_telegrams printed '$got'"
}

# record_telegrams into a file, which read_capture then reads: the port's
# telegrams are recorded with nothing lost, and read back whole.
capture_expected="scan 1 block 0: 10 values
scan 1 block 1: 10 values
scan 2 block 0: 10 values
scan 2 block 1: 10 values
scan 3 block 0: 10 values
scan 3 block 1: 10 values
10 telegrams, the capture is whole"
check_record() {  # label, program folder
  local port=$((20000 + RANDOM % 20000)) got
  rm -f "$work/recorded.pcapng" "$work/record.err"
  "$2/record_telegrams" "$work/recorded.pcapng" $port 2>"$work/record.err" &
  local pid=$!
  wait_for_listening "$work/record.err"
  "$sender" --port $port --scans 4 --blocks 2 --size 40 --rate 1000 2>/dev/null
  wait $pid || fail "$1: record_telegrams ended with $?: $(cat "$work/record.err")"
  got=$("$2/read_capture" "$work/recorded.pcapng" $port) || fail "$1: read_capture ended with $?"
  [ "$got" = "$capture_expected" ] || fail "$1: read_capture printed '$got'"
}

check_run() {  # label, program
  check_receive "$@"
  [ "$1" = pkg-config ] || check_record "$@"
  local got
  got=$("$2/report_telegram") || fail "$1: report_telegram ended with $?"
  [ "$got" = "$report_expected" ] || fail "$1: report_telegram printed $(printf '%q' "$got")"
  got=$("$2/count_gaps") || fail "$1: count_gaps ended with $?"
  [ "$got" = "$gaps_expected" ] || fail "$1: count_gaps printed '$got'"
}

for link in tgr::tgr tgr::tgr_static; do
  out="$work/examples-${link#tgr::}"
  cmake -S "$examples" -B "$out" -DCMAKE_PREFIX_PATH="$work/prefix" -DTGR_LINK=$link >/dev/null ||
    fail "$link: the examples do not configure"
  cmake --build "$out" >/dev/null || fail "$link: the examples do not build"
  check_run "$link" "$out"
  if [ $link = tgr::tgr_static ] && ldd "$out/report_telegram" | grep -q libtgr; then
    fail "$link: report_telegram needs libtgr.so"
  fi
done

# pkg-config, as a Makefile would use it.
export PKG_CONFIG_PATH="$work/prefix/lib/pkgconfig"
pc="$work/pkg-config"
mkdir -p "$pc"
if ! cc -o "$pc/report_telegram" "$examples/report_telegram.c" $(pkg-config --cflags --libs tgr) ||
   ! cc -o "$pc/receive_telegrams" "$examples/receive_telegrams.c" $(pkg-config --cflags --libs tgr) ||
   ! c++ -o "$pc/count_gaps" "$examples/count_gaps.cpp" $(pkg-config --cflags --libs tgr); then
  fail "pkg-config: the examples do not build"
else
  LD_LIBRARY_PATH="$work/prefix/lib" check_run pkg-config "$pc"
fi
[ "$(pkg-config --modversion tgr)" = "$(sed -n 's/^#define TGR_VERSION_STRING "\(.*\)"/\1/p' "$work/prefix/include/tgr/tgr_version.h")" ] ||
  fail "pkg-config gives version $(pkg-config --modversion tgr)"

exit $failed
