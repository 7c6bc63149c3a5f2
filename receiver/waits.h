// The receiver's two waits, for the next datagram and for room in the
// report's destination, and the interrupts that only they let in. One
// implementation per platform (waits-posix.cc: SIGINT, SIGTERM and SIGHUP;
// waits-win32.cc: Ctrl-C, Ctrl-Break and closing the console window); the
// build picks one.
//
// An interrupt that came while a report was being formatted waits until the
// report is finished and the program is about to wait again, so every report
// of a datagram taken from the socket reaches the output whole. Once an
// interrupt has come, what is left of the report goes out as long as the
// destination keeps taking it; one that takes nothing for a second (a
// reader that stopped reading) ends the writing there, and what was written
// is an exact prefix of the report.
#ifndef RECEIVER_WAITS_H_
#define RECEIVER_WAITS_H_

#include <cstddef>
#include <cstdio>

#include "net/socket.h"

// Owns the way interrupts are taken: while it is started, an interrupt is
// held back, except inside WaitForDatagram and while WriteReport waits. Its
// destructor gives the process back the way it had (its signal mask and
// handlers, or its console handler), unless an interrupt came, which then
// ends the process (EndAsInterrupted).
class InterruptWatch {
 public:
  InterruptWatch() = default;
  ~InterruptWatch();
  InterruptWatch(const InterruptWatch&) = delete;
  InterruptWatch& operator=(const InterruptWatch&) = delete;

  // 0, or the error code; then nothing is held back.
  int Start();

 private:
  bool started_ = false;
};

enum DatagramWait {
  kDatagramWaiting,    // a receive would not block
  kNoDatagramWaiting,  // only when not asked to block
  kInterrupted,        // an interrupt came; receive nothing more
};

// Tells in `*wait` whether a datagram is waiting on `sock`; with `block`,
// waits without a time-out until one is, or until an interrupt comes. 0, or
// the error code of a failed wait.
int WaitForDatagram(NetSocket sock, bool block, DatagramWait* wait);

// Writes all `size` bytes to `stream`, waiting (without spinning) while it
// cannot take more, as a pipe whose reader is slow cannot. 0; EINTR if the
// writing ended after an interrupt, as said above, with what was written an
// exact prefix; or the errno value of a failure that waiting will not mend.
int WriteReport(FILE* stream, const char* data, size_t size);

// Ends the process as the interrupt would have ended it, once its report is
// out: on POSIX by the signal itself, with its default action.
[[noreturn]] void EndAsInterrupted();

#endif  // RECEIVER_WAITS_H_
