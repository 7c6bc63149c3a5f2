#include "tests/end_to_end_test_util.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "sender/scan_source.h"
#include "telegram/report_format.h"
#include "telegram/report_model_test_util.h"
#include "telegram/telegram_writer.h"

namespace e2e {

const std::string kBanner = kBannerLine;
const std::string kClosing = std::string(kClosingLine) + kExitLine;

std::string Env(const char* name) {
  const char* value = getenv(name);
  return value ? value : "";
}

bool UnderWine() { return !Env("TELEGRAM_RECEIVER_LAUNCHER").empty(); }

namespace {

void ReadInto(int fd, Child* child, std::string* text) {
  char chunk[65536];
  for (;;) {
    const ssize_t n = read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    std::lock_guard<std::mutex> hold(child->lock);
    text->append(chunk, static_cast<size_t>(n));
    child->changed.notify_all();
  }
  close(fd);
}

// In the child, between fork and exec: its streams, signals and limits.
void SetUpChild(int out_pipe[2], int err_pipe[2], const StartOptions& options) {
  if (options.in_fd >= 0) dup2(options.in_fd, 0);
  dup2(options.out_fd >= 0 ? options.out_fd : out_pipe[1], 1);
  dup2(err_pipe[1], 2);
  close(out_pipe[0]);
  close(err_pipe[0]);
  close(out_pipe[1]);
  close(err_pipe[1]);
  if (options.out_fd > 2) close(options.out_fd);
  if (options.in_fd > 2) close(options.in_fd);
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
  if (options.address_space_limit >= 0) {
    const rlimit limit = {static_cast<rlim_t>(options.address_space_limit),
                          static_cast<rlim_t>(options.address_space_limit)};
    setrlimit(RLIMIT_AS, &limit);
  }
  if (options.block_interrupts) {
    sigset_t interrupts;
    sigemptyset(&interrupts);
    for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&interrupts, signal_number);
    sigprocmask(SIG_BLOCK, &interrupts, nullptr);
  }
}

}  // namespace

bool Start(Child* child, std::vector<std::string> args, const StartOptions& options) {
  int out_pipe[2];
  int err_pipe[2];
  if (pipe(out_pipe) != 0) return false;
  if (pipe(err_pipe) != 0) {
    close(out_pipe[0]);
    close(out_pipe[1]);
    return false;
  }
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
    SetUpChild(out_pipe, err_pipe, options);
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

bool StartIntoPipe(Child* child, std::vector<std::string> args, int* read_end, StartOptions options) {
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) return false;  // the child keeps no read end open
  options.out_fd = ends[1];
  const bool started = Start(child, std::move(args), options);
  close(ends[1]);
  if (!started) {
    close(ends[0]);
    return false;
  }
  *read_end = ends[0];
  return true;
}

std::string ReadToEnd(int fd) {
  std::string text;
  char chunk[65536];
  ssize_t n;
  while ((n = read(fd, chunk, sizeof chunk)) > 0 || (n < 0 && errno == EINTR)) {
    if (n > 0) text.append(chunk, static_cast<size_t>(n));
  }
  close(fd);
  return text;
}

std::vector<std::string> Command(const std::string& name, std::vector<std::string> args) {
  std::vector<std::string> command;
  const std::string launcher = Env((name + "_LAUNCHER").c_str());
  if (!launcher.empty()) command.push_back(launcher);
  command.push_back(Env(name.c_str()));
  command.insert(command.end(), args.begin(), args.end());
  return command;
}

std::vector<std::string> ReceiverCommand() { return Command("TELEGRAM_RECEIVER"); }

bool WaitForOutput(Child* child, size_t bytes) {
  std::unique_lock<std::mutex> hold(child->lock);
  return child->changed.wait_for(hold, kTimeout, [&] { return child->out.size() >= bytes; });
}

std::string OutputSoFar(Child* child) {
  std::lock_guard<std::mutex> hold(child->lock);
  return child->out;
}

