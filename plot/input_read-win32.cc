// Reading what an input has for now, on Windows: the C runtime's _read,
// which takes what a pipe holds as ReadFile does.
#include "plot/input_read.h"

#include <io.h>

#include <climits>

long ReadAvailable(FILE* file, char* buffer, size_t size) {
  return _read(_fileno(file), buffer, size > INT_MAX ? INT_MAX : static_cast<unsigned>(size));
}
