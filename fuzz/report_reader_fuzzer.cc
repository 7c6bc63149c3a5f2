// libFuzzer target: the input is a report (its first byte chooses a size
// of pieces, the rest is the report), read once whole and once in pieces of
// that size, as a pipe may deliver it. Besides what the sanitizers catch, it
// checks that both readings give the same blocks, the same end and, where
// the input is no report, the same words; and that no block holds more
// values than a datagram can carry, nor more than its TotalSize gives room
// for.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "telegram/report_reader.h"
#include "telegram/telegram_layout.h"

namespace {

struct Reading {
  bool read;   // every piece was taken
  bool ended;  // and the end too
  std::string error;
  std::vector<ReportBlock> blocks;
  long telegrams;
  bool finished;
};

Reading ReadInPieces(const char* data, size_t size, size_t piece) {
  ReportReader reader;
  Reading reading = {true, false, "", {}, 0, false};
  for (size_t at = 0; at < size && reading.read; at += piece) {
    reading.read = reader.Read(data + at, size - at < piece ? size - at : piece, &reading.blocks);
  }
  if (reading.read) reading.ended = reader.End(&reading.blocks);
  reading.error = reader.error();
  reading.telegrams = reader.telegrams();
  reading.finished = reader.finished();
  return reading;
}

bool SameBlocks(const std::vector<ReportBlock>& a, const std::vector<ReportBlock>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i].line != b[i].line || a[i].telegram != b[i].telegram || a[i].size != b[i].size ||
        a[i].scan_no != b[i].scan_no || a[i].block_no != b[i].block_no || a[i].values != b[i].values ||
        a[i].cut_short != b[i].cut_short) {
      return false;
    }
  }
  return true;
}

void Check(bool holds) {
  if (!holds) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t piece = data[0] % 64 + 1;
  const char* report = reinterpret_cast<const char*>(data + 1);
  const Reading whole = ReadInPieces(report, size - 1, size);
  const Reading pieces = ReadInPieces(report, size - 1, piece);
  Check(whole.read == pieces.read && whole.ended == pieces.ended);
  Check(whole.error == pieces.error);
  Check(whole.telegrams == pieces.telegrams && whole.finished == pieces.finished);
  Check(SameBlocks(whole.blocks, pieces.blocks));
  for (const ReportBlock& block : whole.blocks) {
    Check(block.values.size() <= (kMaxDatagramSize - kBlockValuesOffset) / 2);
    // TotalSize - 20, as printed, gives room for no more.
    const uint32_t total_size = static_cast<uint32_t>(block.size) + static_cast<uint32_t>(kHeaderSize);
    Check(total_size <= kHeaderSize || block.values.size() <= (total_size - kHeaderSize) / 2);
    Check(total_size > kHeaderSize || block.values.empty());
  }
  return 0;
}
