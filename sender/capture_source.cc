#include "sender/capture_source.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace {

// a + b, or the largest due time there is: a replay of many long pauses
// never wraps.
int64_t SaturatingAdd(int64_t a, int64_t b) { return a > INT64_MAX - b ? INT64_MAX : a + b; }

std::string Seconds(double seconds) {
  char text[64];
  snprintf(text, sizeof text, "%.3f s", seconds);
  return text;
}

}  // namespace

bool CaptureWalk::Open(const std::string& path, std::string* err) {
  if (!file_.Open(path, err)) return false;
  Read(&file_);
  return true;
}

bool CaptureWalk::Next(SourceTelegram* next) {
  CapturedPacket packet = {};
  CapturedDatagram datagram = {};
  for (;;) {
    if (!reader_->Next(&packet)) {
      datagrams_.Finish();
      return false;
    }
    if (datagrams_.Take(packet, &datagram)) break;
  }
  ++telegrams_;
  // A telegram the capture gives no time goes with the one before it; one
  // earlier than the latest so far goes right after the one before it.
  const CaptureTime& time = datagram.time;
  if (time.known && !latest_.known) {
    latest_ = time;
  } else if (time.known) {
    bool beyond = false;
    const int64_t gap = TimeBetween(latest_, time, max_gap_, &beyond);
    if (beyond) {
      ++long_pauses_;
      const double pause = SecondsBetween(latest_, time);
      if (pause > longest_pause_) {
        longest_pause_ = pause;
        longest_pause_before_ = telegrams_;
      }
    }
    if (gap > 0) {
      due_ = SaturatingAdd(due_, gap);
      latest_ = time;
    }
  }
  *next = SourceTelegram{datagram.payload, datagram.size, due_};
  return true;
}

bool CaptureSource::Open(const std::string& path, uint16_t port, int64_t max_gap, std::string* err) {
  path_ = path;
  port_ = port;
  max_gap_ = max_gap;
  notes_.clear();
  // It is read twice: a pipe or a device would give its bytes only once.
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error) && std::filesystem::exists(path, error)) {
    *err = "cannot read the capture " + path + ": it is not a regular file (a replay reads the file twice; " +
           "save a pipe's capture to a file first)";
    return false;
  }
  // The first pass: the whole file checked, its telegrams counted.
  CaptureWalk check(port, max_gap);
  std::string why;
  if (!check.Open(path, &why)) {
    *err = "cannot read the capture " + path + ": " + why;
    return false;
  }
  SourceTelegram telegram = {};
  while (check.Next(&telegram)) {
  }
  const CaptureReader& reader = check.reader();
  const std::string where = " (at byte " + std::to_string(reader.end_offset()) + ")";
  if (reader.end() == kCaptureDamaged) {
    *err = path + ": " + reader.end_words() + where;
    return false;
  }
  if (reader.end() == kCaptureCutShort) {
    if (reader.packets() == 0) {
      *err = path + ": cut short before its first whole packet: " + reader.end_words() + where;
      return false;
    }
    notes_.push_back(path + ": cut short at byte " + std::to_string(reader.end_offset()) + " (" +
                     reader.end_words() + "): its " + std::to_string(reader.packets()) +
                     " whole packets are replayed");
  }
  if (check.long_pauses() > 0) {
    const std::string bound = Seconds(static_cast<double>(max_gap) / kNanosecondsPerSecond);
    notes_.push_back(path + ": " + std::to_string(check.long_pauses()) +
                     (check.long_pauses() == 1 ? " pause" : " pauses") + " between telegrams longer than " + bound +
                     " (the longest " + Seconds(check.longest_pause()) + ", before telegram " +
                     std::to_string(check.longest_pause_before()) + ") shortened to " + bound + " (--max-gap)");
  }
  tally_ = check.tally();
  telegrams_ = check.telegrams();
  // The second pass, to send.
  sending_ = std::make_unique<CaptureWalk>(port, max_gap);
  if (!sending_->Open(path, &why)) {
    *err = "cannot read the capture " + path + ": " + why;
    return false;
  }
  return true;
}

bool CaptureSource::Next(SourceTelegram* next) {
  // No more than the check found: a file still being written is sent as
  // far as it was when it was checked.
  if (sending_->telegrams() >= telegrams_) return false;
  if (sending_->Next(next)) return true;
  fprintf(stderr, "telegram-sender: %s changed while it was replayed: it gave %ld of the %ld telegrams it held\n",
          path_.c_str(), sending_->telegrams(), telegrams_);
  changed_ = true;
  return false;
}

std::string CaptureSource::DescribeSkipped() const {
  const DatagramTally& tally = tally_;
  const long skipped = tally.not_udp + tally.other_port + tally.incomplete + tally.cut_short + tally.conflicting;
  return "from " + path_ + ", skipped " + std::to_string(skipped) + ": " + std::to_string(tally.not_udp) +
         " not UDP over IPv4, " + std::to_string(tally.other_port) + " bound for another port, " +
         std::to_string(tally.incomplete) + " with IP fragments missing, " + std::to_string(tally.cut_short) +
         " cut short by the capture's snap length, " + std::to_string(tally.conflicting) +
         " whose IP fragments overlap and disagree";
}
