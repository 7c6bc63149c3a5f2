#include "telegram/telegram.h"

#include <gtest/gtest.h>

#include <vector>

TEST(Telegram, ReadsHeaderFieldsLittleEndianAtTheirOffsets) {
  const unsigned char bytes[20] = {0x00, 0x04, 0x00, 0x00, 0xC3, 9, 9, 9, 0x7F, 9,
                                   9,    9,    0x06, 0x00, 0x01, 0x00, 0x78, 0x56, 0x34, 0x12};
  Telegram t = {bytes, sizeof bytes};
  EXPECT_EQ(TotalSize(t), 1024u);
  EXPECT_EQ(HeaderByte4(t), 0xC3);
  EXPECT_EQ(HeaderByte8(t), 0x7F);
  EXPECT_EQ(TelegramType(t), 6);
  EXPECT_EQ(BlockNo(t), 1);
  EXPECT_EQ(ScanNo(t), 0x12345678u);
}

TEST(Telegram, FieldNotWhollyReceivedReadsAsZero) {
  // The buffer behind the datagram still holds an earlier one: all 0xFF.
  std::vector<unsigned char> buffer(64, 0xFF);
  Telegram t = {buffer.data(), 0};
  EXPECT_EQ(TotalSize(t), 0u);
  EXPECT_EQ(TelegramType(t), 0);

  t.received = 3;  // TotalSize lacks its last byte
  EXPECT_EQ(TotalSize(t), 0u);
  t.received = 4;
  EXPECT_EQ(TotalSize(t), 0xFFFFFFFFu);
  EXPECT_EQ(HeaderByte4(t), 0);

  t.received = 13;  // TelegramType lacks its second byte
  EXPECT_EQ(TelegramType(t), 0);
  t.received = 14;
  EXPECT_EQ(TelegramType(t), 0xFFFF);
  EXPECT_EQ(BlockNo(t), 0);

  t.received = 19;
  EXPECT_EQ(ScanNo(t), 0u);
  t.received = 45;  // BeamStep lacks a byte, BeamStop is whole
  EXPECT_EQ(BeamStop(t), 0xFFFF);
  EXPECT_EQ(BeamStep(t), 0);
  t.received = 46;
  EXPECT_EQ(BeamStep(t), 0xFFFF);
}

TEST(Telegram, BlockValueCountStopsAtTotalSizeAndAtTheBytesReceived) {
  std::vector<unsigned char> buffer(100, 0);
  Telegram t = {buffer.data(), buffer.size()};
  struct Case {
    unsigned total;
    size_t received;
    size_t count;
  };
  const Case cases[] = {
      {20, 100, 0}, {21, 100, 0}, {22, 100, 1},   {25, 100, 2},  {100, 100, 40},
      {10, 100, 0}, {0, 100, 0},  {1000, 27, 3},  {1000, 20, 0}, {1000, 19, 0},
      {26, 25, 2},  {0xFFFFFFFFu, 100, 40},       {0xFFFFFFFFu, 4, 0},
  };
  for (const Case& c : cases) {
    buffer[0] = static_cast<unsigned char>(c.total);
    buffer[1] = static_cast<unsigned char>(c.total >> 8);
    buffer[2] = static_cast<unsigned char>(c.total >> 16);
    buffer[3] = static_cast<unsigned char>(c.total >> 24);
    t.received = c.received;
    EXPECT_EQ(BlockValueCount(t), c.count) << "TotalSize " << c.total << ", received " << c.received;
  }
}
