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
#include <string>

// The receiver as a child process, and the read end of the pipe that is its
// standard output. The pipe stays open until the process is destroyed, so
// that whatever the receiver wrote can be read to its end after it has
// ended; the destructor stops a receiver still running, waits for it, and
// only then closes the pipe. Whoever reads the pipe on another thread must
// be done before that.
class ReceiverProcess {
 public:
  ReceiverProcess() = default;
  ~ReceiverProcess() {
    if (!started_) return;
    int status = 0;
    if (running_) {
      Stop();
      Wait(-1, &status);
    }
    Release();
  }
  ReceiverProcess(const ReceiverProcess&) = delete;
  ReceiverProcess& operator=(const ReceiverProcess&) = delete;

  // Starts `program` with no arguments. 0, or the error code.
  int Start(const char* program);

  // Reads what it has written, and says in `*got` how many bytes: 0 once
  // every process that held its output has closed it. 0, or the error code.
  int ReadOutput(char* buffer, size_t size, long* got) const;

  // Waits up to `milliseconds` (or for ever if negative) for the receiver
  // to end. True with its exit status (128 + the signal's number if a
  // signal ended it); false if it is still running.
  bool Wait(int milliseconds, int* status);

  // Ends a receiver that waits for telegrams that will not come. It puts
  // out its report before each wait, so nothing is lost.
  void Stop() const;

 private:
  // Lets go of the process, once it has ended, and of the pipe.
  void Release();

  std::uintptr_t process_ = 0;  // a POSIX pid or a Windows process handle
  std::uintptr_t output_ = 0;   // the read end of its standard output
  bool started_ = false;
  bool running_ = false;
};

// Writes bytes to the demo's own standard output exactly as they are. 0, or
// the platform's error code of the failure (NetDescribeError has words for
// it).
int WriteOwnOutput(const char* bytes, size_t size);

// An interrupt from the terminal reaches the receiver too and ends it; the
// demo itself then goes on to pass on the rest of its report, and ends.
void IgnoreInterrupts();

// Where the demo's console window closes when it ends (on Windows, a script
// started by a double click, with nothing else on its console), says so on
// standard error and waits for a key, so that the report can be read.
// Elsewhere it does nothing.
void WaitForKeyIfWindowCloses();

#endif  // SENDER_DEMO_PLATFORM_H_
