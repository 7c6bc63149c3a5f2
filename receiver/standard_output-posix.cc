// The standard streams on Linux: file descriptors 0 to 2.
#include "receiver/standard_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

const char kWhereToReadMore[] = "its README and man page say more";

namespace {

// A pipe or a terminal as standard output is opened anew, non-blocking, for
// this process alone: a full pipe then makes a write return at once, and
// the report's writer waits for room where an interrupt is let in. The
// description the shell made, which others may share, is left as it is. A
// file never holds a writer up; where /proc is missing (an empty chroot),
// the writing blocks as before.
void MakeOutputWaitable() {
  struct stat info;
  if (fstat(1, &info) != 0 || !(S_ISFIFO(info.st_mode) || isatty(1))) return;
  const int own = open("/proc/self/fd/1", O_WRONLY | O_NONBLOCK | O_NOCTTY);
  if (own < 0) return;
  if (own != 1) {
    dup2(own, 1);
    close(own);
  }
}

}  // namespace

bool SetUpStandardOutput(LineEnds* line_ends) {
  bool output_open = true;
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    if (fd == 1) output_open = false;
    // The lowest free descriptor: this one, since those below it are open.
    const int null_device = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (null_device >= 0 && null_device != fd) {
      dup2(null_device, fd);
      close(null_device);
    }
  }
  // The report output does the buffering: each drain goes to the system
  // in one write instead of being copied again into stdio's buffer.
  setvbuf(stdout, nullptr, _IONBF, 0);
  if (output_open) MakeOutputWaitable();
  *line_ends = kLineEndsAsWritten;
  return output_open;
}
