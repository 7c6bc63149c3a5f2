#include "plot/block_reader.h"

#include "telegram/report_format.h"
#include "telegram/value_text.h"

bool BlockReader::End(std::vector<ReportBlock>* blocks) {
  const size_t before = blocks->size();
  if (!reader_.End(blocks)) return false;
  if (blocks->size() > before) {
    std::string& text = blocks->back().text;
    const size_t last_tab = text.find_last_of(kBlockValueSeparator);
    text.resize(last_tab == std::string::npos ? 0 : last_tab + 1);
  }
  return true;
}

void ParseValues(const std::string& text, size_t count, std::vector<uint16_t>* values) {
  values->resize(count);
  size_t bad = 0;
  values->resize(ParseValueText(text.data(), text.size(), values->data(), values->size(), &bad));
}
