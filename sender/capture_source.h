// A recorded capture as a source of telegrams: the payload of every UDP
// datagram over IPv4 bound for one port, in the order captured, each due at
// its recorded time after the first.
#ifndef SENDER_CAPTURE_SOURCE_H_
#define SENDER_CAPTURE_SOURCE_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "capture/udp_datagrams.h"
#include "sender/telegram_source.h"

struct CaptureSource {
  std::vector<CapturedDatagram> datagrams;
  DatagramTally tally;  // what was taken and what was skipped, and why
  size_t next;
  int64_t first_time;   // of the first datagram with a time
  int64_t last_due;
};

// Reads and checks the whole capture at `path` before anything is sent.
// False if it cannot be read, is no capture or is damaged: `*error` then
// says so in one line that names the file and the byte where it goes wrong.
bool OpenCaptureSource(CaptureSource* source, const std::string& path, uint16_t port, std::string* error);

// Its telegrams, in order.
TelegramSource CaptureTelegrams(CaptureSource* source);

// What the sending line adds: where the telegrams came from, and what of the
// capture was skipped and why.
std::string DescribeSkipped(const CaptureSource& source, const std::string& path);

#endif  // SENDER_CAPTURE_SOURCE_H_
