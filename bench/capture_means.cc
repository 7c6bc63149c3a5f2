// The C++ reader of the Python benchmark: reads a capture through tgr and
// takes the mean of each block's values, as the Python code it is set
// beside does. Prints "<telegrams> <sum of the means>" (the sum, so that
// the work cannot be left out).
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "tgr/tgr.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: capture-means CAPTURE PORT\n");
    return 2;
  }
  char error[256];
  tgr_capture* capture = nullptr;
  if (tgr_capture_open(argv[1], static_cast<uint16_t>(std::strtoul(argv[2], nullptr, 10)), &capture, error,
                       sizeof error) != TGR_OK) {
    std::fprintf(stderr, "capture-means: %s\n", error);
    return 1;
  }
  const void* bytes = nullptr;
  tgr_datagram datagram{};
  datagram.struct_size = sizeof datagram;
  uint64_t telegrams = 0;
  double sum = 0;
  while (tgr_capture_next(capture, &bytes, &datagram) == TGR_OK) {
    tgr_telegram t{};
    t.struct_size = sizeof t;
    tgr_decode(bytes, datagram.size, &t);
    ++telegrams;
    if (t.value_count == 0) continue;
    uint64_t total = 0;
    for (size_t i = 0; i < t.value_count; ++i) total += static_cast<unsigned>(t.values[2 * i] | t.values[2 * i + 1] << 8);
    sum += static_cast<double>(total) / static_cast<double>(t.value_count);
  }
  tgr_capture_close(capture, nullptr, 0);
  std::printf("%llu %.3f\n", static_cast<unsigned long long>(telegrams), sum);
  return 0;
}
