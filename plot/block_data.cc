#include "plot/block_data.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <cstring>

#include "plot/block_picture.h"
#include "telegram/telegram_layout.h"

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

namespace {

// A short text and its length in eight bytes, copied whole: cheaper than
// converting a number anew, and than copying just its length.
struct Piece {
  char text[7];
  unsigned char length;
};

// For each number below `count`, its digits and then `end`.
std::vector<Piece> NumberPieces(uint32_t count, char end) {
  std::vector<Piece> pieces(count);
  for (uint32_t n = 0; n < count; ++n) {
    char* last = std::to_chars(pieces[n].text, pieces[n].text + 6, n).ptr;
    *last++ = end;
    pieces[n].length = static_cast<unsigned char>(last - pieces[n].text);
  }
  return pieces;
}

}  // namespace

void AppendValuesCsv(const std::vector<uint16_t>& values, std::string* out) {
  // Each value with its line end, each index with its comma, made once.
  static const std::vector<Piece> value_pieces = NumberPieces(65536, '\n');
  static const std::vector<Piece> index_pieces =
      NumberPieces(static_cast<uint32_t>((kMaxDatagramSize - kBlockValuesOffset) / 2), ',');
  out->append("index,value\n");
  const size_t start = out->size();
  // Room for the longest line each, and for the last copy of eight bytes.
  out->resize(start + values.size() * (std::to_string(values.size()).size() + 1 + 6) + sizeof(Piece));
  char* at = out->data() + start;
  for (size_t i = 0; i < values.size(); ++i) {
    // A block holds no more values than there are indexes made; beyond
    // them (never, from a report) the index is converted.
    if (i < index_pieces.size()) {
      memcpy(at, &index_pieces[i], sizeof(Piece));
      at += index_pieces[i].length;
    } else {
      at = std::to_chars(at, at + 12, i).ptr;
      *at++ = ',';
    }
    memcpy(at, &value_pieces[values[i]], sizeof(Piece));
    at += value_pieces[values[i]].length;
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
  // Twelve bits at a time, two characters each, from a table made once.
  static const std::vector<std::array<char, 2>> pairs = [] {
    std::vector<std::array<char, 2>> made(4096);
    for (size_t n = 0; n < made.size(); ++n) made[n] = {kBase64[n >> 6], kBase64[n & 63]};
    return made;
  }();
  const size_t bytes = values.size() * 2;
  const size_t start = out->size();
  out->resize(start + (bytes + 2) / 3 * 4);
  char* at = &(*out)[start];
  auto put = [&at](uint32_t n) {
    memcpy(at, pairs[n >> 12].data(), 2);
    memcpy(at + 2, pairs[n & 0xFFF].data(), 2);
    at += 4;
  };
  // Three values are six bytes, little-endian each: two groups of three.
  size_t v = 0;
  for (; v + 3 <= values.size(); v += 3) {
    const uint32_t a = values[v];
    const uint32_t b = values[v + 1];
    const uint32_t c = values[v + 2];
    put((a & 0xFF) << 16 | (a >> 8) << 8 | (b & 0xFF));
    put((b >> 8) << 16 | (c & 0xFF) << 8 | (c >> 8));
  }
  auto byte = [&values](size_t i) -> uint32_t { return i % 2 == 0 ? values[i / 2] & 0xFFu : values[i / 2] >> 8; };
  size_t i = v * 2;
  for (; i + 2 < bytes; i += 3) put(byte(i) << 16 | byte(i + 1) << 8 | byte(i + 2));
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
