// The standard streams as the report's destination. One implementation per
// platform (standard_output-posix.cc, standard_output-win32.cc); the build
// picks one.
#ifndef RECEIVER_STANDARD_OUTPUT_H_
#define RECEIVER_STANDARD_OUTPUT_H_

#include <cstddef>
#include <cstdio>

// Opens each closed standard stream on the null device, before anything
// else opens a descriptor, so that the socket can never take the place of
// standard output. False if standard output was closed: the report then has
// nowhere to go.
bool OpenStandardStreams();

// Makes standard output take each drain of the report in one write. On
// Windows the C runtime's text mode would split it into pieces of about 2 KB
// to turn "\n" into "\r\n", so the stream becomes binary and the program
// does that translation itself: true if it must.
bool PrepareStandardOutput();

// Writes all `size` bytes to `stream`, waiting (without spinning) while it
// cannot take more, as a non-blocking pipe with a slow reader cannot. 0, or
// the errno value of a failure that waiting will not mend.
int WriteReport(FILE* stream, const char* data, size_t size);

#endif  // RECEIVER_STANDARD_OUTPUT_H_
