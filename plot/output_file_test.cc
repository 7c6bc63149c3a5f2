#include "plot/output_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tests/file_test_util.h"

namespace {

const char kPath[] = "output_file_test.txt";

void RemoveAll() {
  remove(kPath);
  for (int i = 1; i <= 3; ++i) remove((std::string(kPath) + ".partial-" + std::to_string(i)).c_str());
}

}  // namespace

TEST(OutputFile, APlacedFileReplacesWhatWasThereAndPassesOverPartialOnes) {
  RemoveAll();
  std::string err;
  ASSERT_TRUE(WriteWholeFile(kPath, "old"));
  // Left by a plot that was killed while writing: not written into.
  const std::string left = std::string(kPath) + ".partial-1";
  ASSERT_TRUE(WriteWholeFile(left, "left behind"));
  ASSERT_TRUE(PlaceFile(kPath, "new", &err)) << err;
  EXPECT_EQ(ReadWholeFile(kPath), "new");
  EXPECT_EQ(ReadWholeFile(left), "left behind");
  EXPECT_EQ(ReadWholeFile(std::string(kPath) + ".partial-2"), "") << "the temporary file took its place";
  RemoveAll();
}

TEST(OutputFile, AGrowingFileIsNewAndEachAdditionIsThereAtOnce) {
  RemoveAll();
  std::string err;
  {
    GrowingFile file;
    ASSERT_TRUE(file.Create(kPath, &err)) << err;
    ASSERT_TRUE(file.Append("one\n", &err)) << err;
    EXPECT_EQ(ReadWholeFile(kPath), "one\n");
    ASSERT_TRUE(file.Append("two\n", &err)) << err;
    EXPECT_EQ(ReadWholeFile(kPath), "one\ntwo\n");
  }
  GrowingFile again;
  EXPECT_FALSE(again.Create(kPath, &err)) << "a file is there already";
  EXPECT_NE(err.find("cannot write output_file_test.txt: "), std::string::npos) << err;
  EXPECT_EQ(ReadWholeFile(kPath), "one\ntwo\n");
  RemoveAll();
}
