// Blocks taken from the telegrams themselves: their values text byte for
// byte, their fields as the scanner sent them, and a capture of two senders
// read with each block's sender, the filter and how the capture ended.
#include "plot/telegram_input.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "telegram/telegram_layout.h"
#include "telegram/telegram_writer.h"

namespace {

std::vector<unsigned char> Block(uint32_t total_size, uint32_t scan, uint16_t block_no,
                                 const std::vector<uint16_t>& values) {
  std::vector<unsigned char> bytes(kHeaderSize + 2 * values.size());
  WriteHeader(bytes.data(), total_size, 6, block_no, scan);
  for (size_t i = 0; i < values.size(); ++i) PutU16(&bytes[kHeaderSize + 2 * i], values[i]);
  return bytes;
}

TEST(TelegramBlocks, TheValuesTextIsDigitsAndATabEach) {
  const uint8_t values[] = {0, 0, 0xFF, 0xFF, 10, 0, 9, 0, 0x39, 0x30};  // 0, 65535, 10, 9, 12345
  std::string text = "x";
  AppendValueText(values, 5, &text);
  EXPECT_EQ(text, "x0\t65535\t10\t9\t12345\t");
  AppendValueText(values, 0, &text);
  EXPECT_EQ(text, "x0\t65535\t10\t9\t12345\t");
}

TEST(TelegramBlocks, EachTelegramOfType6WithValuesIsABlock) {
  ReportBlock block;
  // A scan number from 2^31 on is the scanner's, not the report's negative.
  std::vector<unsigned char> bytes = Block(kHeaderSize + 6, 0x80000005u, 7, {1, 2, 3});
  ASSERT_TRUE(BlockOfTelegram(bytes.data(), bytes.size(), 4, "10.0.0.1:5000", &block));
  EXPECT_EQ(block.scan_no, 2147483653LL);
  EXPECT_EQ(block.block_no, 7);
  EXPECT_EQ(block.telegram, 4);
  EXPECT_EQ(block.size, 6);
  EXPECT_EQ(block.text, "1\t2\t3\t");
  EXPECT_EQ(block.text_values, 3u);
  EXPECT_EQ(block.source, "10.0.0.1:5000");
  EXPECT_FALSE(block.cut_short);
  // Values beyond TotalSize, and one whose second byte never came, are none.
  bytes = Block(kHeaderSize + 4, 1, 0, {1, 2, 3});
  ASSERT_TRUE(BlockOfTelegram(bytes.data(), bytes.size(), 1, "", &block));
  EXPECT_EQ(block.text, "1\t2\t");
  bytes = Block(kHeaderSize + 6, 1, 0, {1, 2, 3});
  bytes.pop_back();
  ASSERT_TRUE(BlockOfTelegram(bytes.data(), bytes.size(), 1, "", &block));
  EXPECT_EQ(block.text, "1\t2\t");
  EXPECT_EQ(block.text_values, 2u);
  // No values, another type, too short to be one: no block.
  bytes = Block(10, 1, 0, {1});
  EXPECT_FALSE(BlockOfTelegram(bytes.data(), bytes.size(), 1, "", &block));
  unsigned char beam[kBeamTelegramSize];
  WriteBeamTelegram(beam, 1, 10, 1, 0, 0);
  EXPECT_FALSE(BlockOfTelegram(beam, sizeof beam, 1, "", &block));
  EXPECT_FALSE(BlockOfTelegram(bytes.data(), 3, 1, "", &block));
  EXPECT_FALSE(BlockOfTelegram(nullptr, 0, 1, "", &block));
}

class CaptureOfTwoSenders : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = (std::filesystem::temp_directory_path() / ("telegram-input-" + std::to_string(getpid()) + ".pcapng"))
                .string();
    std::string err;
    ASSERT_EQ(recorder_.Open(path_, &err), TGR_OK) << err;
    Write(0x0A000001, 5000, 9999, Block(kHeaderSize + 6, 1, 0, {1, 2, 3}));
    Write(0x0A000002, 6000, 9999, Block(kHeaderSize + 4, 1, 0, {7, 65535}));
    Write(0x0A000001, 5000, 8888, Block(kHeaderSize + 4, 9, 0, {5, 5}));  // to another port
    unsigned char beam[kBeamTelegramSize];
    WriteBeamTelegram(beam, 1, 10, 1, 0, 0);
    Write(0x0A000002, 6000, 9999, std::vector<unsigned char>(beam, beam + sizeof beam));
    Write(0x0A000001, 5000, 9999, Block(kHeaderSize + 4, 1, 1, {4, 5}));
    ASSERT_EQ(recorder_.Close(&err), TGR_OK) << err;
  }
  void TearDown() override { std::filesystem::remove(path_); }

  void Write(uint32_t from, uint16_t port, uint16_t to_port, const std::vector<unsigned char>& bytes) {
    tgr::Datagram datagram;
    datagram.size = bytes.size();
    datagram.time_ns = 1000000000LL * ++written_;
    datagram.source_address = from;
    datagram.source_port = port;
    ASSERT_EQ(recorder_.Write(datagram, bytes.data(), bytes.size(), 0x7F000001, to_port), TGR_OK);
  }

  // Every block of the capture, read with `plan`, and how it ended.
  InputStep ReadAll(TelegramInput* input, TelegramInputPlan plan, std::vector<ReportBlock>* blocks) const {
    plan.capture = path_;
    std::string err;
    EXPECT_TRUE(input->Open(plan, &err)) << err;
    InputStep step = InputStep::kMore;
    for (int i = 0; i < 100 && step == InputStep::kMore; ++i) step = input->Next(0, blocks);
    return step;
  }

  std::string path_;
  tgr::Recorder recorder_;
  int written_ = 0;
};

