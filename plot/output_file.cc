#include "plot/output_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "plot/new_file.h"

namespace {

std::string Failed(const char* what, const std::string& path, int error) {
  return std::string("cannot ") + what + " " + path + ": " + strerror(error);
}

// Writes all of `parts`, then closes `file`; the errno value of a failure,
// or 0.
int WriteAndClose(FILE* file, const std::vector<std::string_view>& parts) {
  errno = 0;
  // Each part goes to the system as it is, not through a buffer of the
  // stream's own.
  int error = setvbuf(file, nullptr, _IONBF, 0) == 0 ? 0 : (errno != 0 ? errno : EIO);
  for (const std::string_view part : parts) {
    if (error == 0 && !part.empty() && fwrite(part.data(), 1, part.size(), file) != part.size()) {
      error = errno != 0 ? errno : EIO;
    }
  }
  if (fclose(file) != 0 && error == 0) error = errno != 0 ? errno : EIO;
  return error;
}

}  // namespace

bool WriteNewFile(const std::string& path, const std::vector<std::string_view>& parts, std::string* err) {
  FILE* file = nullptr;
  int error = CreateNewFile(path, &file);
  if (error == 0) error = WriteAndClose(file, parts);
  if (error == 0) return true;
  *err = Failed("write", path, error);
  return false;
}

bool PlaceFile(const std::string& path, std::string_view text, std::string* err) {
  // A fresh temporary name: one left by a plot that was killed, or planted,
  // is passed over.
  std::string partial;
  FILE* file = nullptr;
  int created = EEXIST;
  for (int attempt = 1; created == EEXIST && attempt <= 100; ++attempt) {
    partial = path + ".partial-" + std::to_string(attempt);
    created = CreateNewFile(partial, &file);
  }
  if (created != 0) {
    *err = Failed("write", partial, created);
    return false;
  }
  const int error = WriteAndClose(file, {text});
  std::error_code moved;
  if (error == 0) std::filesystem::rename(partial, path, moved);
  if (error != 0 || moved) {
    std::error_code ignored;
    std::filesystem::remove(partial, ignored);
    *err = error != 0 ? Failed("write", partial, error) : "cannot write " + path + ": " + moved.message();
    return false;
  }
  return true;
}

GrowingFile::~GrowingFile() {
  if (file_ != nullptr) fclose(file_);
}

bool GrowingFile::Create(const std::string& path, std::string* err) {
  path_ = path;
  const int created = CreateNewFile(path, &file_);
  if (created != 0) *err = Failed("write", path, created);
  return created == 0;
}

bool GrowingFile::Append(std::string_view text, std::string* err) {
  errno = 0;
  if (fwrite(text.data(), 1, text.size(), file_) == text.size() && fflush(file_) == 0) return true;
  *err = Failed("write", path_, errno != 0 ? errno : EIO);
  return false;
}
