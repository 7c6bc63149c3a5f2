// Stopping telegram-record on Windows: the console's Ctrl-C, Ctrl-Break and
// close, whose handler runs on a thread of its own and stops the run. On a
// close, the handler waits a little for the files to be closed whole,
// since Windows ends the process once it returns.
//
// A write to standard output that the reader holds up cannot be ended from
// another thread (Wine cancels no synchronous pipe write), so once a stop
// has come and such a write has taken nothing for a second, the handler
// lets the system end the process as Ctrl-C ends any console program, as it
// ends telegram-receiver. The recording is whole to its last packet then:
// each packet is flushed before the next output is written.
#include "record/run_control.h"

#include <windows.h>
#include <io.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>

namespace {

RunControl* running = nullptr;
HANDLE finished = nullptr;  // set once the run is over
// Standard output's progress: bytes written, and whether a write is under way.
std::atomic<uint64_t> written_out{0};
std::atomic<bool> writing_out{false};

// After a stop, how long a write may take nothing before the process ends.
const DWORD kReaderGraceMs = 1000;

BOOL WINAPI OnConsoleEvent(DWORD event) {
  if (running == nullptr) return FALSE;
  running->RequestStop();
  if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
    if (finished != nullptr) WaitForSingleObject(finished, 4000);
    return TRUE;
  }
  if (finished == nullptr) return TRUE;
  // The run ends by itself unless a write is held up for good.
  uint64_t seen = written_out.load();
  while (WaitForSingleObject(finished, kReaderGraceMs) == WAIT_TIMEOUT) {
    const uint64_t now = written_out.load();
    if (writing_out.load() && now == seen) return FALSE;
    seen = now;
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

int RunControl::WriteOut(const char* data, size_t size) {
  while (size > 0) {
    writing_out.store(true);
    const int written = _write(_fileno(stdout), data, static_cast<unsigned>(size > 1 << 20 ? 1 << 20 : size));
    writing_out.store(false);
    if (written <= 0) return written < 0 ? errno : EIO;
    written_out.fetch_add(static_cast<uint64_t>(written));
    data += written;
    size -= static_cast<size_t>(written);
  }
  return 0;
}

bool StandardErrorIsTerminal() { return _isatty(_fileno(stderr)) != 0; }
