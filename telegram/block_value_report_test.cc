#include "telegram/block_value_report.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "telegram/report_capture_test_util.h"
#include "telegram/report_model_test_util.h"
#include "telegram/telegram_writer.h"

namespace {

std::vector<unsigned char> BlockTelegram(uint32_t total_size, uint32_t scan_no, uint16_t block_no,
                                         const std::vector<unsigned>& values) {
  std::vector<unsigned char> bytes(20 + 2 * values.size(), 0);
  WriteHeader(bytes.data(), total_size, 6, block_no, scan_no);
  for (size_t i = 0; i < values.size(); ++i) PutU16(&bytes[20 + 2 * i], static_cast<uint16_t>(values[i]));
  return bytes;
}

}  // namespace

TEST(BlockValueReport, BlocksZeroAndOnePrintEveryValueWithNoLineEnd) {
  EXPECT_EQ(RenderReport(FormatBlockValues, BlockTelegram(26, 42, 0, {100, 200, 300})),
            "TotalSize: 6\t ScanNo:42\t BlockNo:0\r\n\n100\t200\t300\t");
  EXPECT_EQ(RenderReport(FormatBlockValues, BlockTelegram(26, 42, 1, {100, 200, 300})),
            "TotalSize: 6\t ScanNo:42\t BlockNo:1\r\n\n100\t200\t300\t");
}

TEST(BlockValueReport, OtherBlocksPrintTheFirstLineOnly) {
  EXPECT_EQ(RenderReport(FormatBlockValues, BlockTelegram(26, 42, 2, {100, 200, 300})),
            "TotalSize: 6\t ScanNo:42\t BlockNo:2\r\n");
  EXPECT_EQ(RenderReport(FormatBlockValues, BlockTelegram(26, 42, 65535, {1, 2, 3})),
            "TotalSize: 6\t ScanNo:42\t BlockNo:65535\r\n");
}

TEST(BlockValueReport, SizeAndScanPrintAsSigned32BitNumbers) {
  EXPECT_EQ(RenderReport(FormatBlockValues, BlockTelegram(10, 7, 3, {})), "TotalSize: -10\t ScanNo:7\t BlockNo:3\r\n");
  EXPECT_EQ(RenderReport(FormatBlockValues, BlockTelegram(0, 0, 3, {})), "TotalSize: -20\t ScanNo:0\t BlockNo:3\r\n");
  EXPECT_EQ(RenderReport(FormatBlockValues, BlockTelegram(0xFFFFFFFFu, 0xFFFFFFFFu, 2, {})),
            "TotalSize: -21\t ScanNo:-1\t BlockNo:2\r\n");
  EXPECT_EQ(RenderReport(FormatBlockValues, BlockTelegram(0x80000013u, 0x80000000u, 2, {})),
            "TotalSize: 2147483647\t ScanNo:-2147483648\t BlockNo:2\r\n");
  EXPECT_EQ(RenderReport(FormatBlockValues, BlockTelegram(0x80000014u, 0x7FFFFFFFu, 2, {})),
            "TotalSize: -2147483648\t ScanNo:2147483647\t BlockNo:2\r\n");
}

TEST(BlockValueReport, ValueCountFollowsTotalSize) {
  const std::vector<unsigned> five = {1, 2, 3, 4, 5};
  EXPECT_EQ(RenderReport(FormatBlockValues, BlockTelegram(20, 1, 0, five)), "TotalSize: 0\t ScanNo:1\t BlockNo:0\r\n\n");
  EXPECT_EQ(RenderReport(FormatBlockValues, BlockTelegram(21, 1, 0, five)), "TotalSize: 1\t ScanNo:1\t BlockNo:0\r\n\n");
  EXPECT_EQ(RenderReport(FormatBlockValues, BlockTelegram(22, 1, 0, five)),
            "TotalSize: 2\t ScanNo:1\t BlockNo:0\r\n\n1\t");
  // The odd last byte belongs to no value.
  EXPECT_EQ(RenderReport(FormatBlockValues, BlockTelegram(25, 1, 1, five)),
            "TotalSize: 5\t ScanNo:1\t BlockNo:1\r\n\n1\t2\t");
  // Below 20 the size is negative and no value is printed.
  EXPECT_EQ(RenderReport(FormatBlockValues, BlockTelegram(10, 1, 0, five)),
            "TotalSize: -10\t ScanNo:1\t BlockNo:0\r\n\n");
  EXPECT_EQ(RenderReport(FormatBlockValues, BlockTelegram(0, 1, 1, five)),
            "TotalSize: -20\t ScanNo:1\t BlockNo:1\r\n\n");
}

