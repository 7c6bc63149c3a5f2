// The run and its receive loop against a scripted socket layer, which stands
// in for net/socket.h: failures that cannot be provoked from outside
// (a receive failing after some datagrams, a socket library that does not
// start) and what reaches the stream before each wait.
#include "receiver/receive_loop.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "receiver/waits.h"
#include "net/socket.h"
#include "net/socket_error_words.h"
#include "telegram/telegram_writer.h"
#include "tests/file_test_util.h"

namespace {

struct Script {
  int startup_error = 0;
  int open_error = 0;
  int bind_error = 0;
  std::vector<std::string> datagrams;  // delivered in turn
  int receive_error = 0;               // the receive after the last datagram fails with this
  std::vector<int> waiting;            // before each receive: 1 if a datagram is queued; 0 past the end
  int interrupt_after = -1;            // an interrupt comes once this many datagrams are received
  bool interrupt_while_blocked = false;  // it comes only in a wait that blocks
  std::vector<uint32_t> drops;         // the socket's drop count once k datagrams are received; the last past the end
  int drop_count_error = 0;            // the drop count cannot be read: this error
  DropCountScope drop_scope = kDropsOfThisSocket;
  int receive_buffer = 425984;         // as the system reports it
  int watch_error = 0;                 // interrupts cannot be watched: this error
  bool watch_given_back = false;       // a started watch gave the process back
  long stall_after = -1;               // the output takes this many bytes, then an interrupt ends the write

  std::vector<std::string> calls;
  std::vector<size_t> drop_looks;        // datagrams received at each look at the drop count
  std::vector<bool> fresh_looks;         // whether each look asked for a fresh count
  std::vector<long> visible_at_receive;  // bytes of the report on disk as each receive begins
  FILE* out = nullptr;
  size_t next = 0;
  int waits_asked = 0;
  long written = 0;
};

Script script;

long VisibleBytes(FILE* file) {
  struct stat info;
  return fstat(fileno(file), &info) == 0 ? static_cast<long>(info.st_size) : -1;
}

struct RunResult {
  int status;
  std::string out;
  std::string err;
};

RunResult RunScript(const ReceiverSettings& settings) {
  FILE* out = tmpfile();
  FILE* err = tmpfile();
  // Unbuffered, as the program's standard output is, so that each drain is
  // on disk at once.
  setvbuf(out, nullptr, _IONBF, 0);
  script.out = out;
  RunResult run;
  run.status = RunReceiver(settings, out, err);
  run.out = ReadWholeStream(out);
  run.err = ReadWholeStream(err);
  fclose(out);
  fclose(err);
  return run;
}

// A telegram of `length` bytes, cut from a header and values of 7.
std::string Datagram(uint32_t total_size, uint16_t type, uint16_t block_no, size_t length) {
  std::vector<unsigned char> bytes(length > 20 ? length : 20, 0);
  WriteHeader(bytes.data(), total_size, type, block_no, 0);
  for (size_t i = 20; i + 1 < bytes.size(); i += 2) PutU16(&bytes[i], 7);
  return std::string(bytes.begin(), bytes.begin() + static_cast<long>(length));
}

std::vector<std::string> Calls(std::initializer_list<const char*> names) {
  return std::vector<std::string>(names.begin(), names.end());
}

class ReceiveLoop : public testing::Test {
 protected:
  void SetUp() override { script = Script(); }
};

const char kClosing[] = "Finished receiving. Closing socket.\nExiting.\n";

}  // namespace

