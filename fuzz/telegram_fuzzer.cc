// libFuzzer target: the input is one received datagram, laid over a receive
// buffer that still holds an earlier, longer datagram. It runs the type line
// and the matching report into memory and, besides what the sanitizers
// catch, compares it byte for byte with the plain model of the report
// worked out from the input alone, so that:
// - the output is the type line of the type received (0 if cut), then
//   its report and nothing more;
// - a type-1 report shows the exact ceiling of the beam range, plus 1;
// - a type-6 block 0 or 1 shows exactly min((TotalSize - 20) / 2, values
//   received) values, each the one received at its place, none from the
//   earlier datagram.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "telegram/report_capture_test_util.h"
#include "telegram/report_format.h"
#include "telegram/report_model_test_util.h"
#include "telegram/report_output.h"
#include "telegram/telegram.h"
#include "telegram/telegram_report.h"

namespace {

// Lays the earlier datagram over the first `size` bytes: a type-6 block 0
// filling the whole buffer, every value 0xEEEE.
void LayEarlierDatagram(unsigned char* buffer, size_t size) {
  static const unsigned char kHeader[16] = {0xFF, 0xFF, 0x1F, 0x00, 7, 0, 0, 0, 9, 0, 0, 0, 6, 0, 0, 0};
  memset(buffer, 0xEE, size);
  memcpy(buffer, kHeader, size < sizeof kHeader ? size : sizeof kHeader);
}

unsigned char* ReceiveBuffer() {
  static unsigned char* buffer = nullptr;
  if (buffer == nullptr) {
    buffer = static_cast<unsigned char*>(malloc(kReceiveBufferSize));
    if (buffer == nullptr) abort();
    LayEarlierDatagram(buffer, kReceiveBufferSize);
  }
  return buffer;
}

[[noreturn]] void Fail(const std::string& output, const std::string& expected) {
  size_t at = 0;
  while (at < output.size() && at < expected.size() && output[at] == expected[at]) ++at;
  fprintf(stderr, "telegram-fuzzer: the report differs at byte %zu of %zu (expected %zu)\n", at, output.size(),
          expected.size());
  fprintf(stderr, "output from there:   %s\nexpected from there: %s\n", output.substr(at, 120).c_str(),
          expected.substr(at, 120).c_str());
  abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > kReceiveBufferSize) return 0;
  unsigned char* buffer = ReceiveBuffer();
  memcpy(buffer, data, size);

  // A small buffer drains often, through every path of the output.
  const std::string output = RenderReport(FormatTelegram, buffer, size, kLongestLine + size % 512);

  LayEarlierDatagram(buffer, size);  // for the next input

  const std::string expected = ModelReport(std::string(reinterpret_cast<const char*>(data), size));
  if (output != expected) Fail(output, expected);
  return 0;
}
