// The blocks of values of telegrams themselves, taken through the library:
// received on a UDP port (a multicast group joined), or read from a
// capture. Each block carries its source, so that several scanners are
// shown apart. Every type-6 telegram with values gives a block: the
// telegram holds them all, where a report prints those of blocks 0 and 1.
#ifndef PLOT_TELEGRAM_INPUT_H_
#define PLOT_TELEGRAM_INPUT_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "net/source_address.h"
#include "telegram/report_reader.h"
#include "tgr/tgr.hpp"

struct TelegramInputPlan {
  std::string capture;         // a capture to read; empty: receive on UDP
  std::string address;         // to receive on: empty for every IPv4 address, or a multicast group
  std::string interface_name;  // a group's interface; empty: the system's choice
  uint16_t port = 9999;        // received on, or, in a capture, the port the telegrams were sent to
  SourceFilter sources;        // the senders kept; empty: all
};

// How far the input has come.
enum class InputStep {
  kMore,    // more may come
  kEnd,     // a capture is over (whole(), or error() says where it is damaged)
  kFailed,  // receiving failed: error() says why
};

// The senders told apart for the summary: the first so many, the rest
// counted together.
const size_t kSourcesNamed = 256;

// The values text of `count` values at `values` (little-endian pairs), as
// the report prints them: each value's digits and a tab.
void AppendValueText(const uint8_t* values, size_t count, std::string* out);

// The block of a telegram's bytes, if it is one of type 6 with values: its
// place `telegram`, its source in words.
bool BlockOfTelegram(const unsigned char* bytes, size_t size, long telegram, const std::string& source,
                     ReportBlock* block);

class TelegramInput {
 public:
  // Opens the port or the capture. False, with one line in `*err`.
  bool Open(const TelegramInputPlan& plan, std::string* err);

  // The blocks of the telegrams that came within `wait_ms` (received), or
  // of the next few (a capture), to the end of `*blocks`.
  InputStep Next(int wait_ms, std::vector<ReportBlock>* blocks);

  // "UDP port 9999", "the multicast group 239.1.2.3, UDP port 9999", or the
  // capture's path.
  std::string Name() const;
  // ReportState::input: "udp" or "capture".
  const char* Kind() const { return plan_.capture.empty() ? "udp" : "capture"; }

  long telegrams() const { return telegrams_; }  // taken (kept by --source)
  uint64_t ignored() const { return ignored_; }  // from senders not kept
  uint64_t sources() const { return sources_.size() + (more_sources_ ? 1 : 0); }  // senders taken from (the rest as one)
  bool whole() const { return whole_; }          // a capture read to the end of its last packet
  bool cut_short() const { return cut_short_; }  // a capture that ends inside a packet
  const std::string& error() const { return error_; }

 private:
  bool Take(const unsigned char* bytes, const tgr_datagram& datagram, std::vector<ReportBlock>* blocks);
  InputStep EndOfCapture();

  TelegramInputPlan plan_;
  tgr::Receiver receiver_;
  tgr::Capture capture_;
  std::vector<unsigned char> buffer_;
  long telegrams_ = 0;
  uint64_t ignored_ = 0;
  std::vector<SourceAddress> sources_;
  bool more_sources_ = false;
  bool whole_ = false;
  bool cut_short_ = false;
  std::string error_;
};

#endif  // PLOT_TELEGRAM_INPUT_H_
