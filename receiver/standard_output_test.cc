// Standard output is set up to write exactly what the C runtime's text
// stream would (under Wine, the Windows runtime's own): the report output
// translates its line ends where that stream would have.
#include "receiver/standard_output.h"

#include <gtest/gtest.h>

#include "tests/file_test_util.h"

TEST(StandardOutput, LineEndsAreTranslatedWhereTheTextStreamWould) {
  const bool text_mode_translates = TextStreamWritesCrlf("standard_output_test.tmp");
  LineEnds line_ends = kLineEndsAsWritten;
  ASSERT_TRUE(SetUpStandardOutput(&line_ends));
  EXPECT_EQ(line_ends, text_mode_translates ? kLineEndsCrlf : kLineEndsAsWritten);
}
