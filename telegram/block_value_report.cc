#include "telegram/block_value_report.h"

#include <cstdint>
#include <cstring>

#include "telegram/report_format.h"

namespace {

// The text of every 16-bit value followed by its tab ("65535\t" at most),
// built once at start-up: copying 8 bytes and advancing by the length is
// several times cheaper than converting each value anew.
struct ValueText {
  char text[7];
  unsigned char length;
};
static_assert(sizeof(ValueText) == 8, "one value's text is copied as 8 bytes");

ValueText value_texts[65536];

bool BuildValueTexts() {
  for (uint32_t v = 0; v < 65536; ++v) {
    char digits[5];
    int n = 0;
    uint32_t rest = v;
    do {
      digits[n++] = static_cast<char>('0' + rest % 10);
      rest /= 10;
    } while (rest != 0);
    ValueText& entry = value_texts[v];
    for (int i = 0; i < n; ++i) entry.text[i] = digits[n - 1 - i];
    entry.text[n] = kBlockValueSeparator;
    entry.length = static_cast<unsigned char>(n + 1);
  }
  return true;
}

const bool value_texts_built = BuildValueTexts();

void OutputBlockValues(Telegram t, ReportOutput* out) {
  const size_t count = BlockValueCount(t);
  size_t i = 0;
  while (i < count) {
    size_t room = 0;
    char* const start = out->Room(sizeof(ValueText), &room);
    const size_t fit = room / sizeof(ValueText);
    const size_t end = count - i < fit ? count : i + fit;
    char* text = start;
    for (; i < end; ++i) {
      const ValueText& entry = value_texts[BlockValue(t, i)];
      memcpy(text, &entry, sizeof entry);
      text += entry.length;
    }
    out->Commit(static_cast<size_t>(text - start));
  }
}

}  // namespace

void FormatBlockValues(Telegram t, ReportOutput* out) {
  // Printed as signed 32-bit numbers: a TotalSize below 20 shows as a
  // negative size, a ScanNo of 2^31 or more as a negative number.
  out->AppendFormatted(kBlockLineFormat,
               static_cast<int>(static_cast<int32_t>(TotalSize(t) - static_cast<uint32_t>(kHeaderSize))),
               static_cast<int>(static_cast<int32_t>(ScanNo(t))), static_cast<int>(BlockNo(t)));
  if (!BlockHasValuesInReport(BlockNo(t))) return;
  out->Append(kBlockValuesStart);
  OutputBlockValues(t, out);
}