// The scripted socket layer.
int NetStartup() {
  script.calls.push_back("startup");
  return script.startup_error;
}
void NetCleanup() { script.calls.push_back("cleanup"); }
int NetOpenUdp(NetSocket* sock) {
  script.calls.push_back("open");
  if (script.open_error == 0) *sock = 42;
  return script.open_error;
}
int NetSetReceiveBuffer(NetSocket sock, int bytes) {
  script.calls.push_back("receive buffer " + std::to_string(sock) + " " + std::to_string(bytes));
  return 10055;  // refused: the run goes on all the same
}
int NetBindAnyAddress(NetSocket sock, uint16_t port) {
  script.calls.push_back("bind " + std::to_string(sock) + " " + std::to_string(port));
  return script.bind_error;
}
int NetReadReceiveBuffer(NetSocket /*sock*/, int* bytes, int* as_asked) {
  *bytes = script.receive_buffer;
  *as_asked = script.receive_buffer / 2;
  return 0;
}
int NetReadDropCount(NetSocket /*sock*/, bool fresh, uint32_t* dropped, DropCountScope* scope) {
  script.drop_looks.push_back(script.next);
  script.fresh_looks.push_back(fresh);
  if (script.drop_count_error != 0) return script.drop_count_error;
  const size_t at = std::min(script.next, script.drops.empty() ? 0 : script.drops.size() - 1);
  *dropped = script.drops.empty() ? 0 : script.drops[at];
  *scope = script.drop_scope;
  return 0;
}
void NetDescribeError(int code, char* text, size_t text_size) {
  const char* words = SocketErrorWords(code);
  snprintf(text, text_size, "%s (%d)", words ? words : "?", code);
}
int InterruptWatch::Start() {
  script.calls.push_back("watch interrupts");
  started_ = script.watch_error == 0;
  return script.watch_error;
}
InterruptWatch::~InterruptWatch() { script.watch_given_back = started_; }
int WaitForDatagram(NetSocket /*sock*/, bool block, DatagramWait* wait) {
  if (script.interrupt_after >= 0 && script.next >= static_cast<size_t>(script.interrupt_after) &&
      (block || !script.interrupt_while_blocked)) {
    script.calls.push_back(block ? "interrupted while waiting" : "interrupted");
    *wait = kInterrupted;
    return 0;
  }
  const size_t turn = block ? 0 : static_cast<size_t>(script.waits_asked++);
  *wait = block || (turn < script.waiting.size() && script.waiting[turn] == 1) ? kDatagramWaiting
                                                                               : kNoDatagramWaiting;
  return 0;
}
int NetReceive(NetSocket /*sock*/, unsigned char* buffer, int length, int* received) {
  script.calls.push_back("receive");
  script.visible_at_receive.push_back(VisibleBytes(script.out));
  if (script.next < script.datagrams.size()) {
    const std::string& datagram = script.datagrams[script.next];
    ++script.next;
    EXPECT_LE(datagram.size(), static_cast<size_t>(length));
    std::copy(datagram.begin(), datagram.end(), buffer);
    *received = static_cast<int>(datagram.size());
    return 0;
  }
  if (script.receive_error == 0) ADD_FAILURE() << "receive beyond the script";
  return script.receive_error;
}
void NetClose(NetSocket sock) { script.calls.push_back("close " + std::to_string(sock)); }
int WriteReport(FILE* stream, const char* data, size_t size) {
  size_t take = size;
  const bool stalls = script.stall_after >= 0 && script.written + static_cast<long>(size) > script.stall_after;
  if (stalls) take = static_cast<size_t>(script.stall_after - script.written);
  errno = 0;
  if (fwrite(data, 1, take, stream) != take) return errno != 0 ? errno : EIO;
  script.written += static_cast<long>(take);
  if (!stalls) return 0;
  script.calls.push_back("interrupted while writing");
  return EINTR;
}

