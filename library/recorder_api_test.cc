// The recorder through the C interface: what it refuses before touching the
// file, and a file that can take no more (a full disk, here a file-size
// limit) left whole to its last packet, its failure said to the end.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#ifndef _WIN32
#include <csignal>
#include <sys/resource.h>
#endif

#include "tgr/tgr.h"
#include "tgr/tgr.hpp"

namespace {

tgr_datagram At(int64_t time_ns) {
  tgr_datagram d = tgr::Sized<tgr_datagram>();
  d.time_ns = time_ns;
  d.source_address = 0x7F000001;
  d.source_port = 40000;
  return d;
}

// The packets of a capture and how it ended, read through the library.
struct ReadBack {
  size_t packets = 0;
  int end = TGR_CAPTURE_READING;
};

ReadBack ReadRecording(const std::string& path) {
  ReadBack read;
  tgr::Capture capture;
  std::string error;
  if (capture.Open(path, 9999, &error) != TGR_OK) {
    ADD_FAILURE() << error;
    return read;
  }
  const unsigned char* bytes = nullptr;
  tgr::Datagram d;
  while (capture.Next(&bytes, &d) == TGR_OK) ++read.packets;
  read.end = capture.Summary().end;
  return read;
}

TEST(RecorderApi, WhatNoPacketCanHoldIsRefusedAndTheRecordingGoesOn) {
  const std::string path = ::testing::TempDir() + "recorder_api_test.pcapng";
  tgr_recorder* recorder = nullptr;
  char error[256] = "";
  ASSERT_EQ(tgr_recorder_open(path.c_str(), &recorder, error, sizeof error), TGR_OK) << error;
  const std::vector<unsigned char> bytes(TGR_MAX_TELEGRAM_SIZE + 1, 7);
  tgr_datagram d = At(1765000000000000000LL);
  EXPECT_EQ(tgr_recorder_write(recorder, &d, bytes.data(), TGR_MAX_TELEGRAM_SIZE + 1, 0x7F000001, 9999),
            TGR_E_ARGUMENT);
  EXPECT_STREQ(tgr_recorder_error(recorder), "a datagram of 65508 bytes: UDP over IPv4 carries 65507 at most");
  d.time_ns = -1;
  EXPECT_EQ(tgr_recorder_write(recorder, &d, bytes.data(), 10, 0x7F000001, 9999), TGR_E_ARGUMENT);
  EXPECT_STREQ(tgr_recorder_error(recorder), "a datagram received before 1970 cannot be recorded");
  tgr_datagram unsized = At(1);
  unsized.struct_size = 0;
  EXPECT_EQ(tgr_recorder_write(recorder, &unsized, bytes.data(), 10, 0x7F000001, 9999), TGR_E_ARGUMENT);
  d.time_ns = 1765000000000000000LL;
  EXPECT_EQ(tgr_recorder_write(recorder, &d, bytes.data(), TGR_MAX_TELEGRAM_SIZE, 0x7F000001, 9999), TGR_OK)
      << tgr_recorder_error(recorder);
  EXPECT_EQ(tgr_recorder_packets(recorder), 1u);
  const uint64_t bytes_written = tgr_recorder_bytes(recorder);
  EXPECT_EQ(tgr_recorder_close(recorder, error, sizeof error), TGR_OK) << error;
  EXPECT_EQ(std::filesystem::file_size(path), bytes_written);
  const ReadBack read = ReadRecording(path);
  EXPECT_EQ(read.packets, 1u);
  EXPECT_EQ(read.end, TGR_CAPTURE_WHOLE);
  std::remove(path.c_str());
}

#ifndef _WIN32
// A file that may grow no further: the write that fails is cut back off.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    signal(SIGXFSZ, SIG_DFL);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit saved_ = {};
};

