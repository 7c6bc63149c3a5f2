// The wait for a datagram on Windows: the socket's event (WSAEventSelect,
// which makes the socket non-blocking) and an event of its own that Cancel
// sets, waited for together.
#include "net/socket_wait.h"

#include <winsock2.h>

namespace {

WSAEVENT Event(std::uintptr_t handle) { return reinterpret_cast<WSAEVENT>(handle); }

}  // namespace

SocketWait::~SocketWait() {
  if (!open_) return;
  WSAEventSelect(static_cast<SOCKET>(sock_), nullptr, 0);
  WSACloseEvent(Event(handles_[1]));
  CloseHandle(Event(handles_[0]));
}

int SocketWait::Open(NetSocket sock) {
  const WSAEVENT readable = WSACreateEvent();
  if (readable == WSA_INVALID_EVENT) return WSAGetLastError();
  // Manual reset: once set, every wait after ends too.
  const HANDLE wake = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (wake == nullptr) {
    const int error = NetErrorCode(static_cast<int>(GetLastError()));
    WSACloseEvent(readable);
    return error;
  }
  if (WSAEventSelect(static_cast<SOCKET>(sock), readable, FD_READ) == SOCKET_ERROR) {
    const int error = WSAGetLastError();
    WSACloseEvent(readable);
    CloseHandle(wake);
    return error;
  }
  sock_ = sock;
  handles_[1] = reinterpret_cast<std::uintptr_t>(readable);
  handles_[0] = reinterpret_cast<std::uintptr_t>(wake);
  open_ = true;
  if (cancelled_.load()) SetEvent(wake);
  return 0;
}

int SocketWait::Wait(int timeout_ms, SocketWaitResult* result) {
  if (cancelled_.load()) {
    *result = kSocketWaitCancelled;
    return 0;
  }
  const WSAEVENT events[2] = {Event(handles_[1]), Event(handles_[0])};
  const DWORD waited = WSAWaitForMultipleEvents(2, events, FALSE,
                                                timeout_ms >= 0 ? static_cast<DWORD>(timeout_ms) : WSA_INFINITE, FALSE);
  if (waited == WSA_WAIT_FAILED) return WSAGetLastError();
  if (cancelled_.load() || waited == WSA_WAIT_EVENT_0 + 1) {
    *result = kSocketWaitCancelled;
    return 0;
  }
  if (waited == WSA_WAIT_TIMEOUT) {
    *result = kSocketTimedOut;
    return 0;
  }
  // The socket's event is reset here; a datagram still waiting sets it again
  // once the next is taken.
  WSANETWORKEVENTS happened = {};
  if (WSAEnumNetworkEvents(static_cast<SOCKET>(sock_), Event(handles_[1]), &happened) == SOCKET_ERROR) {
    return WSAGetLastError();
  }
  *result = kSocketReadable;
  return 0;
}

void SocketWait::Cancel() {
  cancelled_.store(true);
  if (open_) SetEvent(Event(handles_[0]));
}
