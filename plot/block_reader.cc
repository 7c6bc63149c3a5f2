#include "plot/block_reader.h"

bool BlockReader::Read(const char* data, size_t size, std::vector<ReportBlock>* blocks) {
  const bool report = reader_.Feed(data, size) == TGR_OK;
  Take(blocks);
  return report;
}

bool BlockReader::End(std::vector<ReportBlock>* blocks) {
  const bool report = reader_.End() == TGR_OK;
  Take(blocks);
  return report;
}

void BlockReader::Take(std::vector<ReportBlock>* blocks) {
  tgr_report_block b = {};
  while (reader_.Next(&b) == TGR_OK) {
    ReportBlock block = {static_cast<long>(b.line), static_cast<long>(b.telegram), b.size, b.scan_no,
                         b.block_no, std::vector<uint16_t>(b.values, b.values + b.value_count), b.cut_short != 0, {}, 0};
    blocks->push_back(std::move(block));
  }
}
