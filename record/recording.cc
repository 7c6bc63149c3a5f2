#include "record/recording.h"

#include <filesystem>
#include <system_error>

#include "record/telegram_lines.h"

namespace {

const int64_t kNsPerSecond = 1000000000;

std::string Plural(uint64_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

std::string Recording::RotatedName(const std::string& path, int64_t start_ns, uint64_t number) {
  // "2026-12-10T11:30:00.123456789Z" made "20261210T113000Z": no colon,
  // which Windows refuses in a name.
  const std::string utc = UtcTime(start_ns);
  std::string stamp;
  for (char c : utc.substr(0, 19)) {
    if (c != '-' && c != ':') stamp.push_back(c);
  }
  stamp += 'Z';
  std::string number_text = std::to_string(number);
  if (number_text.size() < 5) number_text.insert(0, 5 - number_text.size(), '0');
  // Before the extension of the name (not of a folder, nor a name's
  // leading dot), with the separators as the user wrote them.
  const size_t name_at = path.find_last_of("/\\") == std::string::npos ? 0 : path.find_last_of("/\\") + 1;
  size_t dot = path.rfind('.');
  if (dot == std::string::npos || dot <= name_at) dot = path.size();
  return path.substr(0, dot) + "_" + stamp + "_" + number_text + path.substr(dot);
}

bool Recording::Next(int64_t start_ns, std::string* err) {
  if (recorder_.is_open()) {
    packets_ += recorder_.packets();
    if (recorder_.Close(err) != TGR_OK) return false;
  }
  ++files_;
  current_ = rotating() ? RotatedName(plan_.path, start_ns, files_) : plan_.path;
  if (recorder_.Open(current_, err) != TGR_OK) {
    current_.clear();
    return false;
  }
  started_ns_ = start_ns;
  if (files_ == 1) first_ = current_;
  kept_.push_back(current_);
  // The ring keeps the newest files: the oldest go.
  while (plan_.ring > 0 && kept_.size() > static_cast<size_t>(plan_.ring)) {
    std::error_code error;
    if (!std::filesystem::remove(kept_.front(), error) && error) {
      *err = "cannot remove " + kept_.front() + " from the ring: " + error.message();
      return false;
    }
    kept_.pop_front();
    ++removed_;
  }
  return true;
}

bool Recording::Open(const RecordingPlan& plan, int64_t now_ns, std::string* err) {
  plan_ = plan;
  return Next(now_ns, err);
}

bool Recording::Write(const tgr_datagram& datagram, const unsigned char* bytes, uint32_t destination_address,
                      uint16_t destination_port, std::string* err) {
  if (failed_ || !recorder_.is_open()) {
    *err = "the recording has stopped";
    return false;
  }
  const bool full = plan_.rotate_bytes > 0 && recorder_.bytes() >= plan_.rotate_bytes;
  const bool old = plan_.rotate_seconds > 0 && datagram.time_ns - started_ns_ >= plan_.rotate_seconds * kNsPerSecond;
  if ((full || old) && recorder_.packets() > 0 && !Next(datagram.time_ns, err)) {
    failed_ = true;
    return false;
  }
  if (recorder_.Write(datagram, bytes, datagram.size, destination_address, destination_port) != TGR_OK) {
    *err = recorder_.error();
    failed_ = true;
    return false;
  }
  return true;
}

bool Recording::Close(std::string* err) {
  if (!recorder_.is_open()) return true;
  packets_ += recorder_.packets();
  return recorder_.Close(err) == TGR_OK;
}

std::string Recording::Where() const {
  if (files_ <= 1) return "in " + first_;
  std::string words = "in " + Plural(files_, "file", "files") + ", " + first_ + " to " + kept_.back();
  if (removed_ > 0) {
    words += " (the ring kept the newest " + std::to_string(kept_.size()) + ": " +
             Plural(removed_, "file", "files") + " removed)";
  }
  return words;
}