TEST(BlockValueReport, ValuesPrintInPlainDecimalOfEveryWidth) {
  const std::vector<unsigned> values = {0, 7, 10, 99, 100, 999, 1000, 9999, 10000, 65535};
  EXPECT_EQ(RenderReport(FormatBlockValues, BlockTelegram(40, 9, 0, values)),
            "TotalSize: 20\t ScanNo:9\t BlockNo:0\r\n\n0\t7\t10\t99\t100\t999\t1000\t9999\t10000\t65535\t");
}

TEST(BlockValueReport, ValuesStopAtTheBytesReceived) {
  // The buffer still holds a longer datagram: 0xEE bytes past this one.
  std::vector<unsigned char> buffer(200, 0xEE);
  std::vector<unsigned char> telegram = BlockTelegram(1000, 5, 0, {11, 22, 33});
  std::copy(telegram.begin(), telegram.end(), buffer.begin());
  const std::string head = "TotalSize: 980\t ScanNo:5\t BlockNo:0\r\n\n";
  EXPECT_EQ(RenderReport(FormatBlockValues, buffer.data(), 26), head + "11\t22\t33\t");
  // Half a value received: it is not printed.
  EXPECT_EQ(RenderReport(FormatBlockValues, buffer.data(), 27), head + "11\t22\t33\t");
  EXPECT_EQ(RenderReport(FormatBlockValues, buffer.data(), 21), head);
  // The header itself cut short: ScanNo and BlockNo read as 0.
  EXPECT_EQ(RenderReport(FormatBlockValues, buffer.data(), 16), "TotalSize: 980\t ScanNo:0\t BlockNo:0\r\n\n");
}

TEST(BlockValueReport, LargestBlocksMatchThePlainModelWhateverTheBufferSize) {
  // One maximum-size UDP datagram, and a whole 2,048,000-byte buffer with a
  // TotalSize that reaches past it: every value, none beyond the buffer.
  const size_t sizes[] = {65507, 2048000};
  for (size_t size : sizes) {
    std::vector<unsigned char> bytes(size);
    for (size_t i = 20; i < size; ++i) bytes[i] = static_cast<unsigned char>(i * 131 + i / 7);
    std::vector<unsigned char> header = BlockTelegram(size == 65507 ? 65507 : 0xFFFFFFFFu, 3, 1, {});
    std::copy(header.begin(), header.end(), bytes.begin());
    const std::string first_line = size == 65507 ? "TotalSize: 65487\t ScanNo:3\t BlockNo:1\r\n\n"
                                                 : "TotalSize: -21\t ScanNo:3\t BlockNo:1\r\n\n";
    // The plain model's report, less its type line.
    const std::string model = ModelReport(std::string(bytes.begin(), bytes.end()));
    const std::string type_line = "--> Telegram Type: 6\r\n";
    ASSERT_EQ(model.compare(0, type_line.size() + first_line.size(), type_line + first_line), 0);
    const std::string expected = model.substr(type_line.size());
    for (size_t capacity : {size_t{128}, size_t{4099}, size_t{256} * 1024}) {
      std::string text = RenderReport(FormatBlockValues, bytes, capacity);
      ASSERT_EQ(text.size(), expected.size()) << "size " << size << ", capacity " << capacity;
      ASSERT_TRUE(text == expected) << "size " << size << ", capacity " << capacity;
    }
  }
}

TEST(BlockValueReport, EverySixteenBitValueMatchesThePlainModel) {
  // One block holding every value from 0 to 65535, then the same in
  // descending order, through a buffer that drains between values.
  std::vector<unsigned> values;
  for (unsigned v = 0; v < 65536; ++v) values.push_back(v);
  for (unsigned v = 65536; v-- > 0;) values.push_back(v);
  const uint32_t total = static_cast<uint32_t>(20 + 2 * values.size());
  const std::vector<unsigned char> bytes = BlockTelegram(total, 1, 0, values);
  const std::string model = ModelReport(std::string(bytes.begin(), bytes.end()));
  const std::string expected = model.substr(model.find("\r\n") + 2);  // less the type line
  for (size_t capacity : {size_t{128}, size_t{4099}, size_t{256} * 1024}) {
    const std::string text = RenderReport(FormatBlockValues, bytes, capacity);
    ASSERT_EQ(text.size(), expected.size()) << "capacity " << capacity;
    ASSERT_TRUE(text == expected) << "capacity " << capacity;
  }
}
