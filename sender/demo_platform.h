// What the demo needs of the platform: the receiver as its child process,
// started with its standard output on a pipe that the demo reads (to see its
// banner) and passes on, its standard input and error shared with the demo;
// the demo's own output; and interrupts left to the receiver. One
// implementation per platform (demo_platform-posix.cc,
// demo_platform-win32.cc); the build picks one.
#ifndef SENDER_DEMO_PLATFORM_H_
#define SENDER_DEMO_PLATFORM_H_

#include <cstddef>
#include <cstdint>

struct ReceiverProcess {
  std::uintptr_t process;  // a POSIX pid or a Windows process handle
  std::uintptr_t output;   // the read end of its standard output
};

// Starts `program` with no arguments. True on success; otherwise `error`
// holds a line saying why.
bool StartReceiver(ReceiverProcess* receiver, const char* program, char* error, size_t error_size);

// Reads what it has written: the number of bytes, 0 once its output is
// closed, -1 on a failure.
long ReadReceiverOutput(const ReceiverProcess& receiver, char* buffer, size_t size);

// Writes bytes to the demo's own standard output exactly as they are. False
// if they cannot be written.
bool WriteOwnOutput(const char* bytes, size_t size);

// Waits up to `milliseconds` (or for ever if negative) for the receiver to
// end. True with its exit status (128 + the signal's number if a signal
// ended it); false if it is still running.
bool WaitForReceiver(ReceiverProcess* receiver, int milliseconds, int* status);

// Ends a receiver that waits for telegrams that will not come. It puts out
// its report before each wait, so nothing is lost.
void StopReceiver(const ReceiverProcess& receiver);

// An interrupt from the terminal reaches the receiver too and ends it; the
// demo itself then goes on to pass on the rest of its report, and ends.
void IgnoreInterrupts();

// Where the demo's console window closes when it ends (on Windows, a script
// started by a double click, with nothing else on its console), says so on
// standard error and waits for a key, so that the report can be read.
// Elsewhere it does nothing.
void WaitForKeyIfWindowCloses();

#endif  // SENDER_DEMO_PLATFORM_H_
