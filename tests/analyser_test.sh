#!/usr/bin/env bash
# The packet analyser and real captures, against the receiver's own report:
#  - a session is captured on the loopback (dumpcap) while the receiver
#    reports it: telegrams of both types, the largest blocks, the fuzzer's
#    seeds (fields beyond short datagrams, a beam step of 0, ...);
#  - tshark with the dissector gives the telegrams' fields, from which the
#    report is built again: it must equal the receiver's, byte for byte;
#  - the capture, as pcapng and as pcap of both timestamp precisions, is
#    replayed into a fresh receiver: the same report again;
#  - the same with the loopback's MTU at 1500, so that the largest blocks
#    travel as IP fragments; then with one fragment taken out of the capture,
#    whose telegram is skipped and counted and never sent half;
#  - a capture cut short: its whole packets sent, and the cut said;
#  - damaged captures: nothing sent, one line with the byte, status 2.
# Each run is in a network namespace of its own, so nothing else on the
# machine is disturbed, nor disturbs it.
#
# usage: analyser_test.sh RECEIVER SENDER SEND_DATAGRAMS DISSECTOR CORPUS_DIR
# Needs root (for the namespaces) and tshark, dumpcap and editcap. Where they
# are missing it is skipped (status 77), unless CI=true.
set -euo pipefail
receiver=$1 sender=$2 send_datagrams=$3 dissector=$4 corpus=$5
here=$(cd "$(dirname "$0")" && pwd)

missing=
[ "$(id -u)" = 0 ] || missing="root, for the network namespaces"
for tool in tshark dumpcap editcap capinfos unshare ip; do
  command -v $tool >/dev/null || missing="$missing $tool"
done
if [ -n "$missing" ]; then
  echo "analyser_test: needs $missing"
  [ "${CI:-}" = true ] && exit 1
  exit 77
fi

work=$(mktemp -d /tmp/telegram-analyser.XXXXXX)
trap 'rm -rf "$work"' EXIT
failed=0
fail() {
  echo "FAIL: $1" >&2
  failed=1
}
ok() { echo "ok: $1"; }

# Runs a session in a namespace of its own: capture (to $1, unless empty),
# the receiver (report to $2), then the commands of $3, with the loopback's
# MTU $4; the receiver is interrupted once it has reported every telegram
# the commands sent, so that its report holds no closing lines.
session() {
  local capture=$1 report=$2 commands=$3 mtu=$4
  unshare -n bash -s "$capture" "$report" "$commands" "$mtu" "$receiver" <<'EOF'
set -eu
capture=$1 report=$2 commands=$3 mtu=$4 receiver=$5
# Whatever fails, nothing is left running: a receiver that died must not
# leave the capture going until the test's time is up.
capturing= receiving=
trap 'for p in $receiving $capturing; do kill -KILL $p 2>/dev/null || true; done' EXIT
ip link set lo mtu "$mtu" up
if [ -n "$capture" ]; then
  dumpcap -q -i lo -B 64 -f udp -w "$capture" 2>/dev/null &
  capturing=$!
  # dumpcap is ready once its file exists.
  for _ in $(seq 100); do [ -s "$capture" ] && break; sleep 0.05; done
fi
"$receiver" >"$report" 2>"$report.err" &
receiving=$!
for _ in $(seq 100); do grep -q ':270F ' /proc/net/udp && break; sleep 0.05; done
eval "$commands" 2>"$report.sent"
# Every datagram sent is reported by now, or lost.
sleep 0.5
kill -INT $receiving || true
wait $receiving || true
receiving=
if [ -n "$capture" ]; then
  sleep 0.2
  kill -INT $capturing
  wait $capturing || true
  capturing=
fi
EOF
}

fields() {  # capture -> each datagram's fields, one line each
  tshark -r "$1" -X lua_script:"$dissector" -Y 'udp.dstport == 9999' -T fields -E separator=/t -E occurrence=a \
    -E aggregator=, -e udp.length -e telegram.type -e telegram.header_byte4 -e telegram.header_byte8 \
    -e telegram.beam_count -e telegram.report_total_size -e telegram.block_no -e telegram.report_size \
    -e telegram.report_scan_no -e telegram.value 2>/dev/null
}

