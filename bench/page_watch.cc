#include "bench/page_watch.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

namespace {

double Now() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// The number after `key` in `text` from `at` on, or -1 if the key is not
// there.
long long NumberAfter(const std::string& text, const char* key, size_t at = 0) {
  const size_t found = text.find(key, at);
  return found == std::string::npos ? -1 : strtoll(text.c_str() + found + strlen(key), nullptr, 10);
}

}  // namespace

PageWatch::PageWatch(int from, int to, int port) : from_(from), to_(to), port_(port) {
  if (from_ >= 0) {
    relay_ = std::thread(&PageWatch::Relay, this);
  } else {
    relayed_ = true;
  }
  listen_ = std::thread(&PageWatch::Listen, this);
}

PageWatch::~PageWatch() {
  stop_ = true;
  Join();
}

void PageWatch::Join() {
  // The relay ends at the end of the receiver's output, which is over (or
  // killed) by now.
  if (listen_.joinable()) listen_.join();
  if (relay_.joinable()) relay_.join();
}

void PageWatch::Relay() {
  static const char kKey[] = "ScanNo:";
  std::vector<char> chunk(1 << 20);
  std::string tail;  // the end of the last chunk, where a line may begin
  for (;;) {
    const ssize_t n = read(from_, chunk.data(), chunk.size());
    if (n <= 0) break;
    const double now = Now();
    std::string text = tail;
    text.append(chunk.data(), static_cast<size_t>(n));
    size_t at = 0;
    for (size_t found; (found = text.find(kKey, at)) != std::string::npos; at = found + 1) {
      // Whole numbers only: one cut by the chunk's end is taken next time.
      const size_t digits = found + sizeof kKey - 1;
      const size_t end = text.find_first_not_of("-0123456789", digits);
      if (end == std::string::npos) break;
      if (found >= tail.size() || end >= tail.size()) {
        lines_.emplace_back(strtoll(text.c_str() + digits, nullptr, 10), now);
      }
    }
    tail = text.substr(text.size() - std::min<size_t>(text.size(), 32));
    for (ssize_t written = 0; written < n;) {
      const ssize_t w = write(to_, chunk.data() + written, static_cast<size_t>(n - written));
      if (w <= 0) break;
      written += w;
    }
  }
  close(from_);
  close(to_);
  relayed_ = true;
}

void PageWatch::Listen() {
  int fd = -1;
  // The plot listens within moments of its start.
  for (const double give_up = Now() + 10; fd < 0 && Now() < give_up && !stop_;) {
    fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in to = {};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(port_));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) {
      close(fd);
      fd = -1;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  if (fd < 0) return;
  const char request[] = "GET /events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
  if (send(fd, request, sizeof request - 1, MSG_NOSIGNAL) != static_cast<ssize_t>(sizeof request - 1)) {
    close(fd);
    return;
  }
  std::string news;
  char chunk[65536];
  while (!stop_ && !over_) {
    pollfd entry = {fd, POLLIN, 0};
    if (poll(&entry, 1, 50) <= 0) continue;
    const ssize_t n = recv(fd, chunk, sizeof chunk, 0);
    if (n <= 0) break;
    const double now = Now();
    news.append(chunk, static_cast<size_t>(n));
    // Each piece of news ends in a blank line.
    for (size_t end; (end = news.find("\n\n")) != std::string::npos; news.erase(0, end + 2)) {
      const std::string one = news.substr(0, end);
      if (one.find("data: ") == std::string::npos) continue;
      const long long read = NumberAfter(one, "\"telegrams\":");
      if (read >= 0) telegrams_ = static_cast<long>(read);
      const size_t newest = one.find("\"newest\":{");
      if (newest != std::string::npos) {
        const long long scan = NumberAfter(one, "\"scan\":", newest);
        if (told_.empty() || told_.back().first != scan) told_.emplace_back(scan, now);
      }
      if (one.find("\"reading\":false") != std::string::npos) over_ = true;
    }
  }
  close(fd);
}

void PageWatch::Finish(double seconds) {
  for (const double give_up = Now() + seconds; (!relayed_ || !over_) && Now() < give_up;) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  stop_ = true;
  Join();
}

std::vector<double> PageWatch::Latencies() const {
  std::map<long long, double> passed;
  for (const auto& line : lines_) passed.emplace(line.first, line.second);
  std::vector<double> latencies;
  for (const auto& news : told_) {
    const auto line = passed.find(news.first);
    if (line != passed.end()) latencies.push_back(news.second - line->second);
  }
  return latencies;
}
