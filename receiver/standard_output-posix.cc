// The standard streams on POSIX: file descriptors 0 to 2.
#include "receiver/standard_output.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>

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
  *line_ends = kLineEndsAsWritten;
  return output_open;
}

int WriteReport(FILE* stream, const char* data, size_t size) {
  const int fd = fileno(stream);
  while (size > 0) {
    const ssize_t written = write(fd, data, size);
    if (written > 0) {
      data += written;
      size -= static_cast<size_t>(written);
      continue;
    }
    if (written < 0 && errno == EINTR) continue;
    if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      // A non-blocking stream that is full for now: sleep until it has room.
      pollfd entry = {fd, POLLOUT, 0};
      if (poll(&entry, 1, -1) < 0 && errno != EINTR) return errno;
      continue;
    }
    return written < 0 ? errno : EIO;
  }
  return 0;
}