# The report less its banner, as the dissector's fields give it.
report_body() { tail -c +$((${#banner} + 1)) "$1"; }
banner="Receiving datagrams..."$'\n'

same_report() {  # report, expected report, what
  if cmp -s "$1" "$2"; then
    ok "$3"
  else
    fail "$3: $(cmp "$1" "$2" 2>&1 | head -n 1)"
  fi
}

# --- A session captured, and the dissector's view of it -------------------
corpus_files=$(ls "$corpus"/* | tr '\n' ' ')
corpus_count=$(ls "$corpus" | wc -l)
# Numbers the report prints signed: a ScanNo of 2^31 + 1 (block 0, three
# values) and of 2^31 (block 1, one value), and a type-1 TotalSize of
# 2^32 - 2. And a block 0 of 41 bytes whose TotalSize says 100: ten whole
# values, and an odd last byte that is none.
mkdir "$work/signed"
printf '\x1a\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x06\x00\x00\x00\x01\x00\x00\x80\x07\x00\x08\x00\x09\x00' \
  >"$work/signed/scan"
printf '\x16\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x06\x00\x01\x00\x00\x00\x00\x80\x05\x00' \
  >"$work/signed/lowest"
{ printf '\xfe\xff\xff\xff\x03\x00\x00\x00\x01\x00\x00\x00\x01\x00'; head -c 26 /dev/zero
  printf '\x00\x00\x0a\x00\x01\x00'; } >"$work/signed/size"
{ printf '\x64\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x06\x00\x00\x00\x03\x00\x00\x00'
  printf '\x01\x00\x02\x00\x03\x00\x04\x00\x05\x00\x06\x00\x07\x00\x08\x00\x09\x00\x0a\x00\x0b'; } >"$work/signed/odd"
corpus_files+=" $work/signed/scan $work/signed/lowest $work/signed/size $work/signed/odd"
corpus_count=$((corpus_count + 4))
commands="'$sender' --scans 20 --blocks 3 --size 65507 --rate 1000; '$sender' --scans 5 --blocks 12 --size 61 --rate 1000;"
commands+=" '$send_datagrams' 9999 $corpus_files;"
# Two telegrams to another port, for Decode As.
commands+=" '$sender' --port 5000 --scans 1 --blocks 1"
session "$work/session.pcapng" "$work/report.txt" "$commands" 65536
sent=$((80 + 65 + corpus_count))
captured=$(capinfos -c -M "$work/session.pcapng" | sed -n 's/^Number of packets: *//p')
reported=$(grep -c -- '--> Telegram Type: ' "$work/report.txt" || true)
[ "$captured" = $((sent + 2)) ] || fail "the capture holds $captured packets of the $((sent + 2)) sent"
[ "$reported" = $sent ] || fail "the receiver reported $reported of the $sent sent: $(cat "$work/report.txt.err")"

fields "$work/session.pcapng" | awk -f "$here/report_from_fields.awk" >"$work/from-fields.txt"
report_body "$work/report.txt" >"$work/report-body.txt"
same_report "$work/from-fields.txt" "$work/report-body.txt" \
  "the report built from the dissector's fields equals the receiver's ($sent telegrams, the fuzzer's seeds among them)"

# Field names that can be filtered on, and the Info column.
# (Each output is kept first: grep -q would end a pipe early.)
shows() {  # what, pattern, tshark arguments...
  local what=$1 pattern=$2
  shift 2
  tshark -r "$work/session.pcapng" -X lua_script:"$dissector" "$@" >"$work/shown.txt" 2>/dev/null || true
  if grep -q -- "$pattern" "$work/shown.txt"; then ok "$what"; else fail "$what: no '$pattern'"; fi
}
shows "a display filter on the fields, and the Info column" 'Type 6, scan 1, block 2, 32743 values' \
  -Y 'telegram.type == 6 && telegram.block_no == 2'
shows "the beam count in the tree" '\[BeamCount: 271\]' -Y 'telegram.type == 1' -V
shows "a beam step of 0 gives a count of 0" '\[BeamCount: 0\]' -Y 'telegram.beam_step == 0 && telegram.beam_stop > 0' -V
shows "a field beyond the datagram is marked" 'BeamStep at byte 44 lies beyond the datagram.s 45 bytes' -V
shows "a TotalSize that differs from the datagram's length is marked" 'TotalSize 4294967295, datagram' -V
# The report's numbers, to filter on: what it prints, it finds.
grep -q 'ScanNo:-2147483647' "$work/report.txt" || fail "the report has no ScanNo:-2147483647"
shows "a ScanNo of 2^31 + 1 as the report prints it" 'Type 6, scan -2147483647, block 0, 3 values' \
  -Y 'telegram.report_scan_no == -2147483647 && telegram.scan_no == 2147483649'
shows "a ScanNo of 2^31 as the report prints it" 'Type 6, scan -2147483648, block 1, 1 values' \
  -Y 'telegram.report_scan_no < -2147483647 && telegram.scan_no == 2147483648'
shows "an odd last byte is no value" 'Type 6, scan 3, block 0, 10 values' -Y 'telegram.scan_no == 3 && udp.length == 49'
shows "a type-1 TotalSize as the report prints it" 'Type 1' -Y 'telegram.report_total_size == -2'
shows "a TotalSize below 20 as the report prints it" 'Type 6' -Y 'telegram.report_size == -10'

# Cut by a snap length of 60 bytes: 18 of each payload kept. What the
# capture did not keep is marked so, never read as 0, and the values are
# counted by the datagram's own length.
editcap -s 60 "$work/session.pcapng" "$work/snapped.pcapng"
snapped() { tshark -r "$work/snapped.pcapng" -X lua_script:"$dissector" "$@" 2>/dev/null || true; }
largest=$(snapped -Y 'telegram.value_count == 32743' | wc -l)
read_as_0=$(snapped -Y 'telegram.type == 6 && telegram.scan_no && udp.length >= 28' | wc -l)
[ "$largest" = 60 ] && ok "snapped: the largest blocks still count 32743 values" ||
  fail "snapped: $largest blocks of 32743 values, not 60"
[ "$read_as_0" = 0 ] && ok "snapped: a ScanNo the capture did not keep is not read as 0" ||
  fail "snapped: $read_as_0 telegrams with a ScanNo the capture did not keep"
snapped -Y 'telegram.value_count == 32743' -V >"$work/shown.txt"
grep -q 'ScanNo: not captured' "$work/shown.txt" && grep -q '32743 of the 32743 block values were not captured' \
  "$work/shown.txt" && ok "snapped: marked as not captured" || fail "snapped: not marked as not captured"
# Decode As, for the telegrams sent to another port.
decoded=$(tshark -r "$work/session.pcapng" -X lua_script:"$dissector" -d udp.port==5000,telegram \
  -Y 'udp.dstport == 5000 && telegram' 2>/dev/null | wc -l)
[ "$decoded" = 2 ] && ok "offered under Decode As, for port 5000" || fail "Decode As on port 5000: $decoded packets"

# --- Replay of the capture, in each format ----------------------------------
editcap -F pcap "$work/session.pcapng" "$work/session.pcap"
editcap -F nsecpcap "$work/session.pcapng" "$work/session-ns.pcap"
for capture in session.pcapng session.pcap session-ns.pcap; do
  session "" "$work/replayed.txt" "'$sender' --replay '$work/$capture'" 65536
  same_report "$work/replayed.txt" "$work/report.txt" "$capture replayed into a fresh receiver: the same report"
  # At the capture's own pace: dumpcap's pcapng names its interface before
  # giving its nanosecond resolution, and a misread resolution would make
  # the replay a thousand times slower or faster.
  captured_for=$(capinfos -u -M "$work/$capture" | sed -n 's/^Capture duration: *\([0-9.]*\).*/\1/p')
  replayed_for=$(sed -n 's/.* in \([0-9.]*\) s;.*/\1/p' "$work/replayed.txt.sent")
  if awk -v c="$captured_for" -v r="$replayed_for" 'BEGIN { exit !(r >= c * 0.9 - 0.05 && r <= c * 1.1 + 0.3) }'; then
    ok "$capture replayed in $replayed_for s, as captured ($captured_for s)"
  else
    fail "$capture replayed in '$replayed_for' s, captured in '$captured_for' s"
  fi
done
grep -q "skipped 2: 0 not UDP over IPv4, 2 bound for another port, 0 with IP fragments missing, 0 cut short" \
  "$work/replayed.txt.sent" && ok "the replay's line: what was skipped and why" ||
  fail "the replay's line: $(cat "$work/replayed.txt.sent")"

# --- IP fragments -----------------------------------------------------------
commands="'$sender' --scans 10 --blocks 2 --size 65507 --rate 500"
session "$work/fragments.pcapng" "$work/fragments.txt" "$commands" 1500
fragments=$(capinfos -c -M "$work/fragments.pcapng" | sed -n 's/^Number of packets: *//p')
[ "$fragments" -gt 300 ] && ok "at an MTU of 1500 the largest blocks travel as $fragments fragments" ||
  fail "only $fragments packets at an MTU of 1500"
fields "$work/fragments.pcapng" | awk -f "$here/report_from_fields.awk" >"$work/fragments-from-fields.txt"
report_body "$work/fragments.txt" >"$work/fragments-body.txt"
same_report "$work/fragments-from-fields.txt" "$work/fragments-body.txt" "the dissector on reassembled fragments"
session "" "$work/replayed.txt" "'$sender' --replay '$work/fragments.pcapng'" 1500
same_report "$work/replayed.txt" "$work/fragments.txt" "fragments put together again by the replay"

# One fragment out: the middle one of the first block, scan 1's block 0.
middle=$(tshark -r "$work/fragments.pcapng" -Y 'ip.flags.mf == 1' -T fields -e frame.number -e ip.id 2>/dev/null |
  awk 'NR == 1 { first = $2 } $2 == first { frames[++m] = $1 } END { print frames[int((m + 1) / 2)] }')
editcap "$work/fragments.pcapng" "$work/holed.pcapng" "$middle"
session "" "$work/holed.txt" "'$sender' --replay '$work/holed.pcapng'" 1500
grep -q "1 with IP fragments missing" "$work/holed.txt.sent" &&
  ok "a datagram with a fragment missing is skipped and counted" ||
  fail "the replay's line: $(cat "$work/holed.txt.sent")"
# Its report: the whole one less that of the telegram that lost a fragment.
holed_reported=$(grep -c -- '--> Telegram Type: ' "$work/holed.txt" || true)
whole_reported=$(grep -c -- '--> Telegram Type: ' "$work/fragments.txt" || true)
[ "$holed_reported" = $((whole_reported - 1)) ] || fail "$holed_reported reported of $whole_reported, not one less"
lost_block=$(grep -c 'ScanNo:1	 BlockNo:0' "$work/holed.txt" || true)
[ "$lost_block" = 0 ] && ok "the telegram that lost a fragment is not sent half" ||
  fail "scan 1's block 0 was reported, though a fragment of it is missing"

# --- A capture stopped hard, and damaged captures -----------------------------
# Cut in its last packet, as a capture killed while writing: the whole
# packets are replayed, and where it was cut is said; the analyser reads it
# alike, with a warning.
size=$(stat -c %s "$work/session.pcapng")
head -c $((size - 100)) "$work/session.pcapng" >"$work/cut.pcapng"
session "" "$work/cut.txt" "'$sender' --replay '$work/cut.pcapng'" 65536
# (tshark ends with status 2 on such a file, after reading it.)
whole_packets=$({ tshark -r "$work/cut.pcapng" 2>/dev/null || true; } | wc -l)
whole_telegrams=$({ tshark -r "$work/cut.pcapng" -Y 'udp.dstport == 9999' 2>/dev/null || true; } | wc -l)
if grep -q "cut.pcapng: cut short at byte [0-9]* (.*): its $whole_packets whole packets are replayed" "$work/cut.txt.sent" &&
  grep -q "sent $whole_telegrams telegrams" "$work/cut.txt.sent"; then
  ok "a capture cut short: its $whole_packets whole packets replayed, as tshark reads them"
else
  fail "a capture cut short: $(cat "$work/cut.txt.sent")"
fi
{ printf 'BAD!'; tail -c +5 "$work/session.pcap"; } >"$work/magic.pcap"
cp "$work/session.pcapng" "$work/long-block.pcapng"
# The first packet block's length: after the section header and the
# interface description, made huge.
first_block=$(($(od -An -tu4 -j4 -N4 "$work/session.pcapng") + 0))
second_block=$((first_block + $(od -An -tu4 -j$((first_block + 4)) -N4 "$work/session.pcapng")))
printf '\xf0\xff\xff\x0f' | dd of="$work/long-block.pcapng" bs=1 seek=$((second_block + 4)) conv=notrunc 2>/dev/null
for damaged in magic.pcap long-block.pcapng; do
  status=0
  "$sender" --replay "$work/$damaged" --port 9 >"$work/out" 2>"$work/err" || status=$?
  lines=$(wc -l <"$work/err")
  if [ $status = 2 ] && [ "$lines" = 1 ] && grep -q "$work/$damaged: .* (at byte [0-9]*)$" "$work/err"; then
    ok "$damaged: $(cat "$work/err")"
  else
    fail "$damaged: status $status, $(cat "$work/err")"
  fi
done

exit $failed
