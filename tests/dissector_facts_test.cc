// The dissector names the telegram's layout and the report's facts at its
// top, in its own language: they must say what the receiver's own do.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "telegram/report_format.h"
#include "telegram/telegram_layout.h"
#include "tests/file_test_util.h"

namespace {

// The number a "local NAME = N" line of the dissector gives, or -1.
long LuaConstant(const std::string& lua, const std::string& name) {
  const std::string start = "\nlocal " + name + " = ";
  const size_t at = lua.find(start);
  if (at == std::string::npos) return -1;
  return strtol(lua.c_str() + at + start.size(), nullptr, 10);
}

}  // namespace

TEST(Dissector, ItsFactsAreTheReceivers) {
  const std::string lua = ReadWholeFile(std::string(TELEGRAM_SOURCE_DIR) + "/dissector/telegram.lua");
  ASSERT_FALSE(lua.empty());
  const struct {
    const char* name;
    long value;
  } facts[] = {
      {"PORT", kReceiverPort},
      {"HEADER_SIZE", static_cast<long>(kHeaderSize)},
      {"TYPE_BEAM_RANGE", kBeamRangeType},
      {"TYPE_BLOCK_VALUES", kBlockValuesType},
      {"FIRST_BLOCK_WITH_VALUES", kFirstBlockWithValues},
      {"LAST_BLOCK_WITH_VALUES", kLastBlockWithValues},
      {"TOTAL_SIZE_OFFSET", static_cast<long>(kTotalSizeOffset)},
      {"HEADER_BYTE4_OFFSET", static_cast<long>(kHeaderByte4Offset)},
      {"HEADER_BYTE8_OFFSET", static_cast<long>(kHeaderByte8Offset)},
      {"TELEGRAM_TYPE_OFFSET", static_cast<long>(kTelegramTypeOffset)},
      {"BLOCK_NO_OFFSET", static_cast<long>(kBlockNoOffset)},
      {"SCAN_NO_OFFSET", static_cast<long>(kScanNoOffset)},
      {"BEAM_START_OFFSET", static_cast<long>(kBeamStartOffset)},
      {"BEAM_STOP_OFFSET", static_cast<long>(kBeamStopOffset)},
      {"BEAM_STEP_OFFSET", static_cast<long>(kBeamStepOffset)},
  };
  for (const auto& fact : facts) EXPECT_EQ(LuaConstant(lua, fact.name), fact.value) << fact.name;
}
