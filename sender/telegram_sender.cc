// telegram-sender: plays the scanner. Sends scans of telegrams over UDP, each
// a type-1 telegram with the beam range followed by type-6 blocks 0 to N-1,
// back-to-back or at a given rate.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "sender/receiver_demo.h"
#include "sender/scan_telegrams.h"
#include "sender/send_scans.h"
#include "sender/udp_send.h"

namespace {

struct SenderOptions {
  const char* host = "127.0.0.1";
  long port = 9999;
  long scans = 250;
  long blocks = 3;
  long size = 60;
  bool beam_range = true;
  bool same_values = false;
  long rate = 0;  // telegrams per second; 0 sends back-to-back
  const char* receiver = nullptr;  // the demo: start this receiver and feed it
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
    "  --same-values  every scan's blocks carry the values of scan 1\n"
    "  --rate N       telegrams per second (default: back-to-back)\n"
    "  --receiver PROGRAM  start PROGRAM (telegram-receiver), pass its report on,\n"
    "                 send once it is ready and end with its exit status\n"
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
    if (strcmp(name, "--same-values") == 0) {
      options->same_values = true;
      continue;
    }
    if (i + 1 >= argc) {
      fprintf(stderr, "telegram-sender: %s needs a value\n", name);
      return 2;
    }
    const char* value = argv[++i];
    bool ok = true;
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
      ok = ParseNumber(value, 1, 100000000, &options->rate);
    } else if (strcmp(name, "--receiver") == 0) {
      options->receiver = value;
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

}  // namespace

int main(int argc, char** argv) {
  SenderOptions options;
  bool done = false;
  int status = ParseOptions(argc, argv, &options, &done);
  if (status != 0 || done) return status;

  const ScanPlan plan = {options.scans, options.blocks, options.size,
                         options.beam_range, options.rate, options.same_values};
  const uint16_t port = static_cast<uint16_t>(options.port);
  if (options.receiver != nullptr) return RunReceiverDemo(options.receiver, plan, options.host, port);

  UdpTarget target;
  char error[256];
  if (!OpenUdpTarget(&target, options.host, port, error, sizeof error)) {
    fprintf(stderr, "telegram-sender: %s\n", error);
    return 1;
  }
  SendTally tally = {};
  const int failure = SendScans(plan, target, nullptr, &tally);
  CloseUdpTarget(&target);
  if (failure != 0) {
    char cause[256];
    DescribeSendError(failure, cause, sizeof cause);
    fprintf(stderr, "telegram-sender: sending telegram %ld to %s:%ld failed: %s\n", tally.sent + 1, options.host,
            options.port, cause);
    return 1;
  }
  fprintf(stderr, "telegram-sender: sent %ld telegrams (%llu bytes) to %s:%ld in %.3f s\n", tally.sent, tally.bytes,
          options.host, options.port, tally.seconds);
  return 0;
}