TEST_F(ReceiveLoop, FullRunReportsExactlyTheLimitThenCloses) {
  // A long block 0, then shorter datagrams over what it left in the buffer.
  script.datagrams = {Datagram(26, 6, 0, 26), Datagram(0, 0, 0, 0), Datagram(26, 6, 0, 13),
                      Datagram(1000, 6, 1, 24)};
  while (script.datagrams.size() < 1001) script.datagrams.push_back(Datagram(20, 3, 0, 20));
  RunResult run = RunScript(DefaultReceiverSettings());

  std::string expected = "Receiving datagrams...\n";
  expected += "--> Telegram Type: 6\r\nTotalSize: 6\t ScanNo:0\t BlockNo:0\r\n\n7\t7\t7\t";
  expected += "--> Telegram Type: 0\r\n";
  expected += "--> Telegram Type: 0\r\n";
  expected += "--> Telegram Type: 6\r\nTotalSize: 980\t ScanNo:0\t BlockNo:1\r\n\n7\t7\t";
  for (int i = 4; i < 1000; ++i) expected += "--> Telegram Type: 3\r\n";
  expected += kClosing;
  EXPECT_EQ(run.out, expected);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(script.next, 1000u);  // no 1001st receive
  ASSERT_EQ(script.calls.size(), 5u + 1000u + 2u);
  EXPECT_EQ(std::vector<std::string>(script.calls.begin(), script.calls.begin() + 5),
            Calls({"watch interrupts", "startup", "open", "receive buffer 42 8388608", "bind 42 9999"}));
  EXPECT_EQ(std::vector<std::string>(script.calls.end() - 2, script.calls.end()), Calls({"close 42", "cleanup"}));
  EXPECT_TRUE(script.watch_given_back);
}

TEST_F(ReceiveLoop, InterruptsThatCannotBeWatchedAreSaidAndTheRunGoesOn) {
  script.watch_error = 10107;
  script.datagrams = {Datagram(22, 6, 0, 22)};
  while (script.datagrams.size() < 1000) script.datagrams.push_back(Datagram(20, 3, 0, 20));
  RunResult run = RunScript(DefaultReceiverSettings());
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(script.next, 1000u);
  const std::string start = "Receiving datagrams...\n--> Telegram Type: 6\r\nTotalSize: 2\t ScanNo:0\t BlockNo:0\r\n\n7\t";
  EXPECT_EQ(run.out.compare(0, start.size(), start), 0) << run.out.substr(0, 100);
  EXPECT_EQ(run.out.compare(run.out.size() - strlen(kClosing), strlen(kClosing), kClosing), 0);
  EXPECT_EQ(run.err,
            "telegram-receiver: cannot watch for interrupts (system call failure (10107)): an interrupt ends the run "
            "without the reports still buffered\n");
  EXPECT_FALSE(script.watch_given_back);
}

TEST_F(ReceiveLoop, LineEndsOfATextStreamAreWrittenByTheProgramItself) {
  // As a Windows text stream writes them: every "\n" of a line as "\r\n",
  // so "\r\n" as "\r\r\n"; block values are left as they are.
  script.datagrams = {Datagram(26, 6, 0, 26), Datagram(46, 1, 0, 46)};
  script.receive_error = 10054;
  ReceiverSettings settings = DefaultReceiverSettings();
  settings.line_ends = kLineEndsCrlf;
  RunResult run = RunScript(settings);
  EXPECT_EQ(run.out,
            "Receiving datagrams...\r\n"
            "--> Telegram Type: 6\r\r\nTotalSize: 6\t ScanNo:0\t BlockNo:0\r\r\n\r\n7\t7\t7\t"
            "--> Telegram Type: 1\r\r\nBeamCount : 1\t0\t46\t0\r\r\n"
            "WSAGetLastError: 10054\r\r\n"
            "Finished receiving. Closing socket.\r\nExiting.\r\n");
}

TEST_F(ReceiveLoop, FailedReceiveEndsTheRunAfterTheLinesBeforeIt) {
  script.datagrams = {Datagram(22, 6, 0, 22), Datagram(20, 9, 0, 20)};
  script.receive_error = 10054;
  RunResult run = RunScript(DefaultReceiverSettings());
  // The error line follows the last block value on the same line.
  EXPECT_EQ(run.out,
            "Receiving datagrams...\n"
            "--> Telegram Type: 6\r\nTotalSize: 2\t ScanNo:0\t BlockNo:0\r\n\n7\t"
            "--> Telegram Type: 9\r\n"
            "WSAGetLastError: 10054\r\n" +
                std::string(kClosing));
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "telegram-receiver: cannot receive a datagram: connection reset by peer (10054)\n");
  EXPECT_EQ(script.calls,
            Calls({"watch interrupts", "startup", "open", "receive buffer 42 8388608", "bind 42 9999", "receive",
                   "receive", "receive", "close 42", "cleanup"}));
}

