// What the demo needs of the platform, on POSIX.
#include "sender/demo_platform.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

bool StartReceiver(ReceiverProcess* receiver, const char* program, char* error, size_t error_size) {
  int pipe_ends[2];
  if (pipe(pipe_ends) != 0) {
    snprintf(error, error_size, "cannot make a pipe: %s", strerror(errno));
    return false;
  }
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
    snprintf(error, error_size, "cannot start %s: %s", program, strerror(failed));
    return false;
  }
  receiver->process = static_cast<std::uintptr_t>(pid);
  receiver->output = static_cast<std::uintptr_t>(pipe_ends[0]);
  return true;
}

long ReadReceiverOutput(const ReceiverProcess& receiver, char* buffer, size_t size) {
  for (;;) {
    const ssize_t n = read(static_cast<int>(receiver.output), buffer, size);
    if (n >= 0 || errno != EINTR) return static_cast<long>(n);
  }
}

bool WriteOwnOutput(const char* bytes, size_t size) {
  while (size > 0) {
    const ssize_t n = write(1, bytes, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool WaitForReceiver(ReceiverProcess* receiver, int milliseconds, int* status) {
  const pid_t pid = static_cast<pid_t>(receiver->process);
  for (int waited = 0;; waited += 10) {
    int raw = 0;
    const pid_t done = waitpid(pid, &raw, milliseconds < 0 ? 0 : WNOHANG);
    if (done == pid) {
      *status = WIFSIGNALED(raw) ? 128 + WTERMSIG(raw) : WEXITSTATUS(raw);
      close(static_cast<int>(receiver->output));
      return true;
    }
    if (done < 0 && errno != EINTR) {
      *status = 1;
      return true;
    }
    if (milliseconds >= 0 && waited >= milliseconds) return false;
    const timespec pause = {0, 10000000};
    nanosleep(&pause, nullptr);
  }
}

void StopReceiver(const ReceiverProcess& receiver) { kill(static_cast<pid_t>(receiver.process), SIGTERM); }

void IgnoreInterrupts() { signal(SIGINT, SIG_IGN); }

// A terminal window outlives the programs run in it.
void WaitForKeyIfWindowCloses() {}
