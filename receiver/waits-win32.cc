// The waits and interrupts on Windows: Ctrl-C, Ctrl-Break and closing the
// console window.
//
// The system runs the console handler on a thread of its own. It signals
// the main thread, which takes it up only where it waits for a datagram
// (WaitForMultipleObjects on the socket's event and the interrupt's), then
// waits until the main thread has put out its report, and returns FALSE so
// that the system ends the process as it always does.
//
// Under Wine every wait, select and event call is a round trip to the
// wineserver, so the steady state costs as few of them as it can: one
// select to look, one wait, one select to confirm.
#include "receiver/waits.h"

#include <winsock2.h>

#include <cerrno>
#include <cstdio>
#include <initializer_list>

namespace {

HANDLE interrupt_event = nullptr;  // set by the handler, to end a wait
volatile LONG interrupted = 0;     // set by the handler, to look at cheaply
HANDLE drained_event = nullptr;    // set once the report is out
// Set when a datagram arrives; it resets itself when a wait returns on it.
HANDLE socket_event = nullptr;

const DWORD kStatusControlCExit = 0xC000013A;
// The system ends the process soon after a console window is closed; the
// report has that long to go out.
const DWORD kDrainMilliseconds = 4000;

BOOL WINAPI OnConsoleEvent(DWORD type) {
  if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT && type != CTRL_CLOSE_EVENT) return FALSE;
  InterlockedExchange(&interrupted, 1);
  SetEvent(interrupt_event);
  WaitForSingleObject(drained_event, kDrainMilliseconds);
  return FALSE;
}

// Whether a datagram is waiting, in `*readable`; with `block`, waits for
// one without a time-out, as a blocking socket does. 0 or the error code.
int LookForDatagram(NetSocket sock, bool block, bool* readable) {
  fd_set sockets;
  FD_ZERO(&sockets);
  FD_SET(static_cast<SOCKET>(sock), &sockets);
  timeval no_wait = {0, 0};
  const int ready = select(0, &sockets, nullptr, nullptr, block ? nullptr : &no_wait);
  if (ready == SOCKET_ERROR) return WSAGetLastError();
  *readable = ready > 0;
  return 0;
}

}  // namespace

int InterruptWatch::Start() {
  const HANDLE events[3] = {CreateEventA(nullptr, TRUE, FALSE, nullptr), CreateEventA(nullptr, TRUE, FALSE, nullptr),
                            CreateEventA(nullptr, FALSE, FALSE, nullptr)};
  int error = 0;
  if (events[0] == nullptr || events[1] == nullptr || events[2] == nullptr ||
      !SetConsoleCtrlHandler(OnConsoleEvent, TRUE)) {
    error = NetErrorCode(static_cast<int>(GetLastError()));
  }
  if (error != 0) {
    // Without them the waits below block as a plain socket does, and an
    // interrupt ends the process as it always would.
    for (HANDLE event : events) {
      if (event != nullptr) CloseHandle(event);
    }
    return error;
  }
  interrupt_event = events[0];
  drained_event = events[1];
  socket_event = events[2];
  started_ = true;
  return 0;
}

InterruptWatch::~InterruptWatch() {
  // After an interrupt the handler still waits on its own thread for the
  // report to be out (EndAsInterrupted): its events stay.
  if (!started_ || interrupted != 0) return;
  SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
  for (HANDLE* event : {&interrupt_event, &drained_event, &socket_event}) {
    CloseHandle(*event);
    *event = nullptr;
  }
}

int WaitForDatagram(NetSocket sock, bool block, DatagramWait* wait) {
  static bool selected = false;
  for (;;) {
    *wait = kInterrupted;
    if (interrupted != 0) return 0;
    bool readable = false;
    const int error = LookForDatagram(sock, false, &readable);
    if (error != 0) return error;
    *wait = readable ? kDatagramWaiting : kNoDatagramWaiting;
    if (readable || !block) return 0;
    if (socket_event == nullptr) {
      // Interrupts are not watched: wait as a blocking socket does.
      const int failed = LookForDatagram(sock, true, &readable);
      if (failed != 0) return failed;
      continue;
    }
    // From now on the socket's event is set whenever a datagram arrives.
    // This makes the socket non-blocking, which the receive after a wait
    // never notices.
    if (!selected) {
      if (WSAEventSelect(static_cast<SOCKET>(sock), socket_event, FD_READ) == SOCKET_ERROR) return WSAGetLastError();
      selected = true;
      continue;  // a datagram may have come before
    }
    // A datagram that came since the look above has set the event. An
    // event left set by one received without a wait makes the wait return
    // at once; the look then finds nothing and the next wait blocks.
    HANDLE events[2] = {socket_event, interrupt_event};
    if (WaitForMultipleObjects(2, events, FALSE, INFINITE) == WAIT_FAILED) {
      return NetErrorCode(static_cast<int>(GetLastError()));
    }
  }
}

// A write that finds no room waits inside the system until there is; an
// interrupt meanwhile gives the console handler its few seconds, and then
// the system ends the process with the write unfinished.
int WriteReport(FILE* stream, const char* data, size_t size) {
  while (size > 0) {
    errno = 0;
    const size_t written = fwrite(data, 1, size, stream);
    if (written == 0) return errno != 0 ? errno : EIO;
    data += written;
    size -= written;
  }
  return 0;
}

void EndAsInterrupted() {
  if (drained_event == nullptr) ExitProcess(kStatusControlCExit);
  // The handler, still waiting on its own thread, now returns and the
  // system ends the process; should it not, end it here as it would.
  SetEvent(drained_event);
  Sleep(kDrainMilliseconds);
  ExitProcess(kStatusControlCExit);
}
