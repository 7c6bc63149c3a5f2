// Where the bytes of a capture come from: a file, read as it goes so that
// memory never grows with the file, or bytes in memory (the tests, the
// fuzzer).
#ifndef CAPTURE_BYTE_SOURCE_H_
#define CAPTURE_BYTE_SOURCE_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Reads up to `size` bytes into `into`; fewer only at the end of the
  // bytes, or on a failure (`failure()` then says what).
  virtual size_t Read(unsigned char* into, size_t size) = 0;
  // A failure to read, in words; empty if there was none.
  virtual std::string failure() const = 0;
};

// A file, opened and closed by it.
class FileSource : public ByteSource {
 public:
  FileSource() = default;
  ~FileSource() override;
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;

  // False, with `*err`, if the file cannot be opened.
  bool Open(const std::string& path, std::string* err);
  size_t Read(unsigned char* into, size_t size) override;
  std::string failure() const override { return failure_; }
  // The errno value of a failure to open, 0 if none.
  int os_error() const { return os_error_; }

 private:
  FILE* file_ = nullptr;
  std::string failure_;
  int os_error_ = 0;
};

// Bytes in memory, not owned.
class MemorySource : public ByteSource {
 public:
  MemorySource(const unsigned char* bytes, size_t size) : bytes_(bytes), size_(size) {}
  size_t Read(unsigned char* into, size_t size) override;
  std::string failure() const override { return ""; }

 private:
  const unsigned char* bytes_;
  size_t size_;
  size_t at_ = 0;
};

#endif  // CAPTURE_BYTE_SOURCE_H_