bool WaitForExit(Child* child) {
  const auto deadline = std::chrono::steady_clock::now() + kTimeout;
  bool ended = false;
  for (;;) {
    int status = 0;
    rusage usage = {};
    const pid_t done = wait4(child->pid, &status, WNOHANG, &usage);
    if (done == child->pid) {
      child->peak_kilobytes = usage.ru_maxrss;
      if (WIFEXITED(status)) child->exit_code = WEXITSTATUS(status);
      if (WIFSIGNALED(status)) child->signal = WTERMSIG(status);
      ended = true;
      break;
    }
    if (std::chrono::steady_clock::now() > deadline) {
      kill(child->pid, SIGKILL);
      waitpid(child->pid, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  child->exited = true;
  child->reader.join();
  child->err_reader.join();
  return ended;
}

bool StillRunning(Child* child) {
  siginfo_t info = {};
  return waitid(P_PID, static_cast<id_t>(child->pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == 0;
}

void Reap(Child* child) {
  if (child->pid > 0 && !child->exited) {
    kill(child->pid, SIGKILL);
    waitpid(child->pid, nullptr, 0);
    child->exited = true;
  }
  if (child->reader.joinable()) child->reader.join();
  if (child->err_reader.joinable()) child->err_reader.join();
}

Child::~Child() { Reap(this); }

bool RunShell(const std::string& command) {
  Child shell;
  return Start(&shell, {"/bin/sh", "-c", command}) && WaitForExit(&shell) && shell.exit_code == 0;
}

bool WaitUntil(const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + kTimeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return true;
}

std::string AsWritten(const std::string& text) {
  if (Env("TELEGRAM_TEXT_MODE") != "1") return text;
  std::string written;
  for (char c : text) {
    if (c == '\n') written += '\r';
    written += c;
  }
  return written;
}

std::string ForProgram(const std::string& path) {
  if (!UnderWine()) return path;
  std::string windows = "Z:" + path;
  for (char& c : windows) c = c == '/' ? '\\' : c;
  return windows;
}

TempFolder::TempFolder() {
  char name[] = "/tmp/telegram-test.XXXXXX";
  path = mkdtemp(name) != nullptr ? name : "";
}

TempFolder::~TempFolder() {
  if (!path.empty()) RunShell("rm -rf '" + path + "'");
}

Sender::Sender() {
  std::string err;
  open = target.Open("127.0.0.1", kReceiverPort, &err);
  if (!open) ADD_FAILURE() << err;
}

void Sender::Send(const std::string& datagram) const {
  std::string err;
  if (!target.Send(reinterpret_cast<const unsigned char*>(datagram.data()), datagram.size(), &err)) {
    ADD_FAILURE() << "sending a datagram of " << datagram.size() << " bytes failed: " << err;
  }
}

std::string WholeRunReport(size_t size) {
  std::string expected = kBanner;
  std::vector<unsigned char> telegram(kMaxDatagramSize);
  for (uint32_t scan = 1; scan <= 250; ++scan) {
    size_t n = BuildBeamTelegram(telegram.data());
    expected += ModelReport(std::string(telegram.begin(), telegram.begin() + static_cast<long>(n)));
    for (uint16_t block = 0; block < 3; ++block) {
      n = BuildBlockTelegram(telegram.data(), size, scan, block);
      expected += ModelReport(std::string(telegram.begin(), telegram.begin() + static_cast<long>(n)));
    }
  }
  return expected + kClosing;
}

void Set(std::string* d, size_t offset, uint32_t value, size_t width) {
  unsigned char bytes[4];
  PutU32(bytes, value);
  for (size_t i = 0; i < width && offset + i < d->size(); ++i) (*d)[offset + i] = static_cast<char>(bytes[i]);
}

PortHolder::PortHolder() : open(NetOpenUdp(&sock) == 0) {}

PortHolder::~PortHolder() {
  if (open) NetClose(sock);
}

bool PortHolder::Bind() const { return open && NetBindAnyAddress(sock, kReceiverPort) == 0; }

}  // namespace e2e
