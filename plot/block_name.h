// What a block's files are named: "scan-12-block-0", by its scan and block
// number (a negative scan number keeps its sign, as the report prints it);
// a block whose source is known has it in front, the port after a dash:
// "10.0.0.1-5000-scan-12-block-0". Its picture and its values take this
// name, each with an ending of its own.
#ifndef PLOT_BLOCK_NAME_H_
#define PLOT_BLOCK_NAME_H_

#include <string>
#include <string_view>

#include "telegram/report_reader.h"

// Every block's name begins so.
constexpr char kBlockNameStart[] = "scan-";

inline std::string BlockName(const std::string& source, long long scan_no, long block_no) {
  std::string name;
  if (!source.empty()) name = source.substr(0, source.rfind(':')) + "-" + source.substr(source.rfind(':') + 1) + "-";
  return name + kBlockNameStart + std::to_string(scan_no) + "-block-" + std::to_string(block_no);
}

inline std::string BlockName(const ReportBlock& block) {
  return BlockName(block.source, block.scan_no, block.block_no);
}

// Whether `name` is one a block is given: "scan-12-block-0",
// "scan--3-block-1", one seen again, "scan-12-block-0-2", or one with its
// source, "10.0.0.1-5000-scan-12-block-0". Nothing else, so that a file of
// the user's that merely looks alike is never taken for a block's.
inline bool IsBlockName(std::string_view name) {
  auto digits = [](std::string_view text, size_t most) {
    if (text.empty() || text.size() > most) return false;
    for (char c : text) {
      if (c < '0' || c > '9') return false;
    }
    return true;
  };
  const std::string_view start = kBlockNameStart;
  // A source: four numbers with dots between, a dash, a port, a dash.
  if (!name.empty() && name[0] >= '0' && name[0] <= '9') {
    for (int part = 0; part < 4; ++part) {
      const size_t end = name.find(part < 3 ? '.' : '-');
      if (end == std::string_view::npos || !digits(name.substr(0, end), 3)) return false;
      name.remove_prefix(end + 1);
    }
    const size_t port_end = name.find('-');
    if (port_end == std::string_view::npos || !digits(name.substr(0, port_end), 5)) return false;
    name.remove_prefix(port_end + 1);
  }
  if (name.substr(0, start.size()) != start) return false;
  name.remove_prefix(start.size());
  if (!name.empty() && name[0] == '-') name.remove_prefix(1);
  const size_t scan_end = name.find("-block-");
  if (scan_end == std::string_view::npos || !digits(name.substr(0, scan_end), 20)) return false;
  name.remove_prefix(scan_end + 7);
  const size_t block_end = name.find('-');
  if (!digits(name.substr(0, block_end), 5)) return false;
  return block_end == std::string_view::npos || digits(name.substr(block_end + 1), 9);
}

#endif  // PLOT_BLOCK_NAME_H_
