// Recordings that rotate: files named by their start and number, each a
// whole capture of its own, the ring keeping the newest; and a file that
// can take no more, said once and left whole.
#include "record/recording.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace {

const int64_t kStart = 1796905239316329796;  // 2026-12-10T12:20:39.316Z

tgr_datagram At(int64_t time_ns, size_t size) {
  tgr_datagram d = tgr::Sized<tgr_datagram>();
  d.time_ns = time_ns;
  d.size = size;
  d.source_address = 0x7F000001;
  d.source_port = 40000;
  return d;
}

size_t PacketsIn(const std::string& path) {
  tgr::Capture capture;
  std::string error;
  if (capture.Open(path, 9999, &error) != TGR_OK) {
    ADD_FAILURE() << error;
    return 0;
  }
  const unsigned char* bytes = nullptr;
  tgr::Datagram d;
  size_t packets = 0;
  while (capture.Next(&bytes, &d) == TGR_OK) ++packets;
  EXPECT_EQ(capture.Summary().end, TGR_CAPTURE_WHOLE) << path << ": " << capture.error();
  return packets;
}

class Folder {
 public:
  Folder() : path_(std::filesystem::path(::testing::TempDir()) / "recording_test") {
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~Folder() { std::filesystem::remove_all(path_); }
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }
  std::vector<std::string> Files() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path_)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  std::filesystem::path path_;
};

TEST(Recording, RotatedNamesSayTheirStartAndSortByIt) {
  EXPECT_EQ(Recording::RotatedName("run.pcapng", kStart, 1), "run_20261210T122039Z_00001.pcapng");
  EXPECT_EQ(Recording::RotatedName("/data/run.pcapng", kStart, 123456), "/data/run_20261210T122039Z_123456.pcapng");
  EXPECT_EQ(Recording::RotatedName("run", kStart, 2), "run_20261210T122039Z_00002");
  EXPECT_EQ(Recording::RotatedName("C:\\runs.d\\.hidden", kStart, 3), "C:\\runs.d\\.hidden_20261210T122039Z_00003");
  EXPECT_EQ(Recording::RotatedName("./a.b.pcapng", kStart, 4), "./a.b_20261210T122039Z_00004.pcapng");
  EXPECT_LT(Recording::RotatedName("run.pcapng", kStart, 99), Recording::RotatedName("run.pcapng", kStart + 1000000000, 100));
}

TEST(Recording, FilesRotateBySizeAndTimeEachWholeAndTheRingKeepsTheNewest) {
  const Folder folder;
  Recording recording;
  std::string err;
  // A new file once one holds 3 packets of 1000 bytes (1,060 bytes a packet
  // after 128 of headers), the newest 2 kept.
  RecordingPlan plan{folder / "run.pcapng", 3000, 0, 2};
  ASSERT_TRUE(recording.Open(plan, kStart, &err)) << err;
  const std::vector<unsigned char> bytes(1000, 5);
  for (int i = 0; i < 10; ++i) {
    ASSERT_TRUE(recording.Write(At(kStart + i * 1000000000LL, bytes.size()), bytes.data(), 0x7F000001, 9999, &err))
        << err;
  }
  ASSERT_TRUE(recording.Close(&err)) << err;
  EXPECT_EQ(recording.packets(), 10u);
  // Files of 3, 3, 3 and 1 packets; the first two removed by the ring.
  const std::vector<std::string> files = folder.Files();
  ASSERT_EQ(files, (std::vector<std::string>{"run_20261210T122045Z_00003.pcapng", "run_20261210T122048Z_00004.pcapng"}));
  EXPECT_EQ(PacketsIn(folder / files[0]), 3u);
  EXPECT_EQ(PacketsIn(folder / files[1]), 1u);
  EXPECT_EQ(recording.Where(), "in 4 files, " + (folder / "run_20261210T122039Z_00001.pcapng") + " to " +
                                   (folder / files[1]) + " (the ring kept the newest 2: 2 files removed)");

  // By time: a new file once one is 5 s old, every file kept.
  Recording timed;
  plan = RecordingPlan{folder / "timed.pcapng", 0, 5, 0};
  ASSERT_TRUE(timed.Open(plan, kStart, &err)) << err;
  for (int64_t second : {0, 1, 4, 5, 6, 30}) {
    ASSERT_TRUE(timed.Write(At(kStart + second * 1000000000LL, 10), bytes.data(), 0x7F000001, 9999, &err)) << err;
  }
  ASSERT_TRUE(timed.Close(&err)) << err;
  EXPECT_EQ(PacketsIn(folder / "timed_20261210T122039Z_00001.pcapng"), 3u);
  EXPECT_EQ(PacketsIn(folder / "timed_20261210T122044Z_00002.pcapng"), 2u);
  EXPECT_EQ(PacketsIn(folder / "timed_20261210T122109Z_00003.pcapng"), 1u);
  EXPECT_EQ(timed.current(), folder / "timed_20261210T122109Z_00003.pcapng") << "the last file, named for monitors";

  // No rotation: the name as given.
  Recording one;
  ASSERT_TRUE(one.Open(RecordingPlan{folder / "one.pcapng", 0, 0, 0}, kStart, &err)) << err;
  ASSERT_TRUE(one.Write(At(kStart, 10), bytes.data(), 0x7F000001, 9999, &err)) << err;
  ASSERT_TRUE(one.Close(&err)) << err;
  EXPECT_EQ(one.Where(), "in " + (folder / "one.pcapng"));
  EXPECT_EQ(PacketsIn(folder / "one.pcapng"), 1u);
}

TEST(Recording, AFileThatCannotBeMadeStopsTheRecording) {
  const Folder folder;
  Recording recording;
  std::string err;
  EXPECT_FALSE(recording.Open(RecordingPlan{folder / "no-such-folder/run.pcapng", 0, 0, 0}, kStart, &err));
  EXPECT_EQ(err.rfind("cannot create " + (folder / "no-such-folder/run.pcapng") + ": ", 0), 0u) << err;
}

}  // namespace
