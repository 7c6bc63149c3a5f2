// What the end-to-end tests share: the built programs as child processes
// whose output threads keep reading, datagrams sent to 127.0.0.1:9999, and
// the port held by someone else.
//
// Environment (set by the build): TELEGRAM_RECEIVER, the program;
// TELEGRAM_RECEIVER_LAUNCHER, a command to run it with (wine), if any;
// TELEGRAM_TEXT_MODE=1 where standard output turns "\n" into "\r\n";
// TELEGRAM_SENDER, the sender tool, and TELEGRAM_SENDER_LAUNCHER to run it with.
#ifndef RECEIVER_END_TO_END_TEST_UTIL_H_
#define RECEIVER_END_TO_END_TEST_UTIL_H_

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sender/udp_send.h"
#include "telegram/report_format.h"
#include "telegram/telegram_writer.h"

namespace e2e {

const std::chrono::seconds kTimeout(60);
const std::string kBanner = kBannerLine;
const std::string kClosing = std::string(kClosingLine) + kExitLine;

inline std::string Env(const char* name) {
  const char* value = getenv(name);
  return value ? value : "";
}

// A child process whose standard output (and error) a thread keeps reading,
// so that a full pipe never stalls it.
struct Child {
  pid_t pid = -1;
  int status = -1;
  bool exited = false;
  std::thread reader;
  std::mutex lock;
  std::condition_variable changed;
  std::string out;
  std::string err;
  std::thread err_reader;
  ~Child();  // ends a child that a failed test left behind
};

inline void ReadInto(int fd, Child* child, std::string* text) {
  char chunk[65536];
  for (;;) {
    ssize_t n = read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    std::lock_guard<std::mutex> hold(child->lock);
    text->append(chunk, static_cast<size_t>(n));
    child->changed.notify_all();
  }
  close(fd);
}

// How a child's standard streams and limits differ from the usual pipes.
struct StartOptions {
  int out_fd = -1;               // standard output: this descriptor, not a pipe the child reads
  bool close_out = false;        // standard output closed
  bool close_in_and_err = false; // standard input and error closed
  bool ignore_sigpipe = false;   // a write to a closed pipe fails with EPIPE
  long file_size_limit = -1;     // RLIMIT_FSIZE, in bytes
  bool ignore_sigxfsz = false;   // a write past it fails with EFBIG
};

inline bool Start(Child* child, std::vector<std::string> args, const StartOptions& options = StartOptions()) {
  int out_pipe[2];
  int err_pipe[2];
  if (pipe(out_pipe) != 0 || pipe(err_pipe) != 0) return false;
  std::vector<char*> argv;
  argv.reserve(args.size() + 1);
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  const pid_t parent = getpid();
  child->pid = fork();
  if (child->pid == 0) {
    // Should the test process die, the child dies with it and lets go of
    // the port, instead of failing every later test with 10048.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
    dup2(options.out_fd >= 0 ? options.out_fd : out_pipe[1], 1);
    dup2(err_pipe[1], 2);
    close(out_pipe[0]);
    close(err_pipe[0]);
    close(out_pipe[1]);
    close(err_pipe[1]);
    if (options.out_fd > 2) close(options.out_fd);
    if (options.close_out) close(1);
    if (options.close_in_and_err) {
      close(0);
      close(2);
    }
    if (options.ignore_sigpipe) signal(SIGPIPE, SIG_IGN);
    if (options.ignore_sigxfsz) signal(SIGXFSZ, SIG_IGN);
    if (options.file_size_limit >= 0) {
      const rlimit limit = {static_cast<rlim_t>(options.file_size_limit), static_cast<rlim_t>(options.file_size_limit)};
      setrlimit(RLIMIT_FSIZE, &limit);
    }
    execvp(argv[0], argv.data());
    _exit(127);
  }
  close(out_pipe[1]);
  close(err_pipe[1]);
  if (child->pid < 0) {
    close(out_pipe[0]);
    close(err_pipe[0]);
    return false;
  }
  child->reader = std::thread(ReadInto, out_pipe[0], child, &child->out);
  child->err_reader = std::thread(ReadInto, err_pipe[0], child, &child->err);
  return true;
}

// The program named by the variable `name`, behind its launcher if any.
inline std::vector<std::string> Command(const std::string& name, std::vector<std::string> args = {}) {
  std::vector<std::string> command;
  if (!Env((name + "_LAUNCHER").c_str()).empty()) command.push_back(Env((name + "_LAUNCHER").c_str()));
  command.push_back(Env(name.c_str()));
  command.insert(command.end(), args.begin(), args.end());
  return command;
}

inline std::vector<std::string> ReceiverCommand() { return Command("TELEGRAM_RECEIVER"); }

// Waits until the output holds at least `bytes` bytes; false on time-out.
inline bool WaitForOutput(Child* child, size_t bytes) {
  std::unique_lock<std::mutex> hold(child->lock);
  return child->changed.wait_for(hold, kTimeout, [&] { return child->out.size() >= bytes; });
}

inline std::string OutputSoFar(Child* child) {
  std::lock_guard<std::mutex> hold(child->lock);
  return child->out;
}

// Waits for the child to end; false (and the child killed) on time-out.
inline bool WaitForExit(Child* child) {
  auto deadline = std::chrono::steady_clock::now() + kTimeout;
  for (;;) {
    int status = 0;
    pid_t done = waitpid(child->pid, &status, WNOHANG);
    if (done == child->pid) {
      child->exited = true;
      child->status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      break;
    }
    if (std::chrono::steady_clock::now() > deadline) {
      kill(child->pid, SIGKILL);
      waitpid(child->pid, &status, 0);
      child->exited = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  child->reader.join();
  child->err_reader.join();
  return child->status >= 0;
}

// Looks without reaping, so that WaitForExit still sees how it ended.
inline bool StillRunning(Child* child) {
  siginfo_t info = {};
  return waitid(P_PID, static_cast<id_t>(child->pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == 0;
}

// Ends a child a failed test left behind, so that the port is free again.
inline void Reap(Child* child) {
  if (child->pid > 0 && !child->exited) {
    kill(child->pid, SIGKILL);
    waitpid(child->pid, nullptr, 0);
    child->exited = true;
  }
  if (child->reader.joinable()) child->reader.join();
  if (child->err_reader.joinable()) child->err_reader.join();
}

inline Child::~Child() { Reap(this); }

// Where standard output is a text stream that writes "\n" as "\r\n".
inline std::string AsWritten(const std::string& text) {
  if (Env("TELEGRAM_TEXT_MODE") != "1") return text;
  std::string written;
  for (char c : text) {
    if (c == '\n') written += '\r';
    written += c;
  }
  return written;
}

struct Sender {
  UdpTarget target;
  bool open = false;
  Sender() {
    char error[256];
    open = OpenUdpTarget(&target, "127.0.0.1", kReceiverPort, error, sizeof error);
  }
  ~Sender() {
    if (open) CloseUdpTarget(&target);
  }
  void Send(const std::string& d) const {
    ASSERT_EQ(SendDatagram(target, reinterpret_cast<const unsigned char*>(d.data()), d.size()), 0);
  }
};

// Writes the field of `width` bytes at `offset`, as far as it lies inside `d`.
inline void Set(std::string* d, size_t offset, uint32_t value, size_t width) {
  unsigned char bytes[4];
  PutU32(bytes, value);
  for (size_t i = 0; i < width && offset + i < d->size(); ++i) (*d)[offset + i] = static_cast<char>(bytes[i]);
}

// Holds UDP port 9999 on every local address while it lives.
struct PortHolder {
  NetSocket sock = 0;
  bool open = NetOpenUdp(&sock) == 0;
  int fd() const { return static_cast<int>(sock); }
  bool Bind() const { return open && NetBindAnyAddress(sock, kReceiverPort) == 0; }
  ~PortHolder() {
    if (open) NetClose(sock);
  }
};

}  // namespace e2e

#endif  // RECEIVER_END_TO_END_TEST_UTIL_H_
