// A recorded capture as a source of telegrams: the payload of every UDP
// datagram over IPv4 bound for one port, in the order captured, each due at
// its recorded time after the first, with any pause longer than a bound
// shortened to it.
//
// The capture is read twice, a packet at a time, so that memory never grows
// with the file: once to check it whole before anything is sent (a damaged
// file sends nothing), and once to send.
#ifndef SENDER_CAPTURE_SOURCE_H_
#define SENDER_CAPTURE_SOURCE_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "capture/byte_source.h"
#include "capture/capture_file.h"
#include "capture/udp_datagrams.h"
#include "sender/telegram_source.h"

// The longest pause between two telegrams that a replay keeps, by default.
const long kDefaultMaxGapSeconds = 10;

// One pass over a capture: its telegrams, with the time each is due.
class CaptureWalk {
 public:
  CaptureWalk(uint16_t port, int64_t max_gap) : datagrams_(port), max_gap_(max_gap) {}

  // Reads the file at `path`; false, with `*err`, if it cannot be opened.
  bool Open(const std::string& path, std::string* err);
  // Reads `source`, which must outlive the walk.
  void Read(ByteSource* source) { reader_ = std::make_unique<CaptureReader>(source); }
  // The next telegram; false once there is none (reader() says why).
  bool Next(SourceTelegram* next);

  const CaptureReader& reader() const { return *reader_; }
  const UdpDatagramReader& datagrams() const { return datagrams_; }
  const DatagramTally& tally() const { return datagrams_.tally(); }
  long telegrams() const { return telegrams_; }
  // Pauses longer than the bound, and the longest of them: its length in
  // seconds, and the telegram it came before.
  long long_pauses() const { return long_pauses_; }
  double longest_pause() const { return longest_pause_; }
  long longest_pause_before() const { return longest_pause_before_; }

 private:
  FileSource file_;
  std::unique_ptr<CaptureReader> reader_;
  UdpDatagramReader datagrams_;
  int64_t max_gap_;
  long telegrams_ = 0;
  CaptureTime latest_ = {false, 0, 0};  // the latest time of a telegram so far
  int64_t due_ = 0;                     // nanoseconds after the first, at `latest_`
  long long_pauses_ = 0;
  double longest_pause_ = 0;
  long longest_pause_before_ = 0;
};

class CaptureSource : public TelegramSource {
 public:
  // Reads and checks the whole capture at `path` before anything is sent.
  // False if it cannot be read, is no capture, is damaged, or is cut short
  // before its first whole packet, or is no regular file (a pipe, a
  // device, a folder): `*err` then says so in one line that
  // names the file and the byte where it goes wrong. A capture cut short
  // later is replayed as far as its whole packets go (notes() says so).
  // `max_gap` bounds a pause between two telegrams, in nanoseconds.
  bool Open(const std::string& path, uint16_t port, int64_t max_gap, std::string* err);

  // What a user should know before the sending starts, one line each: the
  // file cut short, pauses shortened. Empty if nothing.
  const std::vector<std::string>& notes() const { return notes_; }

  // Its telegrams, in order: those the check counted, and no more.
  bool Next(SourceTelegram* next) override;

  // The file changed between the check and the sending, and gave fewer
  // telegrams than it held: said on standard error, and a failure.
  bool changed() const { return changed_; }

  // What the sending line adds: where the telegrams came from, and what of the
  // capture was skipped and why.
  std::string DescribeSkipped() const;

 private:
  std::string path_;
  uint16_t port_ = 0;
  int64_t max_gap_ = 0;
  DatagramTally tally_ = {};
  long telegrams_ = 0;
  std::vector<std::string> notes_;
  std::unique_ptr<CaptureWalk> sending_;
  bool changed_ = false;
};

#endif  // SENDER_CAPTURE_SOURCE_H_
