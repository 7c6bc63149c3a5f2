#!/usr/bin/env bash
# telegram-record.exe under Wine, as a Windows user runs it:
#  - a run of 40 telegrams is reported and recorded, and the recording
#    replays, its packets naming the address they were sent to;
#  - while its reader has stopped reading (its writing held up in a write
#    to standard output), every telegram is still recorded, and Ctrl-C
#    still ends the run within seconds, status 0, with its summary and what
#    was not written said.
# It listens on a port the system chooses, named in its first line, so that
# it needs no namespace and no port of its own.
#
# usage: record_windows_test.sh WINE RECORD_EXE SENDER
set -uo pipefail
wine=$1 record_exe=$2 sender=$3

work=$(mktemp -d /tmp/telegram-record-windows-test.XXXXXX)
[ -d "$work" ] || exit 1
trap 'rm -rf "$work"' EXIT
failed=0
fail() {
  echo "FAIL: $1" >&2
  failed=1
}
ok() { echo "ok: $1"; }

# The port that telegram-record says in FILE it receives on, once it does.
port_of() {
  local port
  for _ in $(seq 300); do
    port=$(grep -ao 'receiving on UDP port [0-9]*' "$1" 2>/dev/null | grep -o '[0-9]*$')
    [ -n "$port" ] && { echo "$port"; return 0; }
    sleep 0.05
  done
  return 1
}

# --- A run: the report and the recording -------------------------------------
"$wine" "$record_exe" --port 0 --count 40 --record "$work/run.pcapng" >"$work/run.report" 2>"$work/run.err" &
pid=$!
port=$(port_of "$work/run.err") || fail "no port said: $(cat "$work/run.err")"
"$sender" --port "${port:-9}" --scans 10 2>/dev/null
wait $pid
status=$?
if [ $status = 0 ] && [ "$(grep -ao -e '--> Telegram Type: ' "$work/run.report" | wc -l)" = 40 ]; then
  ok "40 telegrams reported, status 0"
else
  fail "a run: status $status: $(tail -2 "$work/run.err")"
fi
if "$sender" --replay "$work/run.pcapng" --replay-port "${port:-9}" --port 9 2>&1 >/dev/null | grep -q '^telegram-sender: sent 40 telegrams'; then
  ok "the recording replays its 40 telegrams"
else
  fail "the recording does not replay whole"
fi

if command -v tshark >/dev/null; then
  ends=$(tshark -r "$work/run.pcapng" -c 1 -T fields -e ip.src -e ip.dst -e udp.dstport 2>/dev/null)
  if [ "$ends" = "127.0.0.1	127.0.0.1	${port:-9}" ]; then
    ok "the recording's packets name the address they were sent to"
  else
    fail "the recording's first packet goes '$ends'"
  fi
fi

# --- Ctrl-C while standard output is held up ------------------------------------
# A pipe that nobody reads: its writer stops once it is full.
mkfifo "$work/stalled"
exec 3<>"$work/stalled"
"$wine" "$record_exe" --port 0 --record "$work/stalled.pcapng" >"$work/stalled" 2>"$work/stalled.err" &
pid=$!
port=$(port_of "$work/stalled.err") || fail "no port said: $(cat "$work/stalled.err")"
"$sender" --port "${port:-9}" --scans 100 --size 2000 2>/dev/null
sleep 1
kill -INT $pid
# Held up, it would wait for ever; after Ctrl-C it has a second or so.
ended=no
for _ in $(seq 150); do
  kill -0 $pid 2>/dev/null || { ended=yes; break; }
  sleep 0.1
done
if [ $ended = yes ]; then
  ok "Ctrl-C ends the run while the reader reads nothing"
else
  fail "Ctrl-C: still running 15 s after it, held up writing"
  kill -KILL $pid 2>/dev/null
fi
wait $pid 2>/dev/null
status=$?
exec 3>&-
if [ $status = 0 ] && grep -aq "^telegram-record: 400 telegrams recorded in " "$work/stalled.err" &&
   grep -aq "^telegram-record: [0-9,]* telegrams not written to standard output: its reader fell behind" "$work/stalled.err" &&
   grep -aq "^telegram-record: 400 telegrams (" "$work/stalled.err"; then
  ok "every telegram recorded, status 0, the summary and what was not written said"
else
  fail "held up: status $status: $(cat "$work/stalled.err")"
fi
if "$sender" --replay "$work/stalled.pcapng" --replay-port "${port:-9}" --port 9 2>&1 >/dev/null | grep -q '^telegram-sender: sent 400 telegrams'; then
  ok "the recording holds all 400, whole"
else
  fail "the recording held up does not replay whole"
fi

exit $failed
