// telegram-plot --serve as a browser and a hostile client meet it: fixed
// routes only, bad requests answered with a 4xx and the server still up,
// idle connections by the hundred, a page that reads nothing while the
// receiver runs at 1 Gbit/s, loopback by default, memory kept to the
// newest blocks.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/end_to_end_test_util.h"
#include "tests/file_test_util.h"

namespace {

using namespace e2e;  // NOLINT(google-build-using-namespace): the tests' own helpers

// The number at the start of `text`, 0 if none.
int NumberAt(const char* text) { return static_cast<int>(strtol(text, nullptr, 10)); }

// A connection to 127.0.0.1:`port`, or -1.
int Connect(int port, int receive_buffer = 0) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return -1;
  if (receive_buffer > 0) setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receive_buffer, sizeof receive_buffer);
  sockaddr_in to = {};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<uint16_t>(port));
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// Everything the server answers to `request` before it closes, within 6 s.
std::string Ask(int port, const std::string& request) {
  const int fd = Connect(port);
  if (fd < 0) return "";
  if (send(fd, request.data(), request.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(request.size())) {
    close(fd);
    return "";
  }
  std::string answer;
  char chunk[65536];
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(6);
  while (std::chrono::steady_clock::now() < deadline) {
    pollfd entry = {fd, POLLIN, 0};
    if (poll(&entry, 1, 100) <= 0) continue;
    const ssize_t n = recv(fd, chunk, sizeof chunk, 0);
    if (n <= 0) break;
    answer.append(chunk, static_cast<size_t>(n));
  }
  close(fd);
  return answer;
}

std::string Get(int port, const std::string& path) {
  return Ask(port, "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
}

// The status of an answer: "HTTP/1.1 404 Not Found" gives 404.
int Status(const std::string& answer) {
  return answer.compare(0, 5, "HTTP/") == 0 ? NumberAt(answer.c_str() + answer.find(' ') + 1) : -1;
}

std::string Body(const std::string& answer) {
  const size_t at = answer.find("\r\n\r\n");
  return at == std::string::npos ? "" : answer.substr(at + 4);
}

// telegram-plot --serve on any free port, the report written to its
// standard input; the port it said.
struct Served {
  Child plot;
  int input = -1;
  int port = 0;
  explicit Served(std::vector<std::string> more = {}) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) return;
    StartOptions options;
    options.in_fd = ends[0];
    std::vector<std::string> args = {"--serve", "127.0.0.1:0"};
    args.insert(args.end(), more.begin(), more.end());
    if (!Start(&plot, Command("TELEGRAM_PLOT", args), options)) return;
    close(ends[0]);
    input = ends[1];
    WaitUntil([this] {
      std::lock_guard<std::mutex> hold(plot.lock);
      const size_t at = plot.err.find("http://127.0.0.1:");
      if (at == std::string::npos) return false;
      port = NumberAt(plot.err.c_str() + at + 17);
      return port > 0;
    });
  }
  void Write(const std::string& text) const {
    EXPECT_EQ(write(input, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  }
  // Ends it as Ctrl-C does.
  void End() {
    if (input >= 0) close(input);
    input = -1;
    kill(plot.pid, SIGINT);
    WaitForExit(&plot);
  }
  ~Served() {
    if (input >= 0) close(input);
  }
};

// A report of `blocks` block-0 telegrams of three values, scans 1 on.
std::string SmallReport(int blocks) {
  std::string report = kBanner;
  for (int scan = 1; scan <= blocks; ++scan) {
    report += "--> Telegram Type: 6\r\nTotalSize: 6\t ScanNo:" + std::to_string(scan) + "\t BlockNo:0\r\n\n" +
              std::to_string(scan) + "\t" + std::to_string(scan + 1) + "\t7\t";
  }
  return report;
}

}  // namespace

TEST(PlotServe, FixedRoutesOnlyAndABadRequestGetsA4xx) {
  Served served;
  ASSERT_GT(served.port, 0) << served.plot.err;
  served.Write(SmallReport(3));
  ASSERT_TRUE(WaitUntil([&] { return Body(Get(served.port, "/blocks")).find("scan-3-block-0") != std::string::npos; }));
  const int port = served.port;
  EXPECT_EQ(Status(Get(port, "/")), 200);
  EXPECT_EQ(Body(Get(port, "/scan-2-block-0.csv")), "index,value\n0,2\n1,3\n2,7\n");
  const std::string values = Body(Get(port, "/values/3"));
  EXPECT_EQ(values, std::string("\x03\x00\x04\x00\x07\x00", 6));
  for (const char* path : {"/../../etc/passwd", "/%2e%2e/%2e%2e/etc/passwd", "/index.html", "/plot/telegram_plot.cc",
                           "/values/99", "/values/-1", "/scan-9-block-0.csv", "/blocks/../index.html",
                           "/uPlot.iife.min.js/../../etc/passwd"}) {
    const int status = Status(Get(port, path));
    EXPECT_GE(status, 400) << path;
    EXPECT_LT(status, 500) << path;
  }
  const std::vector<std::string> bad = {
      "POST / HTTP/1.1\r\nHost: x\r\nContent-Length: 5\r\nConnection: close\r\n\r\nhello",
      "GARBAGE\r\n\r\n",
      std::string("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03", 11) + std::string(200, '\x7f') + "\r\n\r\n",
      "GET /" + std::string(20000, 'a') + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n",
      "GET / HTTP/1.1\r\nConnection: close\r\n" + std::string(10000, 'X') + ": y\r\n\r\n",
  };
  for (const std::string& request : bad) {
    const std::string answer = Ask(port, request);
    const int status = Status(answer);
    EXPECT_TRUE(answer.empty() || (status >= 400 && status < 500)) << request.substr(0, 40) << ": " << status;
  }
  EXPECT_EQ(Status(Get(port, "/blocks")), 200) << "the server is still up";
  served.End();
  EXPECT_EQ(served.plot.exit_code, 0) << served.plot.err;
}

TEST(PlotServe, TwoHundredIdleConnectionsNeitherStopItNorHoldItUp) {
  Served served;
  ASSERT_GT(served.port, 0) << served.plot.err;
  served.Write(SmallReport(1));
  std::vector<int> idle;
  for (int i = 0; i < 200; ++i) {
    const int fd = Connect(served.port);
    if (fd >= 0) idle.push_back(fd);
  }
  EXPECT_EQ(idle.size(), 200u);
  // A page is answered all the same, once the idle ones have timed out at
  // the latest.
  const auto asked = std::chrono::steady_clock::now();
  std::string answer;
  WaitUntil([&] {
    answer = Get(served.port, "/blocks");
    return Status(answer) == 200;
  });
  EXPECT_EQ(Status(answer), 200);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - asked).count();
  EXPECT_LT(seconds, 30.0);
  if (!UnderWine()) {
    // Its threads stay bounded.
    const std::string status = ReadWholeFile("/proc/" + std::to_string(served.plot.pid) + "/status");
    const size_t at = status.find("Threads:");
    ASSERT_NE(at, std::string::npos);
    EXPECT_LE(NumberAt(status.c_str() + at + 8), 40) << "threads";
  }
  // The idle connections are closed by the server within its time-out.
  int closed = 0;
  for (int fd : idle) {
    pollfd entry = {fd, POLLIN, 0};
    char byte;
    if (poll(&entry, 1, 12000) == 1 && recv(fd, &byte, 1, 0) <= 0) ++closed;
    close(fd);
  }
  EXPECT_EQ(closed, 200) << "idle connections closed by the server";
  served.End();
}