TEST_F(CaptureOfTwoSenders, EachBlockComesWithItsSenderInTheOrderSent) {
  TelegramInput input;
  std::vector<ReportBlock> blocks;
  EXPECT_EQ(ReadAll(&input, TelegramInputPlan(), &blocks), InputStep::kEnd);
  EXPECT_TRUE(input.whole());
  EXPECT_FALSE(input.cut_short());
  EXPECT_EQ(input.error(), "");
  EXPECT_EQ(input.telegrams(), 4);
  EXPECT_EQ(input.sources(), 2u);
  EXPECT_EQ(input.ignored(), 0u);
  ASSERT_EQ(blocks.size(), 3u);
  EXPECT_EQ(blocks[0].source, "10.0.0.1:5000");
  EXPECT_EQ(blocks[0].text, "1\t2\t3\t");
  EXPECT_EQ(blocks[0].telegram, 1);
  EXPECT_EQ(blocks[1].source, "10.0.0.2:6000");
  EXPECT_EQ(blocks[1].text, "7\t65535\t");
  EXPECT_EQ(blocks[2].source, "10.0.0.1:5000");
  EXPECT_EQ(blocks[2].block_no, 1);
  EXPECT_EQ(blocks[2].telegram, 4);
  EXPECT_EQ(input.Name(), path_);
  EXPECT_STREQ(input.Kind(), "capture");
}

TEST_F(CaptureOfTwoSenders, SourcesKeepTheirSendersAloneAndCountTheOthers) {
  TelegramInputPlan plan;
  plan.sources.Add(SourceAddress{0x0A000002, 0});
  TelegramInput input;
  std::vector<ReportBlock> blocks;
  EXPECT_EQ(ReadAll(&input, plan, &blocks), InputStep::kEnd);
  ASSERT_EQ(blocks.size(), 1u);
  EXPECT_EQ(blocks[0].source, "10.0.0.2:6000");
  EXPECT_EQ(input.telegrams(), 2);
  EXPECT_EQ(input.ignored(), 2u);
  EXPECT_EQ(input.sources(), 1u);
  // Another port of the capture: the telegram sent there alone.
  plan = TelegramInputPlan();
  plan.port = 8888;
  TelegramInput other;
  blocks.clear();
  EXPECT_EQ(ReadAll(&other, plan, &blocks), InputStep::kEnd);
  ASSERT_EQ(blocks.size(), 1u);
  EXPECT_EQ(blocks[0].scan_no, 9);
}

TEST_F(CaptureOfTwoSenders, ACaptureCutInsideAPacketGivesEveryWholeOneBefore) {
  std::filesystem::resize_file(path_, std::filesystem::file_size(path_) - 3);
  TelegramInput input;
  std::vector<ReportBlock> blocks;
  EXPECT_EQ(ReadAll(&input, TelegramInputPlan(), &blocks), InputStep::kEnd);
  EXPECT_FALSE(input.whole());
  EXPECT_TRUE(input.cut_short());
  EXPECT_EQ(input.telegrams(), 3);
  EXPECT_EQ(blocks.size(), 2u);
}

TEST_F(CaptureOfTwoSenders, ADamagedCaptureIsShownAsFarAsItIsWholeAndSaid) {
  // The second packet's block length made absurd: the blocks walked by
  // their lengths (little-endian, as the recorder writes them) to it.
  std::string bytes;
  {
    std::ifstream in(path_, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  const auto word = [&bytes](size_t at) {
    return static_cast<uint32_t>(static_cast<unsigned char>(bytes[at])) |
           static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 8 |
           static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 2])) << 16 |
           static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 3])) << 24;
  };
  size_t at = 0;
  int packets = 0;
  while (at + 8 <= bytes.size() && !(word(at) == 6 && ++packets == 2) && word(at + 4) >= 12) at += word(at + 4);
  ASSERT_LT(at + 8, bytes.size());
  bytes.replace(at + 4, 4, std::string("\xf0\xff\xff\x7f", 4));
  std::ofstream(path_, std::ios::binary | std::ios::trunc) << bytes;
  TelegramInput input;
  std::vector<ReportBlock> blocks;
  EXPECT_EQ(ReadAll(&input, TelegramInputPlan(), &blocks), InputStep::kEnd);
  EXPECT_FALSE(input.whole());
  EXPECT_NE(input.error().find("damaged"), std::string::npos) << input.error();
  EXPECT_EQ(input.telegrams(), 1);
  EXPECT_EQ(blocks.size(), 1u);
}

TEST(TelegramInput, WhatCannotBeOpenedIsOneLine) {
  TelegramInputPlan plan;
  plan.capture = "/nonexistent/run.pcapng";
  TelegramInput input;
  std::string err;
  EXPECT_FALSE(input.Open(plan, &err));
  EXPECT_NE(err.find("/nonexistent/run.pcapng"), std::string::npos) << err;
  EXPECT_EQ(err.find('\n'), std::string::npos) << err;
}

}  // namespace
