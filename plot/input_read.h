// Reading what an input has for now: a pipe's bytes as they come, rather
// than waiting, as fread does, until a whole buffer is full, and never
// longer than asked, so that the reader can be told to stop. One
// implementation per platform (input_read-posix.cc, input_read-win32.cc);
// the build picks one.
#ifndef PLOT_INPUT_READ_H_
#define PLOT_INPUT_READ_H_

#include <cstddef>
#include <cstdio>

// ReadAvailable's count when nothing came within the wait.
const long kNothingYet = -1;

// Reads up to `size` bytes of `file`, waiting up to `wait_ms` milliseconds
// for some to be there, and says in `*got` how many: 0 at the end of the
// input, kNothingYet if none came. 0, or the errno value of a failure.
int ReadAvailable(FILE* file, char* buffer, size_t size, int wait_ms, long* got);

// Whether `file` is a stream whose writer waits while it is not read (a
// pipe, a terminal), rather than a file on a disk.
bool HoldsUpItsWriter(FILE* file);

#endif  // PLOT_INPUT_READ_H_
