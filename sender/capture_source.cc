#include "sender/capture_source.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace {

std::string Seconds(double seconds) {
  char text[64];
  snprintf(text, sizeof text, "%.3f s", seconds);
  return text;
}

}  // namespace

bool CaptureWalk::Open(const std::string& path, std::string* err) {
  return capture_.Open(path, port_, err) == TGR_OK;
}

bool CaptureWalk::Next(SourceTelegram* next) {
  const unsigned char* bytes = nullptr;
  tgr_datagram datagram = {};
  for (;;) {
    if (capture_.Next(&bytes, &datagram) != TGR_OK) return false;
    if (keep_.Keeps(SourceAddress{datagram.source_address, datagram.source_port})) break;
    ++left_out_;
  }
  ++telegrams_;
  const SourceAddress sender{datagram.source_address, datagram.source_port};
  if (senders_.size() < kMostSendersKnown && std::find(senders_.begin(), senders_.end(), sender) == senders_.end()) {
    senders_.push_back(sender);
  }
  CaptureTime time = {false, 0, 0};
  time.known = capture_.Time(&time.seconds, &time.nanoseconds) == TGR_OK;
  int64_t due = clock_.Next(time);
  if (speed_ != 1 && due != kNotTimed) due = static_cast<int64_t>(static_cast<double>(due) / speed_);
  *next = SourceTelegram{bytes, datagram.size, due, datagram.source_address, datagram.source_port};
  return true;
}

bool CaptureSource::Open(const std::string& path, uint16_t port, const ReplayPlan& plan, std::string* err) {
  const int64_t max_gap = plan.max_gap;
  path_ = path;
  port_ = port;
  plan_ = plan;
  notes_.clear();
  // It is read twice: a pipe or a device would give its bytes only once.
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error) && std::filesystem::exists(path, error)) {
    *err = "cannot read the capture " + path + ": it is not a regular file (a replay reads the file twice; " +
           "save a pipe's capture to a file first)";
    return false;
  }
  // The first pass: the whole file checked, its telegrams counted.
  CaptureWalk check(port, max_gap, plan.keep, plan.speed);
  if (!check.Open(path, err)) return false;
  SourceTelegram telegram = {};
  while (check.Next(&telegram)) {
  }
  const tgr_capture_summary summary = check.summary();
  // The library's words name the byte: "damaged: ... (at byte N)", "cut
  // short at byte N (what was left)".
  const std::string words = check.end_words();
  if (summary.end == TGR_CAPTURE_DAMAGED) {
    *err = path + ": " + words;
    return false;
  }
  if (summary.end == TGR_CAPTURE_CUT_SHORT) {
    if (summary.packets == 0) {
      const std::string at = std::to_string(summary.end_offset);
      const std::string cut = "cut short at byte " + at + " (";
      const std::string left = words.rfind(cut, 0) == 0 ? words.substr(cut.size(), words.size() - cut.size() - 1) : words;
      *err = path + ": cut short before its first whole packet: " + left + " (at byte " + at + ")";
      return false;
    }
    notes_.push_back(path + ": " + words + ": its " + std::to_string(summary.packets) + " whole packets are replayed");
  }
  if (summary.taken == 0 && summary.other_port > 0) {
    // A recording made on another port than the one replayed.
    notes_.push_back(path + ": no telegram in it is bound for port " + std::to_string(port) + "; " +
                     std::to_string(summary.other_port) +
                     (summary.other_port == 1 ? " is bound for another port, " : " are bound for other ports, ") +
                     "the first for port " + std::to_string(summary.first_other_port) +
                     ": replay them with --replay-port " + std::to_string(summary.first_other_port));
  }
  const ReplayClock& clock = check.clock();
  if (clock.long_pauses() > 0) {
    const std::string bound = Seconds(static_cast<double>(max_gap) / kNanosecondsPerSecond);
    notes_.push_back(path + ": " + std::to_string(clock.long_pauses()) +
                     (clock.long_pauses() == 1 ? " pause" : " pauses") + " between telegrams longer than " + bound +
                     " (the longest " + Seconds(clock.longest_pause()) + ", before telegram " +
                     std::to_string(clock.longest_pause_before()) + ") shortened to " + bound + " (--max-gap)");
  }
  if (!plan.keep.empty() && check.telegrams() == 0 && summary.taken > 0) {
    notes_.push_back(path + ": none of its " + std::to_string(summary.taken) + " telegrams came from " +
                     plan.keep.Text());
  }
  summary_ = summary;
  telegrams_ = check.telegrams();
  left_out_ = check.left_out();
  senders_ = check.senders().size();
  loops_done_ = 0;
  loop_start_ = 0;
  last_due_ = 0;
  // The second pass, to send, opened as the sending starts: what it reads
  // then is what is sent.
  sending_ = std::make_unique<CaptureWalk>(port, max_gap, plan.keep, plan.speed);
  return true;
}

bool CaptureSource::Next(SourceTelegram* next) {
  // No more than the check found: a file still being written is sent as
  // far as it was when it was checked.
  if (sending_->telegrams() >= telegrams_) {
    // Another pass, if asked for, begins where the last one ended.
    if (telegrams_ == 0 || (plan_.loops > 0 && loops_done_ + 1 >= plan_.loops)) return false;
    ++loops_done_;
    loop_start_ = last_due_;
    sending_ = std::make_unique<CaptureWalk>(port_, plan_.max_gap, plan_.keep, plan_.speed);
  }
  std::string err;
  if (!sending_->is_open() && !sending_->Open(path_, &err)) {
    fprintf(stderr, "telegram-sender: %s changed while it was replayed: %s\n", path_.c_str(), err.c_str());
    changed_ = true;
    return false;
  }
  if (sending_->Next(next)) {
    if (next->due != kNotTimed) {
      next->due += loop_start_;
      last_due_ = next->due;
    }
    return true;
  }
  fprintf(stderr, "telegram-sender: %s changed while it was replayed: it gave %ld of the %ld telegrams it held\n",
          path_.c_str(), sending_->telegrams(), telegrams_);
  changed_ = true;
  return false;
}

std::string CaptureSource::DescribeSkipped() const {
  const tgr_capture_summary& tally = summary_;
  const uint64_t skipped = tally.not_udp + tally.other_port + tally.incomplete + tally.cut_short + tally.conflicting;
  return "from " + path_ + ", skipped " + std::to_string(skipped) + ": " + std::to_string(tally.not_udp) +
         " not UDP over IPv4, " + std::to_string(tally.other_port) + " bound for another port, " +
         std::to_string(tally.incomplete) + " with IP fragments missing, " + std::to_string(tally.cut_short) +
         " cut short by the capture's snap length, " + std::to_string(tally.conflicting) +
         " whose IP fragments overlap and disagree" +
         (plan_.keep.empty() ? std::string()
                             : ", " + std::to_string(left_out_) + " from other senders than " + plan_.keep.Text()) +
         (loops_done_ > 0 ? "; " + std::to_string(loops_done_ + 1) + " passes over it" : std::string());
}
