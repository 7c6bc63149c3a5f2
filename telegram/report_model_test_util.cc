#include "telegram/report_model_test_util.h"

uint32_t ModelField(const std::string& d, size_t offset, size_t width) {
  if (offset + width > d.size()) return 0;
  uint32_t value = 0;
  for (size_t i = 0; i < width; ++i) {
    value |= static_cast<uint32_t>(static_cast<unsigned char>(d[offset + i])) << (8 * i);
  }
  return value;
}

long long ModelBeamCount(long long start, long long stop, long long step) {
  if (step == 0) return 0;
  const long long difference = stop - start;
  return difference / step + (difference > 0 && difference % step != 0 ? 1 : 0) + 1;
}

std::string ModelReport(const std::string& d) {
  using std::to_string;
  const uint32_t total = ModelField(d, 0, 4);
  const uint32_t type = ModelField(d, 12, 2);
  std::string text = "--> Telegram Type: " + to_string(type) + "\r\n";
  if (type == 1) {
    const long long count = ModelBeamCount(ModelField(d, 40, 2), ModelField(d, 42, 2), ModelField(d, 44, 2));
    text += "BeamCount : " + to_string(count) + "\t" + to_string(ModelField(d, 4, 1)) + "\t" +
            to_string(static_cast<int32_t>(total)) + "\t" + to_string(ModelField(d, 8, 1)) + "\r\n";
  } else if (type == 6) {
    const uint32_t block = ModelField(d, 14, 2);
    text += "TotalSize: " + to_string(static_cast<int32_t>(total - 20)) + "\t ScanNo:" +
            to_string(static_cast<int32_t>(ModelField(d, 16, 4))) + "\t BlockNo:" + to_string(block) + "\r\n";
    if (block == 0 || block == 1) {
      text += "\n";
      // Values below TotalSize whose two bytes were both received.
      for (size_t i = 0; total >= 22 && i < (total - 20) / 2 && 20 + 2 * i + 2 <= d.size(); ++i) {
        text += to_string(ModelField(d, 20 + 2 * i, 2)) + "\t";
      }
    }
  }
  return text;
}
