# The receiver's report, rebuilt from the fields that the dissector gives
# tshark: one line of fields a datagram, tab-separated, in the order
#   udp.length, telegram.type, telegram.header_byte4, telegram.header_byte8,
#   telegram.beam_count, telegram.report_total_size, telegram.block_no,
#   telegram.report_size, telegram.report_scan_no, telegram.value (all of
#   them, comma-separated).
# The numbers are those the report prints, as the dissector gives them: no
# arithmetic here.
# The analyser calls no dissector for an empty datagram (UDP length 8),
# which the receiver reports as type 0.
# Written the way the report writes them, with its line ends. Numbers go
# through %.0f: mawk's %d stops at 2^31 - 1 either way.
BEGIN { FS = "\t"; ORS = "" }

{
  if ($1 == 8 && $2 == "") {
    printf "--> Telegram Type: 0\r\n"
    next
  }
  $0 = substr($0, index($0, "\t") + 1)  # the telegram's fields, from $1 on
  type = $1 + 0
  printf "--> Telegram Type: %.0f\r\n", type
  if (type == 1) {
    printf "BeamCount : %.0f\t%.0f\t%.0f\t%.0f\r\n", $4, $2, $5, $3
  } else if (type == 6) {
    printf "TotalSize: %.0f\t ScanNo:%.0f\t BlockNo:%.0f\r\n", $7, $8, $6
    if ($6 == 0 || $6 == 1) {
      printf "\n"
      count = split($9, values, ",")
      for (i = 1; i <= count; ++i) printf "%s\t", values[i]
    }
  }
}
