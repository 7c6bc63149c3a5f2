// Sources in words and back, and which of them a --source filter keeps.
#include "net/source_address.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(TelegramSource, SourcesAreWrittenWithTheirPort) {
  EXPECT_EQ(SourceText(SourceAddress{0x7F000001, 40000}), "127.0.0.1:40000");
  EXPECT_EQ(SourceText(SourceAddress{0xFFFFFFFF, 0}), "255.255.255.255:0");
  EXPECT_EQ(SourceText(SourceAddress{0, 65535}), "0.0.0.0:65535");
}

TEST(TelegramSource, AnAddressWithOrWithoutAPortIsRead) {
  SourceAddress source;
  std::string err;
  ASSERT_TRUE(ParseSource("10.0.0.1", "--source", &source, &err));
  EXPECT_EQ(source.address, 0x0A000001u);
  EXPECT_EQ(source.port, 0);
  ASSERT_TRUE(ParseSource("255.255.255.255:65535", "--source", &source, &err));
  EXPECT_EQ(source.address, 0xFFFFFFFFu);
  EXPECT_EQ(source.port, 65535);
  ASSERT_TRUE(ParseSource("192.168.0.10:1", "--source", &source, &err));
  EXPECT_EQ(source.address, 0xC0A8000Au);
  EXPECT_EQ(source.port, 1);
  for (const char* bad : {"", "1.2.3", "1.2.3.4.5", "256.1.1.1", "1.2.3.4:", "1.2.3.4:0", "1.2.3.4:65536",
                          "1.2.3.4:123456", "1234.1.1.1", "1.2.3.4:5x", " 1.2.3.4", "1..2.3", "a.b.c.d",
                          "1.2.3.4:-1", "1.2.3.-4"}) {
    source = SourceAddress{7, 7};
    EXPECT_FALSE(ParseSource(bad, "--source", &source, &err)) << bad;
    EXPECT_EQ(err, "bad value '" + std::string(bad) +
                       "' for --source: an IPv4 address, or one with a port (10.0.0.1:5000)");
    EXPECT_EQ(source.address, 7u) << "a refused value is not taken: " << bad;
  }
}

TEST(TelegramSource, AFilterKeepsItsAddressesOnAnyPortOrOnItsOwn) {
  SourceFilter filter;
  EXPECT_TRUE(filter.Keeps(SourceAddress{0x0A000001, 1}));  // none given: every one
  filter.Add(SourceAddress{0x0A000001, 0});
  filter.Add(SourceAddress{0x0A000002, 5000});
  EXPECT_TRUE(filter.Keeps(SourceAddress{0x0A000001, 1}));
  EXPECT_TRUE(filter.Keeps(SourceAddress{0x0A000001, 65535}));
  EXPECT_TRUE(filter.Keeps(SourceAddress{0x0A000002, 5000}));
  EXPECT_FALSE(filter.Keeps(SourceAddress{0x0A000002, 5001}));
  EXPECT_FALSE(filter.Keeps(SourceAddress{0x0A000003, 5000}));
  EXPECT_EQ(filter.Text(), "10.0.0.1, 10.0.0.2:5000");
}

}  // namespace
