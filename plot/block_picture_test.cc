#include "plot/block_picture.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "plot/nice_scale.h"
#include "plot/picture_check_test_util.h"

namespace {

ReportBlock Block(std::vector<uint16_t> values) {
  return ReportBlock{5, 2, static_cast<long long>(2 * values.size()), 12, 0, std::move(values), false, {}, 0, {}};
}

}  // namespace

TEST(BlockPicture, EachColumnDrawsExactlyItsSmallestAndLargestValue) {
  std::vector<uint16_t> every(65536);
  for (size_t i = 0; i < every.size(); ++i) every[i] = static_cast<uint16_t>(i);
  std::vector<uint16_t> spread(32743);
  std::mt19937 random(11);  // NOLINT(cert-msc32-c,cert-msc51-cpp): the same values every run
  for (uint16_t& value : spread) value = static_cast<uint16_t>(random());
  // One spike among level values, at a place that falls inside a column,
  // and one at the very end.
  std::vector<uint16_t> spikes(32743, 2000);
  spikes[12345] = 65535;
  spikes[32742] = 0;
  const struct {
    const char* name;
    std::vector<uint16_t> values;
  } cases[] = {
      {"every 16-bit value", every},
      {"the largest block, values spread", spread},
      {"spikes of one value", spikes},
      {"a constant block", std::vector<uint16_t>(32743, 1234)},
      {"one more value than columns", std::vector<uint16_t>(801, 7)},
      {"as many values as columns", std::vector<uint16_t>(spread.begin(), spread.begin() + 800)},
      {"a few values", {0, 65535, 300, 300}},
      {"one value", {4242}},
  };
  for (const auto& c : cases) {
    const std::string svg = BlockPicture(Block(c.values));
    EXPECT_EQ(CheckPicture(svg, c.values), "") << c.name;
    // Small, whatever the number of values: not one point per value.
    EXPECT_LT(svg.size(), size_t{40} * 1024) << c.name;
  }
}

TEST(BlockPicture, TitleAxesAndRoundTicks) {
  std::vector<uint16_t> values(32743);
  for (size_t i = 0; i < values.size(); ++i) values[i] = static_cast<uint16_t>(1000 + i % 2001);
  ReportBlock block = Block(values);
  std::string svg = BlockPicture(block);
  EXPECT_NE(svg.find("<title>Scan 12, block 0: 32743 values from 1000 to 3000</title>"), std::string::npos);
  for (const char* tick : {">1000<", ">1500<", ">2000<", ">2500<", ">3000<", ">0<", ">5000<", ">30000<"}) {
    EXPECT_NE(svg.find(tick), std::string::npos) << tick;
  }
  EXPECT_EQ(svg.find("cut short"), std::string::npos);
  block.cut_short = true;
  EXPECT_NE(BlockPicture(block).find("(cut short: the report ends in its values)"), std::string::npos);
  EXPECT_EQ(BlockHeading(Block({7})), "Scan 12, block 0: 1 value of 7");
}

TEST(NiceScale, StepsOfOneTwoOrFiveCoverTheValues) {
  const struct {
    long long smallest, largest;
    int intervals;
    long long low, high, step;
  } cases[] = {
      {1000, 3000, 8, 1000, 3000, 500}, {55, 65499, 8, 0, 70000, 10000}, {0, 65535, 8, 0, 70000, 10000},
      {1234, 1234, 8, 1234, 1235, 1},   {0, 0, 9, 0, 1, 1},              {0, 32742, 9, 0, 35000, 5000},
      {7, 9, 8, 7, 9, 1},               {-21, 40, 8, -30, 40, 10},
  };
  for (const auto& c : cases) {
    const NiceScale scale = MakeNiceScale(c.smallest, c.largest, c.intervals);
    EXPECT_EQ(scale.low, c.low) << c.smallest << " to " << c.largest;
    EXPECT_EQ(scale.high, c.high) << c.smallest << " to " << c.largest;
    EXPECT_EQ(scale.step, c.step) << c.smallest << " to " << c.largest;
  }
}