TEST(RecorderApi, AFileThatCanTakeNoMoreEndsAfterItsLastWholePacket) {
  const std::string path = ::testing::TempDir() + "recorder_api_test_full.pcapng";
  const std::vector<unsigned char> bytes(1000, 9);
  {
    FileSizeLimit limit(10000);
    tgr_recorder* recorder = nullptr;
    char error[256] = "";
    ASSERT_EQ(tgr_recorder_open(path.c_str(), &recorder, error, sizeof error), TGR_OK) << error;
    int result = TGR_OK;
    uint64_t whole_bytes = 0;
    for (int i = 0; i < 20 && result == TGR_OK; ++i) {
      whole_bytes = tgr_recorder_bytes(recorder);
      const tgr_datagram d = At(1765000000000000000LL + i);
      errno = 0;
      result = tgr_recorder_write(recorder, &d, bytes.data(), bytes.size(), 0x7F000001, 9999);
    }
    EXPECT_EQ(result, TGR_E_FILE);
    EXPECT_EQ(errno, EFBIG) << "the system's number, for the caller";
    EXPECT_EQ(std::string(tgr_recorder_error(recorder)), "cannot write to " + path + ": " + strerror(EFBIG));
    const uint64_t packets = tgr_recorder_packets(recorder);
    EXPECT_EQ(packets, 9u) << "1,060 bytes a packet after 128 of headers";
    // Nothing more is taken, and the close says the recording stopped.
    const tgr_datagram d = At(1765000000000000000LL);
    EXPECT_EQ(tgr_recorder_write(recorder, &d, bytes.data(), 10, 0x7F000001, 9999), TGR_E_FILE);
    EXPECT_EQ(tgr_recorder_close(recorder, error, sizeof error), TGR_E_FILE);
    EXPECT_EQ(std::string(error), "the recording " + path + " stopped at a failed write");
    EXPECT_EQ(std::filesystem::file_size(path), whole_bytes) << "cut back to its last whole packet";
  }
  const ReadBack read = ReadRecording(path);
  EXPECT_EQ(read.packets, 9u);
  EXPECT_EQ(read.end, TGR_CAPTURE_WHOLE) << "whole to its last packet";

  // A file that cannot take its headers whole was never a recording.
  {
    FileSizeLimit limit(50);
    tgr_recorder* recorder = reinterpret_cast<tgr_recorder*>(&limit);  // made NULL on failure
    char error[256] = "";
    EXPECT_EQ(tgr_recorder_open(path.c_str(), &recorder, error, sizeof error), TGR_E_FILE);
    EXPECT_EQ(recorder, nullptr);
    EXPECT_EQ(std::string(error), "cannot write to " + path + ": " + strerror(EFBIG));
  }
  EXPECT_FALSE(std::filesystem::exists(path)) << "removed";
  std::remove(path.c_str());
}
#endif

TEST(RecorderApi, EveryOwningTypeMoves) {
  const std::string path = ::testing::TempDir() + "recorder_api_test_moved.pcapng";
  tgr::Recorder recorder;
  std::string error;
  ASSERT_EQ(recorder.Open(path, &error), TGR_OK) << error;
  tgr::Recorder moved(std::move(recorder));
  EXPECT_FALSE(recorder.is_open());  // NOLINT(bugprone-use-after-move,clang-analyzer-cplusplus.Move): moved from, said so
  const tgr_datagram d = At(1765000000000000000LL);
  EXPECT_EQ(moved.Write(d, "abc", 3, 0x7F000001, 9999), TGR_OK);
  tgr::Recorder assigned;
  assigned = std::move(moved);
  EXPECT_EQ(assigned.packets(), 1u);
  EXPECT_EQ(assigned.Close(&error), TGR_OK) << error;
  EXPECT_EQ(ReadRecording(path).packets, 1u);

  tgr::ReportReader reader;
  ASSERT_TRUE(reader.ok());
  const std::string report = "Receiving datagrams...\n--> Telegram Type: 6\r\nTotalSize: 2\t ScanNo:1\t BlockNo:0\r\n\n5\t";
  EXPECT_EQ(reader.Feed(report.data(), report.size()), TGR_OK);
  tgr::ReportReader taken(std::move(reader));
  EXPECT_FALSE(reader.ok());  // NOLINT(bugprone-use-after-move,clang-analyzer-cplusplus.Move): moved from, said so
  EXPECT_EQ(taken.End(), TGR_OK);
  tgr_report_block block = tgr::Sized<tgr_report_block>();
  ASSERT_EQ(taken.Next(&block), TGR_OK);
  ASSERT_EQ(block.value_count, 1u);
  EXPECT_EQ(block.values[0], 5);
  std::remove(path.c_str());
}

TEST(Version, TheNumberComparesAsTheVersionsDo) {
  EXPECT_EQ(tgr_version_number(), TGR_VERSION_NUMBER);
  EXPECT_EQ(TGR_VERSION_NUMBER, TGR_VERSION_MAJOR * 1000000 + TGR_VERSION_MINOR * 1000 + TGR_VERSION_PATCH);
  EXPECT_EQ(std::string(tgr_version()), std::to_string(TGR_VERSION_MAJOR) + "." + std::to_string(TGR_VERSION_MINOR) +
                                            "." + std::to_string(TGR_VERSION_PATCH));
  EXPECT_GE(tgr_version_number(), 1000000);
}

}  // namespace
