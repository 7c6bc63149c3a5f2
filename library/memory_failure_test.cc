// Memory that cannot be had inside the C interface: each allocation a call
// makes fails in turn, and the call says TGR_E_MEMORY (or, with the memory
// it needed, does its work), never throwing through its C caller. A reader
// whose state memory left unsure says so from then on.
//
// The whole program's operator new is replaced here, so this test is a
// program of its own.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "capture/capture_writer_test_util.h"
#include "capture/udp_datagrams.h"
#include "tgr/tgr.h"
#include "tgr/tgr.hpp"

namespace {

long allocations_left = -1;  // before one fails; -1: none fails
int runs_marker = 0;         // an address that is no handle

}  // namespace

// The replacements below pair malloc with free themselves; GCC, seeing a
// delete inlined beside a new, would take free for a mismatch.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

// Every form of new and delete is replaced, so that each pair meets (a
// sanitizer's own forms would not meet ours).
void* operator new(std::size_t size) {
  if (allocations_left == 0) throw std::bad_alloc();
  if (allocations_left > 0) --allocations_left;
  // The replaced allocator can only be built on the C one.
  void* memory = std::malloc(size > 0 ? size : 1);  // NOLINT(cppcoreguidelines-no-malloc)
  if (memory == nullptr) throw std::bad_alloc();
  return memory;
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t& /*tag*/) noexcept {
  try {
    return operator new(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* memory) noexcept { std::free(memory); }  // NOLINT(cppcoreguidelines-no-malloc)
void operator delete[](void* memory) noexcept { operator delete(memory); }
void operator delete(void* memory, std::size_t /*size*/) noexcept { operator delete(memory); }
void operator delete[](void* memory, std::size_t /*size*/) noexcept { operator delete(memory); }
void operator delete(void* memory, const std::nothrow_t& /*tag*/) noexcept { operator delete(memory); }
void operator delete[](void* memory, const std::nothrow_t& /*tag*/) noexcept { operator delete(memory); }

namespace {

// Runs `scenario` with its first 0, 1, 2, ... allocations allowed and the
// next one failing, until it runs whole with none failing. Each run says
// whether memory ran out (`true`) or it did all its work; the scenario
// checks its own results. Returns how many runs it took.
template <typename Scenario>
int EveryAllocationFailsInTurn(Scenario scenario) {
  for (long allowed = 0; allowed < 100000; ++allowed) {
    allocations_left = allowed;
    const bool ran_out = scenario();
    allocations_left = -1;
    if (!ran_out) return static_cast<int>(allowed) + 1;
  }
  ADD_FAILURE() << "never ran whole";
  return 0;
}

// The calls between ours run with memory: gtest's own allocations.
struct Unlimited {
  long saved;
  Unlimited() : saved(allocations_left) { allocations_left = -1; }
  ~Unlimited() { allocations_left = saved; }
};

const std::string kReport =
    "Receiving datagrams...\n"
    "--> Telegram Type: 6\r\nTotalSize: 6\t ScanNo:7\t BlockNo:0\r\n\n1\t2\t65535\t"
    "--> Telegram Type: 6\r\nTotalSize: 6\t ScanNo:7\t BlockNo:1\r\n\n4\t5\t6\t"
    "Finished receiving. Closing socket.\nExiting.\n";

}  // namespace

TEST(MemoryFailure, TheReportReaderSaysSoAndStaysSo) {
  const int runs = EveryAllocationFailsInTurn([] {
    tgr_report_reader* reader = nullptr;
    tgr_report_reader_open(&reader, nullptr, 0);
    if (reader == nullptr) return true;
    int result = TGR_OK;
    size_t blocks = 0;
    for (size_t at = 0; at < kReport.size() && result == TGR_OK; at += 16) {
      result = tgr_report_reader_feed(reader, kReport.data() + at, std::min<size_t>(16, kReport.size() - at));
      tgr_report_block block = tgr::Sized<tgr_report_block>();
      while (result == TGR_OK && tgr_report_reader_next(reader, &block) == TGR_OK) ++blocks;
    }
    if (result == TGR_OK) result = tgr_report_reader_end(reader);
    const bool ran_out = result == TGR_E_MEMORY;
    Unlimited unlimited;  // memory back: the reader still says its state is unsure
    const int again = tgr_report_reader_feed(reader, "x", 1);
    tgr_report_block block = tgr::Sized<tgr_report_block>();
    const int next = tgr_report_reader_next(reader, &block);
    tgr_report_reader_close(reader, nullptr, 0);
    EXPECT_TRUE(result == TGR_OK || ran_out) << result;
    if (ran_out) {
      EXPECT_EQ(again, TGR_E_MEMORY) << "a reader whose state is unsure says so";
      EXPECT_EQ(next, TGR_E_MEMORY);
    } else {
      EXPECT_EQ(blocks, 2u);
    }
    return ran_out;
  });
  EXPECT_GT(runs, 1);
}

TEST(MemoryFailure, CapturesAndRecordingsSaySo) {
  const std::string capture_path = ::testing::TempDir() + "memory_failure_test.pcapng";
  const std::string recording_path = ::testing::TempDir() + "memory_failure_test_recording.pcapng";
  {
    // Fragments to put together, and a datagram whole.
    std::vector<TestPacket> packets;
    for (const Bytes& ip : UdpOverIpv4(Bytes(4000, 7), 9999, 1, 1500)) packets.push_back(TestPacket{1, ip, 0});
    packets.push_back(TestPacket{2, UdpOverIpv4(Bytes(30, 8), 9999, 2)[0], 0});
    ASSERT_TRUE(WriteBytesToFile(capture_path, WritePcapng(packets, kLinkRaw, false, 9)));
  }
  const int capture_runs = EveryAllocationFailsInTurn([&capture_path] {
    tgr_capture* capture = nullptr;
    char error[128] = "";
    int result = tgr_capture_open(capture_path.c_str(), 9999, &capture, error, sizeof error);
    size_t taken = 0;
    int again = TGR_OK;
    if (result == TGR_OK) {
      const void* bytes = nullptr;
      tgr_datagram d = tgr::Sized<tgr_datagram>();
      while ((result = tgr_capture_next(capture, &bytes, &d)) == TGR_OK) ++taken;
      Unlimited unlimited;  // memory back: the capture still says its state is unsure
      again = tgr_capture_next(capture, &bytes, &d);
      tgr_capture_close(capture, nullptr, 0);
    }
    const bool ran_out = result == TGR_E_MEMORY;
    Unlimited unlimited;
    EXPECT_TRUE(result == TGR_E_END || ran_out) << result;
    if (ran_out && capture == nullptr) {
      EXPECT_EQ(std::string(error), "not enough memory");
    } else if (ran_out) {
      EXPECT_EQ(again, TGR_E_MEMORY) << "a capture whose state is unsure says so";
    } else {
      EXPECT_EQ(taken, 2u);
    }
    return ran_out;
  });
  EXPECT_GT(capture_runs, 1);

  const std::vector<unsigned char> payload(65507, 3);
  const int recording_runs = EveryAllocationFailsInTurn([&recording_path, &payload] {
    tgr_recorder* recorder = nullptr;
    char error[128] = "";
    int result = tgr_recorder_open(recording_path.c_str(), &recorder, error, sizeof error);
    if (result == TGR_OK) {
      tgr_datagram d = tgr::Sized<tgr_datagram>();
      d.size = payload.size();
      d.time_ns = 1;
      d.source_address = 0x7F000001;
      d.source_port = 4000;
      result = tgr_recorder_write(recorder, &d, payload.data(), payload.size(), 0x7F000001, 9999);
      const int closed = tgr_recorder_close(recorder, error, sizeof error);
      if (result == TGR_OK) result = closed;
    }
    Unlimited unlimited;
    EXPECT_TRUE(result == TGR_OK || result == TGR_E_MEMORY) << result << " " << error;
    return result == TGR_E_MEMORY;
  });
  EXPECT_GT(recording_runs, 1);
  std::remove(capture_path.c_str());
  std::remove(recording_path.c_str());
}

TEST(MemoryFailure, OpensSaySoAndGiveNoHandle) {
  const int runs = EveryAllocationFailsInTurn([] {
    tgr_sequence* sequence = reinterpret_cast<tgr_sequence*>(&runs_marker);
    char error[64] = "";
    const int result = tgr_sequence_open(&sequence, error, sizeof error);
    Unlimited unlimited;
    if (result == TGR_E_MEMORY) {
      EXPECT_EQ(sequence, nullptr);
      EXPECT_STREQ(error, "not enough memory");
      return true;
    }
    EXPECT_EQ(result, TGR_OK);
    EXPECT_EQ(tgr_sequence_close(sequence, error, sizeof error), TGR_OK);
    return false;
  });
  EXPECT_GT(runs, 1);
}

TEST(MemoryFailure, TheReceiverSaysSo) {
  const int runs = EveryAllocationFailsInTurn([] {
    tgr_receiver* receiver = nullptr;
    char error[128] = "";
    int result = tgr_receiver_open("127.0.0.1", 0, 0, &receiver, error, sizeof error);
    if (result == TGR_OK) {
      unsigned char buffer[64];
      tgr_datagram d = tgr::Sized<tgr_datagram>();
      result = tgr_receiver_next(receiver, 0, buffer, sizeof buffer, &d);
      if (result == TGR_E_TIMEOUT) result = TGR_OK;
      tgr_receiver_close(receiver, nullptr, 0);
    }
    Unlimited unlimited;
    EXPECT_TRUE(result == TGR_OK || result == TGR_E_MEMORY) << result << " " << error;
    if (result == TGR_E_MEMORY && receiver == nullptr) {
      EXPECT_EQ(std::string(error), "not enough memory");
    }
    return result == TGR_E_MEMORY;
  });
  EXPECT_GT(runs, 1);
}
