// What the demo needs of the platform, on POSIX.
#include "sender/demo_platform.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

void ReceiverProcess::Release() {
  close(static_cast<int>(output_));
  started_ = false;
}

int ReceiverProcess::Start(const char* program) {
  int pipe_ends[2];
  if (pipe(pipe_ends) != 0) return errno;
  fcntl(pipe_ends[0], F_SETFD, FD_CLOEXEC);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipe_ends[1], 1);
  posix_spawn_file_actions_addclose(&actions, pipe_ends[1]);
  char* argv[] = {const_cast<char*>(program), nullptr};
  pid_t pid = -1;
  const int failed = posix_spawnp(&pid, program, &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipe_ends[1]);
  if (failed != 0) {
    close(pipe_ends[0]);
    return failed;
  }
  process_ = static_cast<std::uintptr_t>(pid);
  output_ = static_cast<std::uintptr_t>(pipe_ends[0]);
  started_ = true;
  running_ = true;
  return 0;
}

int ReceiverProcess::ReadOutput(char* buffer, size_t size, long* got) const {
  for (;;) {
    const ssize_t n = read(static_cast<int>(output_), buffer, size);
    if (n >= 0) {
      *got = static_cast<long>(n);
      return 0;
    }
    if (errno != EINTR) return errno;
  }
}

bool ReceiverProcess::Wait(int milliseconds, int* status) {
  const pid_t pid = static_cast<pid_t>(process_);
  for (int waited = 0;; waited += 10) {
    int raw = 0;
    const pid_t done = waitpid(pid, &raw, milliseconds < 0 ? 0 : WNOHANG);
    if (done == pid) {
      *status = WIFSIGNALED(raw) ? 128 + WTERMSIG(raw) : WEXITSTATUS(raw);
      running_ = false;
      return true;
    }
    if (done < 0 && errno != EINTR) {
      *status = 1;
      running_ = false;
      return true;
    }
    if (milliseconds >= 0 && waited >= milliseconds) return false;
    const timespec pause = {0, 10000000};
    nanosleep(&pause, nullptr);
  }
}

void ReceiverProcess::Stop() const {
  // Once reaped, its pid may be another process's.
  if (running_) kill(static_cast<pid_t>(process_), SIGTERM);
}

int WriteOwnOutput(const char* bytes, size_t size) {
  while (size > 0) {
    const ssize_t n = write(1, bytes, size);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) return EIO;
    bytes += n;
    size -= static_cast<size_t>(n);
  }
  return 0;
}

void IgnoreInterrupts() { signal(SIGINT, SIG_IGN); }

// A terminal window outlives the programs run in it.
void WaitForKeyIfWindowCloses() {}
