// Reading what an input has for now, on POSIX: poll(2), then read(2) on its
// descriptor.
#include "plot/input_read.h"

#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

int ReadAvailable(FILE* file, char* buffer, size_t size, int wait_ms, long* got) {
  const int fd = fileno(file);
  pollfd entry = {fd, POLLIN, 0};
  const int ready = poll(&entry, 1, wait_ms);
  *got = kNothingYet;
  if (ready == 0 || (ready < 0 && errno == EINTR)) return 0;
  if (ready < 0) return errno;
  for (;;) {
    const ssize_t n = read(fd, buffer, size);
    if (n >= 0) {
      *got = static_cast<long>(n);
      return 0;
    }
    if (errno != EINTR) return errno;
  }
}

bool HoldsUpItsWriter(FILE* file) {
  struct stat about = {};
  return fstat(fileno(file), &about) != 0 || !S_ISREG(about.st_mode);
}