TEST_F(ReceiveLoop, StartUpFailuresAreReportedAfterTheBannerWithNoReceive) {
  const std::string report = std::string("Receiving datagrams...\nWSAGetLastError: 10048\r\n") + kClosing;

  script.bind_error = 10048;
  RunResult run = RunScript(DefaultReceiverSettings());
  EXPECT_EQ(run.out, report);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "telegram-receiver: cannot bind UDP port 9999: address already in use (10048)\n");
  EXPECT_EQ(script.calls, Calls({"watch interrupts", "startup", "open", "receive buffer 42 8388608", "bind 42 9999",
                                 "close 42", "cleanup"}));

  script = Script();
  script.open_error = 10024;
  run = RunScript(DefaultReceiverSettings());
  EXPECT_EQ(run.out, std::string("Receiving datagrams...\nWSAGetLastError: 10024\r\n") + kClosing);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "telegram-receiver: cannot open a UDP socket: too many open sockets (10024)\n");
  EXPECT_EQ(script.calls, Calls({"watch interrupts", "startup", "open", "cleanup"}));

  script = Script();
  script.startup_error = 10091;
  run = RunScript(DefaultReceiverSettings());
  EXPECT_EQ(run.out, std::string("Receiving datagrams...\nWSAGetLastError: 10091\r\n") + kClosing);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "telegram-receiver: cannot start the socket library: network subsystem is unavailable (10091)\n");
  EXPECT_EQ(script.calls, Calls({"watch interrupts", "startup"}));
}

