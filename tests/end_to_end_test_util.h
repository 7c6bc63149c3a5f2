// What the end-to-end tests share: the built programs as child processes
// whose output threads keep reading, datagrams sent to 127.0.0.1:9999, and
// the port held by someone else.
//
// Environment (set by the build): TELEGRAM_RECEIVER, the program;
// TELEGRAM_RECEIVER_LAUNCHER, a command to run it with (wine), if any;
// TELEGRAM_TEXT_MODE=1 where standard output turns "\n" into "\r\n";
// TELEGRAM_SENDER, the sender tool, and TELEGRAM_SENDER_LAUNCHER to run it with.
#ifndef TESTS_END_TO_END_TEST_UTIL_H_
#define TESTS_END_TO_END_TEST_UTIL_H_

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "net/socket.h"
#include "net/udp_target.h"

namespace e2e {

const std::chrono::seconds kTimeout(60);
// The banner, and the closing lines of a run that ends by itself.
extern const std::string kBanner;
extern const std::string kClosing;

std::string Env(const char* name);
bool UnderWine();

// Built with AddressSanitizer, as the hardening checks build the tests and
// the programs: several times slower, and its memory the sanitizer's.
#if defined(__SANITIZE_ADDRESS__)
const bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
const bool kSanitized = true;
#else
const bool kSanitized = false;
#endif
#else
const bool kSanitized = false;
#endif

// A child process whose standard output (and error) a thread keeps reading,
// so that a full pipe never stalls it.
struct Child {
  pid_t pid = -1;
  bool exited = false;
  int exit_code = -1;  // its exit status, or -1 if a signal ended it
  int signal = 0;      // the signal that ended it, or 0
  long peak_kilobytes = 0;  // the most memory it held at once (its peak resident set), once it has ended
  std::thread reader;
  std::mutex lock;
  std::condition_variable changed;
  std::string out;
  std::string err;
  std::thread err_reader;
  ~Child();  // ends a child that a failed test left behind
};

// How a child's standard streams, signals and limits differ from the usual.
struct StartOptions {
  int in_fd = -1;                 // standard input: this descriptor
  int out_fd = -1;                // standard output: this descriptor, not a pipe the child reads
  bool close_out = false;         // standard output closed
  bool close_in_and_err = false;  // standard input and error closed
  bool ignore_sigpipe = false;    // a write to a closed pipe fails with EPIPE
  long file_size_limit = -1;      // RLIMIT_FSIZE, in bytes
  bool ignore_sigxfsz = false;    // a write past it fails with EFBIG
  long address_space_limit = -1;  // RLIMIT_AS, in bytes
  bool block_interrupts = false;  // started with SIGINT, SIGTERM and SIGHUP blocked
};

bool Start(Child* child, std::vector<std::string> args, const StartOptions& options = StartOptions());

// Starts `child` with its standard output on a pipe that it alone writes;
// the read end goes to `*read_end`, for the test to read at its own pace,
// or not at all.
bool StartIntoPipe(Child* child, std::vector<std::string> args, int* read_end, StartOptions options = StartOptions());

// Everything that comes from `fd` up to its end; `fd` is then closed.
std::string ReadToEnd(int fd);

// The program named by the variable `name`, behind its launcher if any.
std::vector<std::string> Command(const std::string& name, std::vector<std::string> args = {});
std::vector<std::string> ReceiverCommand();

// Waits until the output holds at least `bytes` bytes; false on time-out.
bool WaitForOutput(Child* child, size_t bytes);
std::string OutputSoFar(Child* child);

// Waits for the child to end; false (and the child killed) on time-out.
bool WaitForExit(Child* child);
// Looks without reaping, so that WaitForExit still sees how it ended.
bool StillRunning(Child* child);
// Ends a child a failed test left behind, so that the port is free again.
void Reap(Child* child);

// Runs a shell command to its end; true if it ended with status 0.
bool RunShell(const std::string& command);

// Polls `done` until it holds; false on time-out.
bool WaitUntil(const std::function<bool()>& done);

// Where standard output is a text stream that writes "\n" as "\r\n".
std::string AsWritten(const std::string& text);

// A path as the programs under test take it: under Wine, a Windows one.
std::string ForProgram(const std::string& path);

// A folder in /tmp of the test's own, removed with it.
struct TempFolder {
  std::string path;
  TempFolder();
  ~TempFolder();
};

// Sends datagrams to the receiver's port on 127.0.0.1.
struct Sender {
  UdpTarget target;
  bool open = false;
  Sender();
  void Send(const std::string& datagram) const;
};

// The report of telegram-sender's default run of 250 scans, each a beam
// range and blocks 0 to 2 of `size` bytes, with the banner and the closing
// lines.
std::string WholeRunReport(size_t size);

// Writes the field of `width` bytes at `offset`, as far as it lies inside `d`.
void Set(std::string* d, size_t offset, uint32_t value, size_t width);

// Holds the receiver's UDP port on every local address while it lives.
struct PortHolder {
  NetSocket sock = 0;
  bool open = false;
  PortHolder();
  ~PortHolder();
  bool Bind() const;
  int fd() const { return static_cast<int>(sock); }
};

}  // namespace e2e

#endif  // TESTS_END_TO_END_TEST_UTIL_H_
