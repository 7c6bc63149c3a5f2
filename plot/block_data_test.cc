// The words a block is given to the page in: exact bytes, since the page
// and the CSV's readers parse them.
#include "plot/block_data.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(BlockData, CsvHoldsEveryValueUnderItsHeaderAndAppends) {
  std::string out = "kept ";
  AppendValuesCsv("0\t65535\t7\t", &out);
  EXPECT_EQ(out, "kept index,value\n0,0\n1,65535\n2,7\n");
  out.clear();
  AppendValuesCsv("", &out);
  EXPECT_EQ(out, "index,value\n");
  // Digits after the last tab (a value the report was cut inside) are no
  // value.
  out.clear();
  AppendValuesCsv("1\t22", &out);
  EXPECT_EQ(out, "index,value\n0,1\n");
  // Indexes of every width, the largest values at the longest indexes: the
  // room made ahead is enough, and no byte is left over.
  std::string text;
  std::string expected = "index,value\n";
  for (size_t i = 0; i < 32743; ++i) {
    text += "65535\t";
    expected += std::to_string(i) + ",65535\n";
  }
  out.clear();
  AppendValuesCsv(text, &out);
  EXPECT_TRUE(out == expected);
}

TEST(BlockData, JsonIsSafeInsideAScriptAndExact) {
  // Quotes, backslashes, controls and the characters that could end a
  // script element are escaped; other bytes pass as they are.
  EXPECT_EQ(JsonString("a\"b\\c</script>\x01\x7f\xc3\xa9"),
            "\"a\\u0022b\\u005cc\\u003c/script\\u003e\\u0001\\u007f\xc3\xa9\"");
  BlockSummary summary{7, "scan--3-block-1-2", -3, 1, 12, 3, true, "", ""};
  EXPECT_EQ(SummaryJson(summary),
            "{\"id\":7,\"name\":\"scan--3-block-1-2\",\"scan\":-3,\"block\":1,\"telegram\":12,\"count\":3,"
            "\"cut\":true}");
  // In a folder, the file its values are in follows.
  summary.file = "scan-2-block-0";
  EXPECT_EQ(SummaryJson(summary),
            "{\"id\":7,\"name\":\"scan--3-block-1-2\",\"scan\":-3,\"block\":1,\"telegram\":12,\"count\":3,"
            "\"cut\":true,\"file\":\"scan-2-block-0\"}");
  const ReportState state{"run 1.txt", 16, 8, 5, 2, false, true, "line 3: x", ""};
  EXPECT_EQ(StateJson(state),
            "{\"source\":\"run 1.txt\",\"telegrams\":16,\"blocks\":8,\"kept\":5,\"passedOver\":2,\"reading\":false,"
            "\"whole\":true,\"damage\":\"line 3: x\"}");
  const ReportBlock block{3, 9, 6, 4, 0, {}, false, "5\t2\t9\t", 3, "10.0.0.1:5000"};
  const BlockSummary of = SummaryOf(block, 2, "10.0.0.1-5000-scan-4-block-0");
  EXPECT_EQ(of.count, 3u);
  EXPECT_EQ(of.scan_no, 4);
  // A block taken from a telegram names its source; one of a report does not (above).
  EXPECT_EQ(SummaryJson(of),
            "{\"id\":2,\"name\":\"10.0.0.1-5000-scan-4-block-0\",\"scan\":4,\"block\":0,\"telegram\":9,\"count\":3,"
            "\"cut\":false,\"source\":\"10.0.0.1:5000\"}");
}
