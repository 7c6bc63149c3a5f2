// The receivers the benchmark measures the program against, on the same
// socket layer and receive buffer:
//   baseline-receiver bare     prints only the type line of each telegram: the
//                              least any receiver can do;
//   baseline-receiver floor    prints the whole report, but formats a block's
//                              values only when they differ from the last
//                              block's, and otherwise writes the same text
//                              again: what is left is the receive and the
//                              write, the floor for any receiver that prints
//                              the values;
//   baseline-receiver printf   prints the whole report with one printf call
//                              per line and per block value: the straightforward way.
#include <sys/uio.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "receiver/receive_loop.h"
#include "net/socket.h"
#include "telegram/beam_count_report.h"
#include "telegram/report_format.h"
#include "telegram/telegram.h"

// The value format as the report's format string has always been written.
#pragma GCC diagnostic ignored "-Wformat"

namespace {

void PrintfReport(Telegram t) {
  uint16_t type = TelegramType(t);
  if (type == 1) {
    printf(kBeamCountLineFormat, BeamCount(BeamStart(t), BeamStop(t), BeamStep(t)), HeaderByte4(t),
           static_cast<int>(TotalSize(t)), HeaderByte8(t));
  } else if (type == 6) {
    printf(kBlockLineFormat, static_cast<int>(TotalSize(t) - 20),
           static_cast<int>(ScanNo(t)), BlockNo(t));
    if (BlockNo(t) == 0 || BlockNo(t) == 1) {
      printf("%s", kBlockValuesStart);
      size_t count = BlockValueCount(t);
      for (size_t i = 0; i < count; ++i) printf("%00000d\t", BlockValue(t, i));
    }
  }
}

// The floor: the last block's values and their text, kept while they repeat.
std::string last_values;
std::string last_text;

void FloorReport(Telegram t) {
  char lines[256];
  int length = snprintf(lines, sizeof lines, kTypeLineFormat, TelegramType(t));
  const char* values = "";
  size_t values_length = 0;
  if (TelegramType(t) == 1) {
    length += snprintf(lines + length, sizeof lines - static_cast<size_t>(length), kBeamCountLineFormat, BeamCount(BeamStart(t), BeamStop(t), BeamStep(t)), HeaderByte4(t),
                       static_cast<int>(TotalSize(t)), HeaderByte8(t));
  } else if (TelegramType(t) == 6) {
    length += snprintf(lines + length, sizeof lines - static_cast<size_t>(length), kBlockLineFormat,
                       static_cast<int>(TotalSize(t) - 20), static_cast<int>(ScanNo(t)), BlockNo(t));
    if (BlockNo(t) <= 1) {
      length += snprintf(lines + length, sizeof lines - static_cast<size_t>(length), "%s", kBlockValuesStart);
    }
    if (BlockNo(t) <= 1) {
      const size_t count = BlockValueCount(t);
      const char* payload = reinterpret_cast<const char*>(t.bytes + kBlockValuesOffset);
      if (last_values.size() != 2 * count || memcmp(last_values.data(), payload, 2 * count) != 0) {
        last_values.assign(payload, 2 * count);
        last_text.clear();
        char value[8];
        for (size_t i = 0; i < count; ++i) {
          last_text.append(value, static_cast<size_t>(snprintf(value, sizeof value, "%u\t", BlockValue(t, i))));
        }
      }
      values = last_text.data();
      values_length = last_text.size();
    }
  }
  iovec pieces[2] = {{lines, static_cast<size_t>(length)}, {const_cast<char*>(values), values_length}};
  if (writev(1, pieces, 2) < 0) exit(1);
}

}  // namespace

int main(int argc, char** argv) {
  const char* mode = argc == 2 ? argv[1] : "";
  if (strcmp(mode, "bare") != 0 && strcmp(mode, "floor") != 0 && strcmp(mode, "printf") != 0) {
    fprintf(stderr, "usage: baseline-receiver bare|floor|printf\n");
    return 2;
  }
  unsigned char* buffer = static_cast<unsigned char*>(malloc(kReceiveBufferSize));
  NetSocket sock = 0;
  int error = buffer ? NetStartup() : 10055;
  if (error == 0) error = NetOpenUdp(&sock);
  if (error == 0) {
    NetSetReceiveBuffer(sock, kSocketReceiveBufferRequest);
    error = NetBindAnyAddress(sock, kReceiverPort);
  }
  printf("%s", kBannerLine);
  fflush(stdout);
  if (error != 0) {
    printf(kErrorLineFormat, error);
    free(buffer);
    return 1;
  }
  for (int count = 0; count < kDatagramLimit; ++count) {
    int received = 0;
    error = NetReceive(sock, buffer, static_cast<int>(kReceiveBufferSize), &received);
    if (error != 0) {
      printf(kErrorLineFormat, error);
      break;
    }
    Telegram t = {buffer, static_cast<size_t>(received)};
    if (strcmp(mode, "floor") == 0) {
      FloorReport(t);
      continue;
    }
    printf(kTypeLineFormat, TelegramType(t));
    if (strcmp(mode, "printf") == 0) PrintfReport(t);
  }
  printf("%s", kClosingLine);
  NetClose(sock);
  printf("%s", kExitLine);
  NetCleanup();
  free(buffer);
  return 0;
}
