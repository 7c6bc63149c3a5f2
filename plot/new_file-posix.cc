// A file created new, on POSIX: O_EXCL, which also refuses a link, even one
// that leads nowhere.
#include "plot/new_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

int CreateNewFile(const std::string& path, FILE** file) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return errno;
  *file = fdopen(fd, "wb");
  if (*file != nullptr) return 0;
  const int error = errno;
  close(fd);
  return error;
}