TEST_F(ReceiveLoop, BufferThatCannotBeHadEndsTheRunBeforeAnySocket) {
  ReceiverSettings settings = DefaultReceiverSettings();
  settings.buffer_size = static_cast<size_t>(INT_MAX) + 1;
  RunResult run = RunScript(settings);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_NE(run.err.find("cannot obtain memory"), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "one line";
  EXPECT_TRUE(script.calls.empty());
}

TEST_F(ReceiveLoop, ReportThatCannotBeWrittenEndsTheRunAtOnce) {
  // Every write to /dev/full fails as a full disk does.
  FILE* full = fopen("/dev/full", "w");
  if (full == nullptr) GTEST_SKIP() << "no /dev/full here";
  setvbuf(full, nullptr, _IONBF, 0);  // as the program's standard output is
  FILE* err = tmpfile();
  script.out = full;
  script.datagrams = {Datagram(20, 2, 0, 20), Datagram(20, 3, 0, 20)};
  ReceiverSettings settings = DefaultReceiverSettings();
  settings.datagram_limit = 2;
  const int status = RunReceiver(settings, full, err);
  const std::string message = ReadWholeStream(err);
  fclose(full);
  fclose(err);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(message, std::string("telegram-receiver: cannot write the report: ") + strerror(ENOSPC) + "\n");
  // The banner could not be written before the first wait: nothing was
  // received, and the socket was closed and the library stopped.
  EXPECT_EQ(script.calls, Calls({"watch interrupts", "startup", "open", "receive buffer 42 8388608", "bind 42 9999",
                                 "close 42", "cleanup"}));
}

TEST_F(ReceiveLoop, InterruptPutsOutEveryReportReceivedAndNothingMore) {
  const std::string block = Datagram(26, 6, 0, 26);
  const std::string block_report = "--> Telegram Type: 6\r\nTotalSize: 6\t ScanNo:0\t BlockNo:0\r\n\n7\t7\t7\t";
  // In a burst (datagrams queued) and while waiting (nothing queued).
  for (int queued : {1, 0}) {
    script = Script();
    script.datagrams = {block, block, block};
    script.waiting = {queued, queued, queued};
    script.interrupt_after = 2;
    script.interrupt_while_blocked = queued == 0;
    RunResult run = RunScript(DefaultReceiverSettings());
    EXPECT_EQ(run.status, kRunInterrupted);
    std::string expected = "Receiving datagrams...\n";
    expected += block_report;
    expected += block_report;
    EXPECT_EQ(run.out, expected) << "no closing lines";
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(script.next, 2u) << "no datagram received after the interrupt";
    EXPECT_EQ(std::vector<std::string>(script.calls.end() - 3, script.calls.end()),
              Calls({queued ? "interrupted" : "interrupted while waiting", "close 42", "cleanup"}));
  }
}

// The reader stopped taking the report, and an interrupt came while the
// receiver waited for it: the run ends there, with what was written an
// exact prefix, no more receives and no failure said.
TEST_F(ReceiveLoop, InterruptWhileTheOutputIsStalledEndsTheRunThere) {
  const std::string block = Datagram(26, 6, 0, 26);
  const std::string banner = "Receiving datagrams...\n";
  const std::string block_report = "--> Telegram Type: 6\r\nTotalSize: 6\t ScanNo:0\t BlockNo:0\r\n\n7\t7\t7\t";
  script.datagrams = {block, block, block};
  script.waiting = {0, 0, 0};
  script.stall_after = static_cast<long>(banner.size() + block_report.size() + 10);
  RunResult run = RunScript(DefaultReceiverSettings());
  EXPECT_EQ(run.status, kRunInterrupted);
  EXPECT_EQ(run.out, banner + block_report + block_report.substr(0, 10));
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(script.next, 2u) << "no datagram received after the interrupt";
  EXPECT_EQ(std::vector<std::string>(script.calls.end() - 3, script.calls.end()),
            Calls({"interrupted while writing", "close 42", "cleanup"}));

  // At the end of a whole run: the closing lines cut where the writing
  // stopped, and the run ends as interrupted.
  script = Script();
  script.datagrams = {Datagram(20, 3, 0, 20)};
  ReceiverSettings settings = DefaultReceiverSettings();
  settings.datagram_limit = 1;
  script.stall_after = static_cast<long>(banner.size()) + 25;
  run = RunScript(settings);
  EXPECT_EQ(run.status, kRunInterrupted);
  EXPECT_EQ(run.out, banner + "--> Telegram Type: 3\r\nFin");
  EXPECT_EQ(run.err, "");
}

TEST_F(ReceiveLoop, LinesReachTheStreamBeforeEveryWaitButNotWhileDatagramsQueue) {
  script.datagrams = {Datagram(20, 2, 0, 20), Datagram(20, 3, 0, 20), Datagram(20, 4, 0, 20)};
  script.receive_error = 10054;
  script.waiting = {0, 1, 0, 0};
  RunResult run = RunScript(DefaultReceiverSettings());
  const long banner = static_cast<long>(strlen("Receiving datagrams...\n"));
  const long type_line = static_cast<long>(strlen("--> Telegram Type: 2\r\n"));
  ASSERT_EQ(script.visible_at_receive.size(), 4u);
  EXPECT_EQ(script.visible_at_receive[0], banner);  // nothing waiting: the banner is out
  EXPECT_EQ(script.visible_at_receive[1], banner);  // a datagram waiting: still buffered
  EXPECT_EQ(script.visible_at_receive[2], banner + 2 * type_line);
  EXPECT_EQ(script.visible_at_receive[3], banner + 3 * type_line);
  EXPECT_EQ(run.status, 1);
}

TEST_F(ReceiveLoop, LossesAreSaidAtTheNextWaitAndInAllAtTheEnd) {
  // Six datagrams in three bursts. The count rises inside the first burst,
  // wrapping at 2^32, again in the second, and once more with the last
  // datagram, after which the program waits no more.
  for (int i = 0; i < 6; ++i) script.datagrams.push_back(Datagram(20, 3, 0, 20));
  script.waiting = {0, 1, 1, 0, 1, 0};
  const uint32_t base = 0xFFFFFFFEu;
  script.drops = {base, base + 2, base + 5, base + 5, base + 5, base + 7, base + 9};
  ReceiverSettings settings = DefaultReceiverSettings();
  settings.datagram_limit = 6;
  RunResult run = RunScript(settings);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err,
            "telegram-receiver: lost 5 datagrams (5 in all): the socket's receive buffer was full: it was granted "
            "212992 bytes (425984 as the system counts them, with its bookkeeping) of the 8388608 asked for; raise "
            "the limit with sysctl -w net.core.rmem_max=8388608 (see the README)\n"
            "telegram-receiver: lost 2 datagrams (7 in all): the socket's receive buffer was full: it was granted "
            "212992 bytes (425984 as the system counts them, with its bookkeeping) of the 8388608 asked for; raise "
            "the limit with sysctl -w net.core.rmem_max=8388608 (see the README)\n"
            "telegram-receiver: lost 9 datagrams in all\n");
  // At the start, where it is about to wait (never inside a burst), and at
  // the end.
  EXPECT_EQ(script.drop_looks, (std::vector<size_t>{0, 0, 3, 5, 6}));
  // The first and the last fresh, so that nothing is missed from the total.
  EXPECT_EQ(script.fresh_looks, (std::vector<bool>{true, false, false, false, true}));
  // The report itself is as ever.
  std::string expected = "Receiving datagrams...\n";
  for (int i = 0; i < 6; ++i) expected += "--> Telegram Type: 3\r\n";
  EXPECT_EQ(run.out, expected + kClosing);
}

