// CPU of the block value report for one 65,507-byte block-0 telegram, in
// process: the program's report against one printf call per value. Output
// goes to /dev/null, so the figures are the formatting alone.
#include <benchmark/benchmark.h>

// The value format as the report's format string has always been written.
#pragma GCC diagnostic ignored "-Wformat"

#include <cstdio>
#include <vector>

#include "telegram/block_value_report.h"
#include "telegram/report_capture_test_util.h"
#include "telegram/report_format.h"
#include "telegram/report_output.h"
#include "telegram/telegram.h"
#include "telegram/telegram_writer.h"

namespace {

std::vector<unsigned char> LargestBlock() {
  std::vector<unsigned char> bytes(kMaxDatagramSize);
  for (size_t i = 20; i < bytes.size(); ++i) bytes[i] = static_cast<unsigned char>(i * 131 + i / 7);
  WriteHeader(bytes.data(), static_cast<uint32_t>(bytes.size()), 6, 0, 0);
  return bytes;
}

void BM_FormatBlockValues(benchmark::State& state) {
  std::vector<unsigned char> bytes = LargestBlock();
  FILE* null = fopen("/dev/null", "wb");
  FileDestination destination(null);
  ReportOutput out;
  out.Open(size_t{256} * 1024, kLineEndsAsWritten, &destination);
  Telegram t = {bytes.data(), bytes.size()};
  for (auto _ : state) {
    FormatBlockValues(t, &out);
    out.Drain();
  }
  fclose(null);
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(BlockValueCount(t)));
}
BENCHMARK(BM_FormatBlockValues);

void BM_PrintfPerValue(benchmark::State& state) {
  std::vector<unsigned char> bytes = LargestBlock();
  FILE* null = fopen("/dev/null", "wb");
  Telegram t = {bytes.data(), bytes.size()};
  for (auto _ : state) {
    fprintf(null, kBlockLineFormat, static_cast<int>(TotalSize(t) - 20),
            static_cast<int>(ScanNo(t)), BlockNo(t));
    fprintf(null, "\n");
    const size_t count = BlockValueCount(t);
    for (size_t i = 0; i < count; ++i) fprintf(null, "%00000d\t", BlockValue(t, i));
  }
  fclose(null);
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(BlockValueCount(t)));
}
BENCHMARK(BM_PrintfPerValue);

}  // namespace

BENCHMARK_MAIN();
