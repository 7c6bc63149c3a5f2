// The queue to standard output: every telegram's bytes come out as they went
// in, in order, across the ring's end; what finds no room is refused at
// once; and the memory never grows past the bound.
#include "record/datagram_queue.h"

#include <gtest/gtest.h>

#include <random>
#include <thread>
#include <vector>

namespace {

std::vector<unsigned char> Bytes(size_t size, unsigned seed) {
  std::vector<unsigned char> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<unsigned char>(i * 31 + seed);
  return bytes;
}

tgr_datagram Datagram(size_t size, uint16_t port) {
  tgr_datagram d = {};
  d.struct_size = sizeof d;
  d.size = size;
  d.time_ns = static_cast<int64_t>(size) * 1000 + port;
  d.source_port = port;
  return d;
}

// Takes the oldest, checking it is `size` bytes of `seed`.
void TakeAndCheck(DatagramQueue* queue, size_t size, unsigned seed) {
  tgr_datagram d;
  const unsigned char* bytes = nullptr;
  ASSERT_TRUE(queue->Peek(std::chrono::milliseconds(0), &d, &bytes));
  ASSERT_EQ(d.size, size);
  EXPECT_EQ(d.source_port, seed);
  EXPECT_EQ(d.time_ns, static_cast<int64_t>(size) * 1000 + seed);
  EXPECT_EQ(std::vector<unsigned char>(bytes, bytes + size), Bytes(size, seed));
  queue->Release();
}

TEST(DatagramQueue, WhatGoesInComesOutWholeAndInOrderAcrossTheRingsEnd) {
  DatagramQueue queue;
  ASSERT_TRUE(queue.Allocate(1000));
  // Records of about 300 bytes: the fourth no longer fits at the end, and
  // goes to the start once the oldest has left.
  const size_t size = 300 - DatagramQueue::kOverhead;
  for (unsigned i = 0; i < 3; ++i) ASSERT_TRUE(queue.Push(Datagram(size, i), Bytes(size, i).data())) << i;
  EXPECT_FALSE(queue.Push(Datagram(size, 3), Bytes(size, 3).data())) << "no room: refused, not waited for";
  EXPECT_EQ(queue.waiting(), 3u);
  TakeAndCheck(&queue, size, 0);
  ASSERT_TRUE(queue.Push(Datagram(size, 4), Bytes(size, 4).data())) << "at the start of the ring";
  EXPECT_FALSE(queue.Push(Datagram(size, 5), Bytes(size, 5).data()));
  TakeAndCheck(&queue, size, 1);
  TakeAndCheck(&queue, size, 2);
  // An empty telegram takes no bytes of its own, and still comes out.
  ASSERT_TRUE(queue.Push(Datagram(0, 6), nullptr));
  TakeAndCheck(&queue, size, 4);
  TakeAndCheck(&queue, 0, 6);
  EXPECT_EQ(queue.waiting(), 0u);
  EXPECT_EQ(queue.used(), 0u);
  // Larger than the whole ring: never kept.
  EXPECT_FALSE(queue.Push(Datagram(1000, 7), Bytes(1000, 7).data()));
}

TEST(DatagramQueue, AProducerAndAConsumerLoseNothingThatWasTaken) {
  DatagramQueue queue;
  ASSERT_TRUE(queue.Allocate(size_t{64} * 1024));
  std::mt19937 random(7);  // NOLINT(cert-msc32-c,cert-msc51-cpp): the same sizes every run
  std::vector<size_t> sizes(20000);
  for (size_t& size : sizes) size = random() % 9000;
  std::vector<bool> taken(sizes.size());
  std::thread producer([&] {
    for (size_t i = 0; i < sizes.size(); ++i) {
      taken[i] = queue.Push(Datagram(sizes[i], static_cast<uint16_t>(i)), Bytes(sizes[i], static_cast<unsigned>(i)).data());
      EXPECT_LE(queue.used(), queue.capacity());
    }
    queue.Close();
  });
  std::vector<size_t> got;
  for (;;) {
    tgr_datagram d;
    const unsigned char* bytes = nullptr;
    if (!queue.Peek(std::chrono::milliseconds(100), &d, &bytes)) {
      if (queue.closed_and_empty()) break;
      continue;
    }
    const size_t i = got.empty() ? 0 : got.back() + 1;
    size_t index = i;
    while (index < sizes.size() && static_cast<uint16_t>(index) != d.source_port) ++index;
    ASSERT_LT(index, sizes.size());
    ASSERT_EQ(d.size, sizes[index]);
    ASSERT_EQ(std::vector<unsigned char>(bytes, bytes + d.size), Bytes(d.size, static_cast<unsigned>(index)));
    got.push_back(index);
    queue.Release();
  }
  producer.join();
  std::vector<size_t> expected;
  for (size_t i = 0; i < sizes.size(); ++i) {
    if (taken[i]) expected.push_back(i);
  }
  EXPECT_EQ(got, expected) << "each one taken came out, once, in order";
  EXPECT_GT(expected.size(), sizes.size() / 10);
}

}  // namespace
