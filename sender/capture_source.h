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

#include "net/source_address.h"
#include "sender/replay_clock.h"
#include "sender/telegram_source.h"
#include "tgr/tgr.hpp"

// The longest pause between two telegrams that a replay keeps, by default.
const long kDefaultMaxGapSeconds = 10;

// One pass over a capture, read through the library: its telegrams, with
// the time each is due.
class CaptureWalk {
 public:
  // The telegrams bound for `port` from the senders `keep` keeps, due at
  // their recorded pace divided by `speed`.
  CaptureWalk(uint16_t port, int64_t max_gap, const SourceFilter& keep = SourceFilter(), double speed = 1)
      : port_(port), clock_(max_gap), keep_(keep), speed_(speed) {}

  // False, with the words in `*err`, if the file cannot be opened.
  bool Open(const std::string& path, std::string* err);
  // The next telegram; false once there is none (summary() says why).
  bool Next(SourceTelegram* next);

  bool is_open() const { return capture_.is_open(); }
  tgr_capture_summary summary() const { return capture_.Summary(); }
  // How the packets ended, if not whole.
  std::string end_words() const { return capture_.error(); }
  const ReplayClock& clock() const { return clock_; }
  long telegrams() const { return telegrams_; }
  // Telegrams from senders `keep` leaves out.
  long left_out() const { return left_out_; }
  // The senders of the telegrams given, the first kMostSendersKnown.
  const std::vector<SourceAddress>& senders() const { return senders_; }
  static constexpr size_t kMostSendersKnown = 1024;

 private:
  uint16_t port_;
  tgr::Capture capture_;
  ReplayClock clock_;
  SourceFilter keep_;
  double speed_;
  long telegrams_ = 0;
  long left_out_ = 0;
  std::vector<SourceAddress> senders_;
};

// How a capture is replayed, beside its file and port.
struct ReplayPlan {
  int64_t max_gap = 0;   // the longest pause kept, in nanoseconds
  SourceFilter keep;     // the senders sent; empty: every one
  double speed = 1;      // a multiple of the recorded pace
  long loops = 1;        // passes over the capture; 0: without end
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
  bool Open(const std::string& path, uint16_t port, int64_t max_gap, std::string* err) {
    ReplayPlan plan;
    plan.max_gap = max_gap;
    return Open(path, port, plan, err);
  }
  // The same, sending only the senders `plan` keeps, at its speed, as many
  // times over as it asks.
  bool Open(const std::string& path, uint16_t port, const ReplayPlan& plan, std::string* err);

  // The senders of the capture's telegrams that are sent: more than one,
  // and each is best sent from a socket of its own.
  size_t senders() const { return senders_; }

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
  ReplayPlan plan_;
  tgr_capture_summary summary_ = {};
  long telegrams_ = 0;
  long left_out_ = 0;
  size_t senders_ = 0;
  long loops_done_ = 0;
  int64_t loop_start_ = 0;  // when the pass under way began, after the first telegram
  int64_t last_due_ = 0;
  std::vector<std::string> notes_;
  std::unique_ptr<CaptureWalk> sending_;
  bool changed_ = false;
};

#endif  // SENDER_CAPTURE_SOURCE_H_
