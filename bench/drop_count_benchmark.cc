// The cost of the look at the socket's drop count that the receiver takes
// each time it is about to wait, in process, on a bound socket: one system
// call (getsockopt SO_MEMINFO on Linux).
#include <benchmark/benchmark.h>

#include <cstdint>

#include "net/socket.h"

namespace {

void BM_ReadDropCount(benchmark::State& state) {
  NetSocket sock = 0;
  if (NetStartup() != 0 || NetOpenUdp(&sock) != 0 || NetBindAnyAddress(sock, 0) != 0) {
    state.SkipWithError("no socket");
    return;
  }
  uint32_t dropped = 0;
  DropCountScope scope = kDropsOfThisSocket;
  for (auto _ : state) {
    benchmark::DoNotOptimize(NetReadDropCount(sock, false, &dropped, &scope));
  }
  NetClose(sock);
  NetCleanup();
}
BENCHMARK(BM_ReadDropCount);

}  // namespace

BENCHMARK_MAIN();
