// Reading what an input has for now, on POSIX: a wait that a signal cuts
// short is no failure, and a read that fails is one.
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

#include "plot/input_read.h"
#include "plot/report_input.h"

namespace {

void Ignore(int /*signal_number*/) {}

}  // namespace

TEST(InputRead, AWaitCutShortByASignalIsNothingYet) {
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  FILE* input = fdopen(ends[0], "r");
  ASSERT_NE(input, nullptr);
  // A handler without SA_RESTART, as the plot's own: poll ends with EINTR.
  struct sigaction action = {};
  struct sigaction before = {};
  action.sa_handler = Ignore;
  sigemptyset(&action.sa_mask);
  ASSERT_EQ(sigaction(SIGUSR1, &action, &before), 0);
  const pthread_t reader = pthread_self();
  std::thread interrupter([reader] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    pthread_kill(reader, SIGUSR1);
  });
  char buffer[16];
  long got = 0;
  const auto start = std::chrono::steady_clock::now();
  const int error = ReadAvailable(input, buffer, sizeof buffer, 3000, &got);
  const auto waited = std::chrono::steady_clock::now() - start;
  interrupter.join();
  sigaction(SIGUSR1, &before, nullptr);
  EXPECT_EQ(error, 0) << strerror(error);
  EXPECT_EQ(got, kNothingYet);
  EXPECT_LT(waited, std::chrono::milliseconds(2500)) << "the signal cut the wait short";
  // Then what comes is read, and the end of the input is said as such.
  ASSERT_EQ(write(ends[1], "abc", 3), 3);
  close(ends[1]);
  EXPECT_EQ(ReadAvailable(input, buffer, sizeof buffer, 1000, &got), 0);
  EXPECT_EQ(got, 3);
  EXPECT_EQ(ReadAvailable(input, buffer, sizeof buffer, 1000, &got), 0);
  EXPECT_EQ(got, 0);
  fclose(input);
}

// A read that fails is not the end of the input: the reader says why.
TEST(InputRead, AFailedReadIsAnErrorNotAnEnd) {
  const std::string folder = std::filesystem::temp_directory_path().string();
  ReportInput input;
  std::string err;
  ASSERT_TRUE(input.Open(folder, false, size_t{1} << 20, &err)) << err;  // a folder opens, but does not read
  InputPiece piece;
  while (input.Next(&piece, 100)) {
    EXPECT_EQ(piece.size, 0u);
  }
  EXPECT_EQ(input.error(), EISDIR);
}