// The receiver at 1 Gbit/s into the plot, while a page opens the news and
// reads nothing of it: the plot takes every telegram, and the receiver
// loses none.
TEST(PlotServe, APageThatReadsNothingHoldsNothingUp) {
  if (UnderWine()) GTEST_SKIP() << "the Windows receiver under Wine does not keep this rate";
  if (kSanitized) GTEST_SKIP() << "a sanitized build is several times slower: the rate is the plain build's to keep";
  // The receiver's report through a pipe into the plot, as a shell joins
  // them, each a child of its own so that each can be ended.
  int ends[2];
  ASSERT_EQ(pipe2(ends, O_CLOEXEC), 0);
  Child plot;
  StartOptions plot_options;
  plot_options.in_fd = ends[0];
  ASSERT_TRUE(Start(&plot, Command("TELEGRAM_PLOT", {"--serve", "127.0.0.1:0"}), plot_options));
  close(ends[0]);
  Child receiver;
  StartOptions receiver_options;
  receiver_options.out_fd = ends[1];
  ASSERT_TRUE(Start(&receiver, ReceiverCommand(), receiver_options));
  close(ends[1]);
  int port = 0;
  ASSERT_TRUE(WaitUntil([&] {
    std::lock_guard<std::mutex> hold(plot.lock);
    const size_t at = plot.err.find("http://127.0.0.1:");
    if (at != std::string::npos) port = NumberAt(plot.err.c_str() + at + 17);
    return port > 0;
  }));
  // A page that asks for the news and never reads them.
  const int stalled = Connect(port, 4096);
  ASSERT_GE(stalled, 0);
  const std::string request = "GET /events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
  ASSERT_EQ(send(stalled, request.data(), request.size(), 0), static_cast<ssize_t>(request.size()));
  ASSERT_TRUE(WaitUntil([] { return ReadWholeFile("/proc/net/udp").find(":270F ") != std::string::npos; }));
  Child sender;
  ASSERT_TRUE(Start(&sender, Command("TELEGRAM_SENDER", {"--no-beam", "--blocks", "1", "--scans", "1000", "--size",
                                                          "65507", "--rate", "1908"})));
  ASSERT_TRUE(WaitForExit(&sender));
  EXPECT_EQ(sender.exit_code, 0) << sender.err;
  // Asked a few times a second, so that the asking costs the receiver
  // nothing.
  std::string blocks;
  for (int look = 0; look < 100; ++look) {
    blocks = Body(Get(port, "/blocks?after=999"));
    if (blocks.find("\"reading\":false") != std::string::npos) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  EXPECT_NE(blocks.find("\"telegrams\":1000,"), std::string::npos) << blocks.substr(0, 300);
  EXPECT_NE(blocks.find("\"blocks\":1000,"), std::string::npos) << blocks.substr(0, 300);
  EXPECT_NE(blocks.find("\"whole\":true"), std::string::npos) << "the receiver ended by itself, with its closing lines";
  close(stalled);
  if (blocks.find("\"reading\":false") == std::string::npos) {
    Reap(&receiver);  // it lost telegrams, and waits for ever
  } else {
    ASSERT_TRUE(WaitForExit(&receiver));
    EXPECT_EQ(receiver.exit_code, 0);
  }
  kill(plot.pid, SIGINT);
  ASSERT_TRUE(WaitForExit(&plot));
  EXPECT_EQ(plot.exit_code, 0) << plot.err;
}

TEST(PlotServe, LoopbackOnlyByDefaultAndTheNewestBlocksKept) {
  Served served({"--keep", "10"});
  ASSERT_GT(served.port, 0) << served.plot.err;
  if (!UnderWine()) {
    // Listening on 127.0.0.1 alone: /proc/net/tcp gives its address in hex.
    char local[32];
    snprintf(local, sizeof local, "0100007F:%04X 00000000:0000 0A", static_cast<unsigned>(served.port));
    EXPECT_NE(ReadWholeFile("/proc/net/tcp").find(local), std::string::npos) << local;
  }
  EXPECT_EQ(served.plot.err.find("anyone who can reach"), std::string::npos) << served.plot.err;
  served.Write(SmallReport(50));
  std::string blocks;
  ASSERT_TRUE(WaitUntil([&] {
    blocks = Body(Get(served.port, "/blocks"));
    return blocks.find("\"blocks\":50,") != std::string::npos;
  })) << blocks;
  EXPECT_NE(blocks.find("\"kept\":10,"), std::string::npos) << blocks;
  EXPECT_EQ(blocks.find("scan-40-block-0"), std::string::npos) << "the oldest went";
  EXPECT_NE(blocks.find("scan-41-block-0"), std::string::npos);
  EXPECT_EQ(Status(Get(served.port, "/values/40")), 404);
  EXPECT_EQ(Status(Get(served.port, "/values/41")), 200);
  served.End();
}

TEST(PlotServe, AnAddressGivenIsSaidToBeOpenToAll) {
  Child plot;
  ASSERT_TRUE(Start(&plot, Command("TELEGRAM_PLOT", {"--serve", "0.0.0.0:0"})));
  ASSERT_TRUE(WaitUntil([&] {
    std::lock_guard<std::mutex> hold(plot.lock);
    return plot.err.find("anyone who can reach 0.0.0.0:") != std::string::npos;
  })) << OutputSoFar(&plot);
  kill(plot.pid, SIGINT);
  ASSERT_TRUE(WaitForExit(&plot));
}
