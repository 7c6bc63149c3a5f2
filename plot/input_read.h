// Reading what an input has for now: a pipe's bytes as they come, rather
// than waiting, as fread does, until a whole buffer is full. One
// implementation per platform (input_read-posix.cc, input_read-win32.cc);
// the build picks one.
#ifndef PLOT_INPUT_READ_H_
#define PLOT_INPUT_READ_H_

#include <cstddef>
#include <cstdio>

// Reads up to `size` bytes of `file`, waiting only until some are there.
// The number read, 0 at the end of the input, or -1 with errno set.
long ReadAvailable(FILE* file, char* buffer, size_t size);

#endif  // PLOT_INPUT_READ_H_
