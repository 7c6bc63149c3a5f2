// Reading what an input has for now, on POSIX: read(2) on its descriptor.
#include "plot/input_read.h"

#include <unistd.h>

#include <cerrno>

long ReadAvailable(FILE* file, char* buffer, size_t size) {
  for (;;) {
    const ssize_t n = read(fileno(file), buffer, size);
    if (n >= 0 || errno != EINTR) return static_cast<long>(n);
  }
}
