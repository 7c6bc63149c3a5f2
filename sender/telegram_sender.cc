// telegram-sender: plays the scanner. Sends scans of telegrams over UDP, each
// a type-1 telegram with the beam range followed by type-6 blocks 0 to N-1,
// back-to-back or at a given rate.
#include <time.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "sender/scan_telegrams.h"
#include "sender/udp_send.h"

namespace {

struct SenderOptions {
  const char* host = "127.0.0.1";
  long port = 9999;
  long scans = 250;
  long blocks = 3;
  long size = 60;
  bool beam_range = true;
  double rate = 0;  // telegrams per second; 0 sends back-to-back
};

const char kUsage[] =
    "usage: telegram-sender [options]\n"
    "Sends scans of scanner telegrams over UDP: per scan one type-1 telegram\n"
    "with the beam range, then type-6 blocks 0 to N-1 of 16-bit values.\n"
    "The defaults send 1000 telegrams, a whole run of telegram-receiver.\n"
    "\n"
    "  --host ADDR    destination host (default 127.0.0.1)\n"
    "  --port N       destination UDP port (default 9999)\n"
    "  --scans N      number of scans (default 250)\n"
    "  --blocks N     type-6 blocks per scan, numbered from 0 (default 3)\n"
    "  --size BYTES   size of each type-6 telegram, 20 to 65507 (default 60)\n"
    "  --no-beam      leave out the type-1 telegram of each scan\n"
    "  --rate N       telegrams per second (default: back-to-back)\n"
    "  --help         show this text\n";

bool ParseNumber(const char* text, long low, long high, long* value) {
  char* end = nullptr;
  errno = 0;
  long parsed = strtol(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || parsed < low || parsed > high) return false;
  *value = parsed;
  return true;
}

// 0 to go on, otherwise the exit status (0 for --help, 2 for a bad argument).
int ParseOptions(int argc, char** argv, SenderOptions* options, bool* done) {
  *done = false;
  for (int i = 1; i < argc; ++i) {
    const char* name = argv[i];
    if (strcmp(name, "--help") == 0 || strcmp(name, "-h") == 0) {
      fputs(kUsage, stdout);
      *done = true;
      return 0;
    }
    if (strcmp(name, "--no-beam") == 0) {
      options->beam_range = false;
      continue;
    }
    if (i + 1 >= argc) {
      fprintf(stderr, "telegram-sender: %s needs a value\n", name);
      return 2;
    }
    const char* value = argv[++i];
    bool ok = true;
    long rate = 0;
    if (strcmp(name, "--host") == 0) {
      options->host = value;
    } else if (strcmp(name, "--port") == 0) {
      ok = ParseNumber(value, 1, 65535, &options->port);
    } else if (strcmp(name, "--scans") == 0) {
      ok = ParseNumber(value, 0, 100000000, &options->scans);
    } else if (strcmp(name, "--blocks") == 0) {
      ok = ParseNumber(value, 0, 65536, &options->blocks);
    } else if (strcmp(name, "--size") == 0) {
      ok = ParseNumber(value, 20, static_cast<long>(kMaxDatagramSize), &options->size);
    } else if (strcmp(name, "--rate") == 0) {
      ok = ParseNumber(value, 1, 100000000, &rate);
      options->rate = static_cast<double>(rate);
    } else {
      fprintf(stderr, "telegram-sender: unknown option '%s' (see --help)\n", name);
      return 2;
    }
    if (!ok) {
      fprintf(stderr, "telegram-sender: bad value '%s' for %s (see --help)\n", value, name);
      return 2;
    }
  }
  return 0;
}

// Sleeps until `deadline`, then moves it on by one interval.
void WaitForTurn(timespec* deadline, long interval_ns) {
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, deadline, nullptr) == EINTR) {
  }
  deadline->tv_nsec += interval_ns;
  deadline->tv_sec += deadline->tv_nsec / 1000000000L;
  deadline->tv_nsec %= 1000000000L;
}

double SecondsSince(const timespec& start) {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec - start.tv_sec) + static_cast<double>(now.tv_nsec - start.tv_nsec) / 1e9;
}

}  // namespace

int main(int argc, char** argv) {
  SenderOptions options;
  bool done = false;
  int status = ParseOptions(argc, argv, &options, &done);
  if (status != 0 || done) return status;

  UdpTarget target;
  char error[256];
  if (!OpenUdpTarget(&target, options.host, static_cast<uint16_t>(options.port), error, sizeof error)) {
    fprintf(stderr, "telegram-sender: %s\n", error);
    return 1;
  }

  std::vector<unsigned char> telegram(kMaxDatagramSize);
  const long interval_ns = options.rate > 0 ? static_cast<long>(1e9 / options.rate) : 0;
  timespec start;
  clock_gettime(CLOCK_MONOTONIC, &start);
  timespec deadline = start;
  long sent = 0;
  unsigned long long bytes = 0;
  for (long scan = 0; scan < options.scans; ++scan) {
    const uint32_t scan_no = static_cast<uint32_t>(scan + 1);
    for (long block = options.beam_range ? -1 : 0; block < options.blocks; ++block) {
      size_t length = block < 0 ? BuildBeamTelegram(telegram.data(), 0, 2700, 10)
                                : BuildBlockTelegram(telegram.data(), static_cast<size_t>(options.size), scan_no,
                                                     static_cast<uint16_t>(block));
      if (interval_ns > 0) WaitForTurn(&deadline, interval_ns);
      int failure = SendDatagram(target, telegram.data(), length);
      if (failure != 0) {
        fprintf(stderr, "telegram-sender: sending telegram %ld to %s:%ld failed: %s\n", sent + 1, options.host,
                options.port, strerror(failure));
        CloseUdpTarget(&target);
        return 1;
      }
      ++sent;
      bytes += length;
    }
  }
  CloseUdpTarget(&target);
  fprintf(stderr, "telegram-sender: sent %ld telegrams (%llu bytes) to %s:%ld in %.3f s\n", sent, bytes,
          options.host, options.port, SecondsSince(start));
  return 0;
}
