// Counts the gaps in a run of type-6 telegrams, here one whose scan 2 lost
// its block 1 and whose scan 3 was lost whole.
#include <cstdio>
#include <vector>

#include <tgr/tgr.hpp>

int main() {
  tgr::Sequence sequence;
  if (!sequence.ok()) return 1;
  const unsigned run[][2] = {{1, 0}, {1, 1}, {1, 2}, {2, 0}, {2, 2}, {4, 0}, {4, 1}, {4, 2}};
  for (const auto& numbers : run) {
    // A 20-byte header: TotalSize, type 6, BlockNo, ScanNo, little-endian.
    std::vector<unsigned char> bytes = {20, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 6, 0,
                                        static_cast<unsigned char>(numbers[1]), 0,
                                        static_cast<unsigned char>(numbers[0]), 0, 0, 0};
    const tgr::Telegram t = tgr::Telegram::Decode(bytes.data(), bytes.size());
    if (sequence.Add(t) != TGR_OK) return 1;
  }
  const tgr_sequence_counts c = sequence.Counts();
  std::printf("%llu telegrams: %llu blocks missing, %llu scans missing\n",
              static_cast<unsigned long long>(c.telegrams), static_cast<unsigned long long>(c.missing_blocks),
              static_cast<unsigned long long>(c.missing_scans));
  return 0;
}
