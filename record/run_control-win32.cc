// Stopping telegram-record on Windows: the console's Ctrl-C, Ctrl-Break and
// close, whose handler runs on a thread of its own and stops the run. On a
// close, the handler waits a little for the files to be closed whole,
// since Windows ends the process once it returns.
#include "record/run_control.h"

#include <windows.h>
#include <io.h>

#include <cerrno>
#include <cstdio>

namespace {

RunControl* running = nullptr;
HANDLE finished = nullptr;  // set once the run is over

BOOL WINAPI OnConsoleEvent(DWORD event) {
  if (running == nullptr) return FALSE;
  running->RequestStop();
  if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
    if (finished != nullptr) WaitForSingleObject(finished, 4000);
  }
  return TRUE;
}

}  // namespace

int RunControl::Start(tgr::Receiver* receiver) {
  receiver_ = receiver;
  finished = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  running = this;
  if (!SetConsoleCtrlHandler(OnConsoleEvent, TRUE)) {
    running = nullptr;
    return static_cast<int>(GetLastError());
  }
  started_ = true;
  return 0;
}

RunControl::~RunControl() {
  if (!started_) return;
  SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
  running = nullptr;
  if (finished != nullptr) {
    SetEvent(finished);
    CloseHandle(finished);
    finished = nullptr;
  }
}

void RunControl::RequestStop() {
  stop_.store(true);
  if (receiver_ != nullptr) receiver_->Cancel();
}

int WriteStandardOutput(const char* data, size_t size, std::atomic<uint64_t>* written) {
  while (size > 0) {
    const int n = _write(_fileno(stdout), data, static_cast<unsigned>(size > 1 << 20 ? 1 << 20 : size));
    if (n <= 0) return n < 0 ? errno : EIO;
    written->fetch_add(static_cast<uint64_t>(n));
    data += n;
    size -= static_cast<size_t>(n);
  }
  return 0;
}

bool StandardErrorIsTerminal() { return _isatty(_fileno(stderr)) != 0; }
