// What a block's files are named: "scan-12-block-0", by its scan and block
// number (a negative scan number keeps its sign, as the report prints it).
// Its picture and its values take this name, each with an ending of its
// own.
#ifndef PLOT_BLOCK_NAME_H_
#define PLOT_BLOCK_NAME_H_

#include <string>

#include "telegram/report_reader.h"

// Every block's name begins so.
constexpr char kBlockNameStart[] = "scan-";

inline std::string BlockName(long long scan_no, long block_no) {
  return kBlockNameStart + std::to_string(scan_no) + "-block-" + std::to_string(block_no);
}

inline std::string BlockName(const ReportBlock& block) { return BlockName(block.scan_no, block.block_no); }

#endif  // PLOT_BLOCK_NAME_H_
