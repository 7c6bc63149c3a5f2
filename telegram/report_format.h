// What the receiver's report is made of: its fixed lines, the formats of its
// numbered lines, and the numbers of the run that shape it. The receiver,
// the demo that waits for the banner, the benchmark's comparison receivers,
// the fuzzer, the report reader and the tests all take them from here.
//
// In the lines, "\r\n" and "\n" are part of the format: each goes to standard
// output as written (a Windows text stream then writes every "\n" as "\r\n").
#ifndef TELEGRAM_REPORT_FORMAT_H_
#define TELEGRAM_REPORT_FORMAT_H_

#include <cstddef>
#include <cstdint>

// Before the first receive.
constexpr char kBannerLine[] = "Receiving datagrams...\n";
// Every datagram: its TelegramType, 0 to 65535.
constexpr char kTypeLineFormat[] = "--> Telegram Type: %d\r\n";
// Type 1: BeamCount, HeaderByte4, TotalSize (signed), HeaderByte8.
constexpr char kBeamCountLineFormat[] = "BeamCount : %d\t%d\t%d\t%d\r\n";
// Type 6: TotalSize - 20 and ScanNo (both signed), BlockNo.
constexpr char kBlockLineFormat[] = "TotalSize: %d\t ScanNo:%d\t BlockNo:%d\r\n";
// Blocks 0 and 1: this empty line, then each value followed by a tab, with
// no line end after the last.
constexpr char kBlockValuesStart[] = "\n";
constexpr char kBlockValueSeparator = '\t';
// A failure to start, to bind or to receive, with its Windows Sockets number.
constexpr char kErrorLineFormat[] = "WSAGetLastError: %d\r\n";
// After the last datagram or a failure.
constexpr char kClosingLine[] = "Finished receiving. Closing socket.\n";
constexpr char kExitLine[] = "Exiting.\n";

// The length of a numbered line's fixed start, up to its first number:
// what a reader of the report matches a line against.
constexpr size_t FixedStartLength(const char* format) {
  size_t length = 0;
  while (format[length] != '%' && format[length] != '\0') ++length;
  return length;
}

// The run: UDP port 9999 on every local IPv4 address, 1000 datagrams, each
// received into the start of one 2,048,000-byte buffer.
const uint16_t kReceiverPort = 9999;
const int kDatagramLimit = 1000;
const size_t kReceiveBufferSize = size_t{2000} * 1024;

#endif  // TELEGRAM_REPORT_FORMAT_H_
