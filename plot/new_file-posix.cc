// A file created new, on POSIX: O_EXCL, which also refuses a link, even one
// that leads nowhere.
#include "plot/new_file.h"

#include <fcntl.h>
#include <unistd.h>

FILE* CreateNewFile(const std::string& path) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return nullptr;
  FILE* file = fdopen(fd, "wb");
  if (file == nullptr) close(fd);
  return file;
}
