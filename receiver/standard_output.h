// The standard streams as the report's destination. One implementation per
// platform (standard_output-posix.cc, standard_output-win32.cc); the build
// picks one.
#ifndef RECEIVER_STANDARD_OUTPUT_H_
#define RECEIVER_STANDARD_OUTPUT_H_

#include "telegram/report_output.h"

// Sets up the standard streams before anything else opens a descriptor:
// opens each closed one on the null device, so that the socket can never
// take the place of standard output, and makes standard output take each
// drain of the report in one write, unbuffered by the C runtime. On Windows
// the runtime's text mode would split a write into pieces of about 2 KB to
// turn "\n" into "\r\n", so the stream becomes binary and the report
// output writes those line ends itself: `*line_ends` says which. On Linux,
// a pipe or a terminal as standard output is opened anew for the receiver
// alone, non-blocking, so that a reader that stops reading holds up the
// writing only in a wait that an interrupt can end (waits.h), without
// changing the pipe for anyone else who shares it. False if standard output
// was closed: the report then has nowhere to go.
bool SetUpStandardOutput(LineEnds* line_ends);

// Where a user of this platform reads more of the program: the README and
// the man page on Linux, the README.txt beside the programs on Windows,
// whose packages have no man page.
extern const char kWhereToReadMore[];

#endif  // RECEIVER_STANDARD_OUTPUT_H_
