// A file created new, for writing: never one that is there already, nor
// through a link planted under its name. One implementation per platform
// (new_file-posix.cc, new_file-win32.cc); the build picks one.
#ifndef PLOT_NEW_FILE_H_
#define PLOT_NEW_FILE_H_

#include <cstdio>
#include <string>

// Creates the file at `path` and opens it for writing, in binary, in
// `*file`. 0, or the errno value (EEXIST if anything is there).
int CreateNewFile(const std::string& path, FILE** file);

#endif  // PLOT_NEW_FILE_H_
