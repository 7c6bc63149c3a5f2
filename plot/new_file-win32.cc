// A file created new, on Windows: _O_EXCL, which CreateFile carries out as
// CREATE_NEW.
#include "plot/new_file.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>

int CreateNewFile(const std::string& path, FILE** file) {
  const int fd = _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
  if (fd < 0) return errno;
  *file = _fdopen(fd, "wb");
  if (*file != nullptr) return 0;
  const int error = errno;
  _close(fd);
  return error;
}
