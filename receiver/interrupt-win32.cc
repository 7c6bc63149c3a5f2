// Interrupts on Windows: Ctrl-C, Ctrl-Break and closing the console window.
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
#include "receiver/interrupt.h"

#include <winsock2.h>

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

bool Readable(NetSocket sock, int* error) {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(static_cast<SOCKET>(sock), &readable);
  timeval no_wait = {0, 0};
  const int ready = select(0, &readable, nullptr, nullptr, &no_wait);
  if (ready == SOCKET_ERROR) *error = WSAGetLastError();
  return ready > 0;
}

}  // namespace

int WatchInterrupts() {
  interrupt_event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  drained_event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  socket_event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  if (interrupt_event == nullptr || drained_event == nullptr || socket_event == nullptr) {
    return static_cast<int>(GetLastError());
  }
  if (!SetConsoleCtrlHandler(OnConsoleEvent, TRUE)) return static_cast<int>(GetLastError());
  return 0;
}

DatagramWait WaitForDatagram(NetSocket sock, bool block, int* error) {
  static bool selected = false;
  for (;;) {
    if (interrupted != 0) return kInterrupted;
    *error = 0;
    if (Readable(sock, error)) return kDatagramWaiting;
    if (*error != 0) return kWaitFailed;
    if (!block) return kNoDatagramWaiting;
    // From now on the socket's event is set whenever a datagram arrives.
    // This makes the socket non-blocking, which the receive after a wait
    // never notices.
    if (!selected) {
      if (WSAEventSelect(static_cast<SOCKET>(sock), socket_event, FD_READ) == SOCKET_ERROR) {
        *error = WSAGetLastError();
        return kWaitFailed;
      }
      selected = true;
      continue;  // a datagram may have come before
    }
    // A datagram that came since the look above has set the event. An
    // event left set by one received without a wait makes the wait return
    // at once; the look then finds nothing and the next wait blocks.
    HANDLE events[2] = {socket_event, interrupt_event};
    if (WaitForMultipleObjects(2, events, FALSE, INFINITE) == WAIT_FAILED) {
      *error = static_cast<int>(GetLastError());
      return kWaitFailed;
    }
  }
}

void EndAsInterrupted() {
  // The handler, still waiting on its own thread, now returns and the
  // system ends the process; should it not, end it here as it would.
  SetEvent(drained_event);
  Sleep(kDrainMilliseconds);
  ExitProcess(kStatusControlCExit);
}
