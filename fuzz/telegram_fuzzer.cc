// libFuzzer target: the input is one received datagram, laid over a receive
// buffer that still holds an earlier, longer datagram. It runs the type line
// and the matching report into memory and checks what a wrong report would
// break, besides what the sanitizers catch:
// - the output starts with the type line of the type received (0 if cut);
// - a type-1 report shows the exact ceiling of the beam range, plus 1;
// - a type-6 block 0 or 1 shows exactly min((TotalSize - 20) / 2, values
//   received) values, each the one received at its place, none from the
//   earlier datagram.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "telegram/report_output.h"
#include "telegram/telegram.h"
#include "telegram/telegram_report.h"

namespace {

const size_t kBufferSize = 2000 * 1024;

// The earlier datagram: a long type-6 block 0, every value 0xEEEE.
unsigned char* EarlierDatagram() {
  static unsigned char* buffer = nullptr;
  if (buffer == nullptr) {
    buffer = static_cast<unsigned char*>(malloc(kBufferSize));
    memset(buffer, 0xEE, kBufferSize);
    const unsigned char header[16] = {0xFF, 0xFF, 0x1F, 0x00, 7, 0, 0, 0, 9, 0, 0, 0, 6, 0, 0, 0};
    memcpy(buffer, header, sizeof header);
  }
  return buffer;
}

uint32_t Field(const uint8_t* data, size_t size, size_t offset, size_t width) {
  if (offset + width > size) return 0;
  uint32_t value = 0;
  for (size_t i = 0; i < width; ++i) value |= static_cast<uint32_t>(data[offset + i]) << (8 * i);
  return value;
}

[[noreturn]] void Fail(const char* what, const std::string& output) {
  fprintf(stderr, "telegram-fuzzer: %s\noutput (first 300 bytes): %s\n", what, output.substr(0, 300).c_str());
  abort();
}

// Consumes `expected` at `at` in `output`, or fails.
void Expect(const std::string& output, size_t* at, const std::string& expected, const char* what) {
  if (output.compare(*at, expected.size(), expected) != 0) Fail(what, output);
  *at += expected.size();
}

std::string Format(const char* format, long long a, long long b = 0, long long c = 0, long long d = 0) {
  char line[160];
  snprintf(line, sizeof line, format, a, b, c, d);
  return line;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > kBufferSize) return 0;
  unsigned char* buffer = EarlierDatagram();
  memcpy(buffer, data, size);

  char* text = nullptr;
  size_t text_size = 0;
  FILE* sink = open_memstream(&text, &text_size);
  ReportOutput out = {};
  // A small buffer drains often, through every path of the output.
  if (sink == nullptr || !OpenReportOutput(&out, sink, kLongestLine + size % 512)) abort();
  Telegram telegram = {buffer, size};
  ReportTelegram(telegram, &out);
  DrainReportOutput(&out);
  CloseReportOutput(&out);
  fclose(sink);
  const std::string output(text, text_size);
  free(text);

  // Restore the earlier datagram's bytes for the next input.
  memset(buffer, 0xEE, size);

  size_t at = 0;
  const uint32_t type = Field(data, size, 12, 2);
  Expect(output, &at, Format("--> Telegram Type: %lld\r\n", type), "type line");
  const uint32_t total = Field(data, size, 0, 4);
  if (type == 1) {
    const long long start = Field(data, size, 40, 2);
    const long long stop = Field(data, size, 42, 2);
    const long long step = Field(data, size, 44, 2);
    long long count = 0;
    if (step != 0) {
      const long long difference = stop - start;
      count = difference / step + (difference > 0 && difference % step != 0 ? 1 : 0) + 1;
    }
    Expect(output, &at,
           Format("BeamCount : %lld\t%lld\t%lld\t%lld\r\n", count, Field(data, size, 4, 1),
                  static_cast<int32_t>(total), Field(data, size, 8, 1)),
           "beam count line");
  } else if (type == 6) {
    const uint32_t block = Field(data, size, 14, 2);
    Expect(output, &at,
           Format("TotalSize: %lld\t ScanNo:%lld\t BlockNo:%lld\r\n", static_cast<int32_t>(total - 20),
                  static_cast<int32_t>(Field(data, size, 16, 4)), block),
           "size line");
    if (block == 0 || block == 1) {
      Expect(output, &at, "\n", "empty line");
      const size_t by_size = total >= 22 ? (total - 20) / 2 : 0;
      const size_t by_received = size >= 20 ? (size - 20) / 2 : 0;
      const size_t count = by_size < by_received ? by_size : by_received;
      for (size_t i = 0; i < count; ++i) {
        Expect(output, &at, Format("%lld\t", Field(data, size, 20 + 2 * i, 2)), "block value");
      }
    }
  }
  if (at != output.size()) Fail("output beyond the report", output);
  return 0;
}
