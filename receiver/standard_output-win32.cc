// The standard streams on Windows.
#include "receiver/standard_output.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>

const char kWhereToReadMore[] = "README.txt beside it says more";


bool SetUpStandardOutput(LineEnds* line_ends) {
  // Sockets are no C runtime descriptors here, so none can take the place
  // of a closed stream; only a missing standard output matters.
  HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  if (output == nullptr || output == INVALID_HANDLE_VALUE) return false;
  // The report output does the buffering: each drain goes to the system
  // in one write instead of being copied again into stdio's buffer.
  setvbuf(stdout, nullptr, _IONBF, 0);
  // The bytes that reach a file, a pipe or the console stay those of the
  // text stream: in binary mode the report output writes every "\n" as
  // "\r\n" itself.
  *line_ends = _setmode(_fileno(stdout), _O_BINARY) != -1 ? kLineEndsCrlf : kLineEndsAsWritten;
  return true;
}
