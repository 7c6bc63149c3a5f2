// Files as the tests read them: whole, byte for byte.
#ifndef TESTS_FILE_TEST_UTIL_H_
#define TESTS_FILE_TEST_UTIL_H_

#include <cstdio>
#include <string>

// Every byte of the file at `path`, or "" if it cannot be read.
std::string ReadWholeFile(const std::string& path);

// Writes `text` to the file at `path`, byte for byte; false if it cannot.
bool WriteWholeFile(const std::string& path, const std::string& text);

// Every byte of `file`, from its start.
std::string ReadWholeStream(FILE* file);

// Whether this C runtime's text stream writes "\n" as "\r\n", tried on a
// scratch file at `path`, which is removed.
bool TextStreamWritesCrlf(const char* path);

#endif  // TESTS_FILE_TEST_UTIL_H_
