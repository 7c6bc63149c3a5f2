// Reading what an input has for now, on Windows: a pipe is looked into
// (PeekNamedPipe) until it holds something, since a read would wait for
// ever; then the C runtime's _read, which takes what it holds as ReadFile
// does. A file or a console is read at once, and so is a pipe that cannot
// be looked into.
#include "plot/input_read.h"

#include <io.h>
#include <windows.h>

#include <cerrno>
#include <climits>
#include <cstdio>

int ReadAvailable(FILE* file, char* buffer, size_t size, int wait_ms, long* got) {
  const int fd = _fileno(file);
  *got = kNothingYet;
  HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
  if (GetFileType(handle) == FILE_TYPE_PIPE) {
    const int kStep = 10;  // ms between looks
    for (int waited = 0;; waited += kStep) {
      DWORD available = 0;
      if (!PeekNamedPipe(handle, nullptr, 0, nullptr, &available, nullptr)) {
        // A writer that is gone ends the input. A pipe that cannot be
        // looked into (Wine's stand-in for a Unix pipe) is read as it is.
        if (GetLastError() == ERROR_BROKEN_PIPE) {
          *got = 0;
          return 0;
        }
        break;
      }
      if (available > 0) break;
      if (waited >= wait_ms) return 0;
      Sleep(kStep);
    }
  }
  // The C runtime marks a file at its end and reads nothing more until it
  // is sought: a file followed as it grows is sought where it stands.
  if (GetFileType(handle) == FILE_TYPE_DISK) _lseeki64(fd, 0, SEEK_CUR);
  const int n = _read(fd, buffer, size > INT_MAX ? INT_MAX : static_cast<unsigned>(size));
  if (n < 0) return errno;
  *got = n;
  return 0;
}

bool HoldsUpItsWriter(FILE* file) {
  return GetFileType(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)))) != FILE_TYPE_DISK;
}
