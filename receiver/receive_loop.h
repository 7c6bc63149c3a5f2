// The whole run of the receiver: buffer, socket library, socket, the receive
// loop with its report of each telegram, and the orderly close.
#ifndef RECEIVER_RECEIVE_LOOP_H_
#define RECEIVER_RECEIVE_LOOP_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "telegram/report_output.h"
#include "telegram/telegram_report.h"

struct ReceiverSettings {
  uint16_t port;             // UDP port, on every local IPv4 address
  size_t buffer_size;        // bytes of the receive buffer offered to each receive
  int datagram_limit;        // the run ends after this many datagrams
  LineEnds line_ends;        // how each "\n" of a line reaches the output
  TelegramFormatter format;  // the report of each telegram
};

// The socket receive buffer the receiver asks for. A scanner sends each scan
// as a burst of blocks at line rate, and a datagram the socket has no room
// for is lost for good; the default (about 200 KB on Linux, 64 KB or less on
// Windows) overflows within a burst.
const int kSocketReceiveBufferRequest = 8 * 1024 * 1024;

// Port 9999, a 2,048,000-byte buffer, 1000 datagrams, "\n" as it is, the
// receiver's report.
ReceiverSettings DefaultReceiverSettings();

// RunReceiver's status when an interrupt ended the run: the report is out,
// and the caller ends the process as the interrupt would have.
const int kRunInterrupted = -1;

// Runs the receiver, writing the report to `out` and a failure, in words, to
// `err`. Exit status: 0 once the limit is reached, 1 when the run ended on a
// failure (start-up, bind, receive, or writing the report), or
// kRunInterrupted.
//
// A write to `out` that fails for good ends the run at once, with nothing
// more written: what reached `out` is an exact prefix of the report.
int RunReceiver(const ReceiverSettings& settings, FILE* out, FILE* err);

#endif  // RECEIVER_RECEIVE_LOOP_H_
