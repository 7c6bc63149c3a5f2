#include "plot/block_data.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>

#include "plot/block_picture.h"

namespace {

const char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

}  // namespace

BlockSummary SummaryOf(const ReportBlock& block, uint64_t id, const std::string& name) {
  uint16_t smallest = 0;
  uint16_t largest = 0;
  ValueRange(block.values, &smallest, &largest);
  return BlockSummary{id, name, block.scan_no, block.block_no, block.telegram, block.values.size(), smallest,
                      largest, block.cut_short};
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
         ",\"min\":" + std::to_string(s.smallest) + ",\"max\":" + std::to_string(s.largest) +
         ",\"cut\":" + (s.cut_short ? "true" : "false") + "}";
}

std::string StateJson(const ReportState& s) {
  return "{\"source\":" + JsonString(s.source) + ",\"telegrams\":" + std::to_string(s.telegrams) +
         ",\"blocks\":" + std::to_string(s.blocks) + ",\"kept\":" + std::to_string(s.kept) +
         ",\"reading\":" + (s.reading ? "true" : "false") + ",\"whole\":" + (s.whole ? "true" : "false") +
         ",\"damage\":" + JsonString(s.damage) + "}";
}

void AppendValuesCsv(const std::vector<uint16_t>& values, std::string* out) {
  // Each value's line end, made once: copying 8 bytes is several times
  // cheaper than converting each value anew. The index counts up in its
  // own digits, a comma after them.
  struct ValueLine {
    char text[7];
    unsigned char length;
  };
  static const std::vector<ValueLine> lines = [] {
    std::vector<ValueLine> made(65536);
    for (uint32_t v = 0; v < made.size(); ++v) {
      char* end = std::to_chars(made[v].text, made[v].text + 6, v).ptr;
      *end++ = '\n';
      made[v].length = static_cast<unsigned char>(end - made[v].text);
    }
    return made;
  }();
  out->append("index,value\n");
  char index[24];
  const size_t comma = sizeof index - 1;
  std::fill(index, index + comma, '0');
  index[comma] = ',';
  size_t first = comma - 1;  // where the index's digits begin
  const size_t index_digits = std::to_string(values.size()).size();
  const size_t start = out->size();
  // Room for the longest line each, and for the last copy of 8 bytes.
  out->resize(start + values.size() * (index_digits + 1 + 6) + sizeof(ValueLine));
  char* at = out->data() + start;
  for (uint16_t value : values) {
    memcpy(at, index + first, sizeof index - first);
    at += sizeof index - first;
    memcpy(at, &lines[value], sizeof(ValueLine));
    at += lines[value].length;
    size_t digit = comma - 1;
    while (index[digit] == '9') index[digit--] = '0';
    ++index[digit];
    if (digit < first) first = digit;
  }
  out->resize(static_cast<size_t>(at - out->data()));
}

std::string ValuesBytes(const std::vector<uint16_t>& values) {
  std::string bytes(values.size() * 2, '\0');
  for (size_t i = 0; i < values.size(); ++i) {
    bytes[2 * i] = static_cast<char>(values[i] & 0xFF);
    bytes[2 * i + 1] = static_cast<char>(values[i] >> 8);
  }
  return bytes;
}

void AppendValuesBase64(const std::vector<uint16_t>& values, std::string* out) {
  const size_t bytes = values.size() * 2;
  auto byte = [&values](size_t i) -> uint32_t { return i % 2 == 0 ? values[i / 2] & 0xFF : values[i / 2] >> 8; };
  const size_t start = out->size();
  out->resize(start + (bytes + 2) / 3 * 4);
  char* at = &(*out)[start];
  size_t i = 0;
  for (; i + 2 < bytes; i += 3) {
    const uint32_t n = byte(i) << 16 | byte(i + 1) << 8 | byte(i + 2);
    at[0] = kBase64[n >> 18];
    at[1] = kBase64[(n >> 12) & 63];
    at[2] = kBase64[(n >> 6) & 63];
    at[3] = kBase64[n & 63];
    at += 4;
  }
  if (i < bytes) {
    // One byte or two left: padded to four characters.
    const bool two = i + 1 < bytes;
    const uint32_t n = byte(i) << 16 | (two ? byte(i + 1) << 8 : 0);
    at[0] = kBase64[n >> 18];
    at[1] = kBase64[(n >> 12) & 63];
    at[2] = two ? kBase64[(n >> 6) & 63] : '=';
    at[3] = '=';
  }
}
