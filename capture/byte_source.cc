#include "capture/byte_source.h"

#include <cerrno>
#include <cstring>

FileSource::~FileSource() {
  if (file_ != nullptr) fclose(file_);
}

bool FileSource::Open(const std::string& path, std::string* err) {
  if (file_ != nullptr) fclose(file_);
  errno = 0;
  file_ = fopen(path.c_str(), "rb");
  if (file_ == nullptr) {
    os_error_ = errno != 0 ? errno : EIO;
    *err = strerror(os_error_);
  }
  return file_ != nullptr;
}

size_t FileSource::Read(unsigned char* into, size_t size) {
  const size_t n = fread(into, 1, size, file_);
  if (n < size && ferror(file_) != 0 && failure_.empty()) failure_ = strerror(errno);
  return n;
}

size_t MemorySource::Read(unsigned char* into, size_t size) {
  const size_t n = size < size_ - at_ ? size : size_ - at_;
  if (n > 0) memcpy(into, bytes_ + at_, n);
  at_ += n;
  return n;
}
