// The wait for the next datagram, and the interrupts that only it lets in.
// One implementation per platform (datagram_wait-posix.cc: SIGINT, SIGTERM
// and SIGHUP; datagram_wait-win32.cc: Ctrl-C, Ctrl-Break and closing the
// console window); the build picks one.
//
// An interrupt that came while a report was being formatted waits until the
// report is finished and the program is about to wait again, so every report
// of a datagram taken from the socket reaches the output whole.
#ifndef RECEIVER_DATAGRAM_WAIT_H_
#define RECEIVER_DATAGRAM_WAIT_H_

#include "receiver/socket.h"

// From now on an interrupt is held back, except inside WaitForDatagram. 0,
// or the error code.
int WatchInterrupts();

enum DatagramWait {
  kDatagramWaiting,    // a receive would not block
  kNoDatagramWaiting,  // only when not asked to block
  kInterrupted,        // an interrupt came; receive nothing more
};

// Tells in `*wait` whether a datagram is waiting on `sock`; with `block`,
// waits without a time-out until one is, or until an interrupt comes. 0, or
// the error code of a failed wait.
int WaitForDatagram(NetSocket sock, bool block, DatagramWait* wait);

// Ends the process as the interrupt would have ended it, once its report is
// out: on POSIX by the signal itself, with its default action.
[[noreturn]] void EndAsInterrupted();

#endif  // RECEIVER_DATAGRAM_WAIT_H_
