#include "tests/file_test_util.h"

std::string ReadWholeStream(FILE* file) {
  std::string text;
  rewind(file);
  char chunk[65536];
  size_t n;
  while ((n = fread(chunk, 1, sizeof chunk, file)) > 0) text.append(chunk, n);
  return text;
}

std::string ReadWholeFile(const std::string& path) {
  FILE* file = fopen(path.c_str(), "rb");
  if (file == nullptr) return "";
  std::string text = ReadWholeStream(file);
  fclose(file);
  return text;
}

bool WriteWholeFile(const std::string& path, const std::string& text) {
  FILE* file = fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = fwrite(text.data(), 1, text.size(), file) == text.size();
  return fclose(file) == 0 && written;
}

bool TextStreamWritesCrlf(const char* path) {
  FILE* probe = fopen(path, "w");
  if (probe == nullptr) return false;
  fputs("\n", probe);
  fclose(probe);
  const bool translates = ReadWholeFile(path) == "\r\n";
  remove(path);
  return translates;
}