TEST_F(ReceiveLoop, TheTotalIsSaidAfterAnInterruptAndAfterAFailure) {
  // Lost before an interrupt that comes while waiting.
  script.datagrams = {Datagram(20, 3, 0, 20), Datagram(20, 3, 0, 20), Datagram(20, 3, 0, 20)};
  script.waiting = {0, 0, 0};
  script.interrupt_after = 2;
  script.interrupt_while_blocked = true;
  script.drops = {0, 4};
  script.receive_buffer = 16777216;  // all it asked for, and yet too little
  RunResult run = RunScript(DefaultReceiverSettings());
  EXPECT_EQ(run.status, kRunInterrupted);
  EXPECT_EQ(run.err,
            "telegram-receiver: lost 4 datagrams (4 in all): the socket's receive buffer of 8388608 bytes (16777216 "
            "as the system counts them, with its bookkeeping) was full while the report's reader held the receiver "
            "up\n"
            "telegram-receiver: lost 4 datagrams in all\n");

  // Lost with the last datagram before a failed receive.
  script = Script();
  script.datagrams = {Datagram(20, 3, 0, 20)};
  script.waiting = {1, 1};
  script.receive_error = 10054;
  script.drops = {0, 3};
  run = RunScript(DefaultReceiverSettings());
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err,
            "telegram-receiver: cannot receive a datagram: connection reset by peer (10054)\n"
            "telegram-receiver: lost 3 datagrams in all\n");
}

TEST_F(ReceiveLoop, ASystemWideCountIsSaidToBeOneAndNoCountIsSaidOnce) {
  script.datagrams = {Datagram(20, 3, 0, 20), Datagram(20, 3, 0, 20)};
  script.waiting = {0, 0};
  script.drops = {10, 10, 12};
  script.drop_scope = kDropsOfTheSystem;
  ReceiverSettings settings = DefaultReceiverSettings();
  settings.datagram_limit = 2;
  RunResult run = RunScript(settings);
  EXPECT_EQ(run.err,
            "telegram-receiver: in all, the system could not deliver 2 UDP datagrams during the run (every "
            "program's, not this one's alone)\n");

  script = Script();
  script.datagrams = {Datagram(20, 3, 0, 20), Datagram(20, 3, 0, 20)};
  script.waiting = {0, 0};
  script.drop_count_error = 10042;
  run = RunScript(settings);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err,
            "telegram-receiver: this system gives no count of dropped datagrams (bad protocol option (10042)), so "
            "telegrams lost for want of room cannot be reported\n");
  EXPECT_EQ(script.drop_looks.size(), 1u) << "not asked again";
}
