#include "plot/block_data.h"

#include <charconv>
#include <cstdio>

BlockSummary SummaryOf(const ReportBlock& block, uint64_t id, const std::string& name) {
  return BlockSummary{id,   name, block.scan_no, block.block_no, block.telegram, block.text_values, block.cut_short,
                      "", block.source};
}

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\' || c == '<' || c == '>' || c == '&' || u < 0x20 || u == 0x7F) {
      char escape[8];
      snprintf(escape, sizeof escape, "\\u%04x", u);
      out += escape;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string SummaryJson(const BlockSummary& s) {
  return "{\"id\":" + std::to_string(s.id) + ",\"name\":" + JsonString(s.name) +
         ",\"scan\":" + std::to_string(s.scan_no) + ",\"block\":" + std::to_string(s.block_no) +
         ",\"telegram\":" + std::to_string(s.telegram) + ",\"count\":" + std::to_string(s.count) +
         ",\"cut\":" + (s.cut_short ? "true" : "false") + (s.file.empty() ? "" : ",\"file\":" + JsonString(s.file)) +
         (s.source.empty() ? "" : ",\"source\":" + JsonString(s.source)) + "}";
}

std::string StateJson(const ReportState& s) {
  return "{\"source\":" + JsonString(s.source) + ",\"telegrams\":" + std::to_string(s.telegrams) +
         ",\"blocks\":" + std::to_string(s.blocks) + ",\"kept\":" + std::to_string(s.kept) +
         ",\"passedOver\":" + std::to_string(s.passed_over) + ",\"reading\":" + (s.reading ? "true" : "false") +
         ",\"whole\":" + (s.whole ? "true" : "false") + ",\"damage\":" + JsonString(s.damage) +
         (s.input.empty() ? "" : ",\"input\":" + JsonString(s.input)) + "}";
}

void AppendValuesCsv(const std::string& text, std::string* out) {
  out->append("index,value\n");
  // Each value's digits and tab become its index, a comma, the same digits
  // and a line end: room for the longest index each.
  size_t values = 0;
  for (char c : text) values += c == '\t' ? 1 : 0;
  const size_t start = out->size();
  out->resize(start + text.size() + values * (std::to_string(values).size() + 1));
  char* at = out->data() + start;
  size_t index = 0;
  size_t value_start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\t') continue;
    at = std::to_chars(at, at + 20, index++).ptr;
    *at++ = ',';
    for (size_t k = value_start; k < i; ++k) *at++ = text[k];
    *at++ = '\n';
    value_start = i + 1;
  }
  out->resize(static_cast<size_t>(at - out->data()));
}
