# The receiver's report, rebuilt from the fields that the dissector gives
# tshark: one line of fields a datagram, tab-separated, in the order
#   udp.length, telegram.type, telegram.total_size, telegram.header_byte4,
#   telegram.header_byte8, telegram.beam_count, telegram.block_no,
#   telegram.scan_no, telegram.value (all of them, comma-separated).
# The analyser calls no dissector for an empty datagram (UDP length 8),
# which the receiver reports as type 0.
# Written the way the report writes them, with its line ends. Numbers go
# through %.0f: mawk's %d stops at 2^31 - 1 either way.
BEGIN { FS = "\t"; ORS = "" }

# As a signed 32-bit number prints an unsigned one.
function signed32(x) { return x >= 2147483648 ? x - 4294967296 : x }

{
  if ($1 == 8 && $2 == "") {
    printf "--> Telegram Type: 0\r\n"
    next
  }
  $0 = substr($0, index($0, "\t") + 1)  # the telegram's fields, from $1 on
  type = $1 + 0
  printf "--> Telegram Type: %.0f\r\n", type
  if (type == 1) {
    printf "BeamCount : %.0f\t%.0f\t%.0f\t%.0f\r\n", $5, $3, signed32($2 + 0), $4
  } else if (type == 6) {
    printf "TotalSize: %.0f\t ScanNo:%.0f\t BlockNo:%.0f\r\n", signed32($2 - 20), signed32($7 + 0), $6
    if ($6 == 0 || $6 == 1) {
      printf "\n"
      count = split($8, values, ",")
      for (i = 1; i <= count; ++i) printf "%s\t", values[i]
    }
  }
}
