// The words a block is given to the page in: exact bytes, since the page
// and the CSV's readers parse them.
#include "plot/block_data.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(BlockData, CsvHoldsEveryValueUnderItsHeaderAndAppends) {
  std::string out = "kept ";
  AppendValuesCsv({0, 65535, 7}, &out);
  EXPECT_EQ(out, "kept index,value\n0,0\n1,65535\n2,7\n");
  out.clear();
  AppendValuesCsv({}, &out);
  EXPECT_EQ(out, "index,value\n");
  // Indexes of every width, the largest values at the longest indexes: the
  // room made ahead is enough, and no byte is left over.
  std::vector<uint16_t> values(32743, 65535);
  out.clear();
  AppendValuesCsv(values, &out);
  std::string expected = "index,value\n";
  for (size_t i = 0; i < values.size(); ++i) expected += std::to_string(i) + ",65535\n";
  EXPECT_TRUE(out == expected);
}

TEST(BlockData, Base64OfLittleEndianValuesWithEitherTail) {
  const struct {
    std::vector<uint16_t> values;
    const char* base64;
  } cases[] = {
      {{}, ""},
      {{0x0201}, "AQI="},                          // two bytes left over
      {{1, 2}, "AQACAA=="},                        // one byte left over
      {{1, 2, 3}, "AQACAAMA"},                     // none
      {{65535, 0, 256, 0x1234}, "//8AAAABNBI="},  // both bytes of each, low first
  };
  for (const auto& c : cases) {
    std::string out = "x";
    AppendValuesBase64(c.values, &out);
    EXPECT_EQ(out, std::string("x") + c.base64) << c.base64;
  }
  EXPECT_EQ(ValuesBytes({0x0201, 0xFFFE}), std::string("\x01\x02\xFE\xFF", 4));
  // Every length from 0 to 12 values, and every value in a large block,
  // against the plain way: three bytes to four characters.
  const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  auto plain = [&alphabet](const std::vector<uint16_t>& values) {
    const std::string bytes = ValuesBytes(values);
    std::string text;
    for (size_t i = 0; i < bytes.size(); i += 3) {
      uint32_t n = 0;
      for (size_t k = 0; k < 3; ++k) n = n << 8 | (i + k < bytes.size() ? static_cast<unsigned char>(bytes[i + k]) : 0);
      const size_t left = bytes.size() - i;
      text += alphabet[n >> 18];
      text += alphabet[(n >> 12) & 63];
      text += left > 1 ? alphabet[(n >> 6) & 63] : '=';
      text += left > 2 ? alphabet[n & 63] : '=';
    }
    return text;
  };
  for (size_t count = 0; count <= 12; ++count) {
    std::vector<uint16_t> values;
    for (size_t i = 0; i < count; ++i) values.push_back(static_cast<uint16_t>(0x9F31 * (i + 1)));
    std::string out;
    AppendValuesBase64(values, &out);
    EXPECT_EQ(out, plain(values)) << count << " values";
  }
  std::vector<uint16_t> every(65536);
  for (size_t i = 0; i < every.size(); ++i) every[i] = static_cast<uint16_t>(i * 40503);
  std::string out;
  AppendValuesBase64(every, &out);
  EXPECT_TRUE(out == plain(every));
}

TEST(BlockData, JsonIsSafeInsideAScriptAndExact) {
  // Quotes, backslashes, controls and the characters that could end a
  // script element are escaped; other bytes pass as they are.
  EXPECT_EQ(JsonString("a\"b\\c</script>\x01\x7f\xc3\xa9"),
            "\"a\\u0022b\\u005cc\\u003c/script\\u003e\\u0001\\u007f\xc3\xa9\"");
  const BlockSummary summary{7, "scan--3-block-1-2", -3, 1, 12, 3, 0, 65535, true};
  EXPECT_EQ(SummaryJson(summary),
            "{\"id\":7,\"name\":\"scan--3-block-1-2\",\"scan\":-3,\"block\":1,\"telegram\":12,\"count\":3,"
            "\"min\":0,\"max\":65535,\"cut\":true}");
  const ReportState state{"run 1.txt", 16, 8, 5, false, true, "line 3: x"};
  EXPECT_EQ(StateJson(state),
            "{\"source\":\"run 1.txt\",\"telegrams\":16,\"blocks\":8,\"kept\":5,\"reading\":false,\"whole\":true,"
            "\"damage\":\"line 3: x\"}");
  const ReportBlock block{3, 9, 6, 4, 0, {5, 2, 9}, false, {}, 0};
  const BlockSummary of = SummaryOf(block, 2, "scan-4-block-0");
  EXPECT_EQ(of.smallest, 2);
  EXPECT_EQ(of.largest, 9);
  EXPECT_EQ(of.count, 3u);
}
