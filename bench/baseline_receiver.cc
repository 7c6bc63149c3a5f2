// The two receivers the benchmark measures the program against, on the same
// socket layer and receive buffer:
//   baseline-receiver bare     prints only the type line of each telegram: the
//                              least any receiver can do, the limit;
//   baseline-receiver printf   prints the whole report with one printf call
//                              per line and per block value: the straightforward way.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "receiver/socket.h"
#include "telegram/beam_count_report.h"
#include "telegram/telegram.h"

// The value format as the report's format string has always been written.
#pragma GCC diagnostic ignored "-Wformat"

namespace {

void PrintfReport(Telegram t) {
  uint16_t type = TelegramType(t);
  if (type == 1) {
    printf("BeamCount : %d\t%d\t%d\t%d\r\n", BeamCount(BeamStart(t), BeamStop(t), BeamStep(t)), HeaderByte4(t),
           static_cast<int>(TotalSize(t)), HeaderByte8(t));
  } else if (type == 6) {
    printf("TotalSize: %d\t ScanNo:%d\t BlockNo:%d\r\n", static_cast<int>(TotalSize(t) - 20),
           static_cast<int>(ScanNo(t)), BlockNo(t));
    if (BlockNo(t) == 0 || BlockNo(t) == 1) {
      printf("\n");
      size_t count = BlockValueCount(t);
      for (size_t i = 0; i < count; ++i) printf("%00000d\t", BlockValue(t, i));
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 || (strcmp(argv[1], "bare") != 0 && strcmp(argv[1], "printf") != 0)) {
    fprintf(stderr, "usage: baseline-receiver bare|printf\n");
    return 2;
  }
  const bool bare = strcmp(argv[1], "bare") == 0;
  const int kBufferSize = 2000 * 1024;
  unsigned char* buffer = static_cast<unsigned char*>(malloc(kBufferSize));
  NetSocket sock = 0;
  int error = buffer ? NetStartup() : 10055;
  if (error == 0) error = NetOpenUdp(&sock);
  if (error == 0) {
    NetSetReceiveBuffer(sock, 8 * 1024 * 1024);
    error = NetBindAnyAddress(sock, 9999);
  }
  printf("Receiving datagrams...\n");
  if (error != 0) {
    printf("WSAGetLastError: %d\r\n", error);
    free(buffer);
    return 1;
  }
  for (int count = 0; count < 1000; ++count) {
    int received = NetReceive(sock, buffer, kBufferSize);
    if (received < 0) {
      printf("WSAGetLastError: %d\r\n", NetLastError());
      break;
    }
    Telegram t = {buffer, static_cast<size_t>(received)};
    printf("--> Telegram Type: %d\r\n", TelegramType(t));
    if (!bare) PrintfReport(t);
  }
  printf("Finished receiving. Closing socket.\n");
  NetClose(sock);
  printf("Exiting.\n");
  NetCleanup();
  free(buffer);
  return 0;
}
