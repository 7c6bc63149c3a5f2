// What the demo needs of the platform, on Windows.
#include "sender/demo_platform.h"

#include <windows.h>

#include <cstdio>

void ReceiverProcess::Release() {
  CloseHandle(reinterpret_cast<HANDLE>(process_));
  CloseHandle(reinterpret_cast<HANDLE>(output_));
  started_ = false;
}

int ReceiverProcess::Start(const char* program) {
  SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
  HANDLE read_end = nullptr;
  HANDLE write_end = nullptr;
  if (!CreatePipe(&read_end, &write_end, &inherited, 0)) return static_cast<int>(GetLastError());
  SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = write_end;
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  std::string command_line = std::string("\"") + program + "\"";
  PROCESS_INFORMATION started = {};
  const BOOL ok = CreateProcessA(program, &command_line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                                 &started);
  const DWORD failure = GetLastError();
  CloseHandle(write_end);
  if (!ok) {
    CloseHandle(read_end);
    return static_cast<int>(failure);
  }
  CloseHandle(started.hThread);
  process_ = reinterpret_cast<std::uintptr_t>(started.hProcess);
  output_ = reinterpret_cast<std::uintptr_t>(read_end);
  started_ = true;
  running_ = true;
  return 0;
}

int ReceiverProcess::ReadOutput(char* buffer, size_t size, long* got) const {
  DWORD n = 0;
  *got = 0;
  if (ReadFile(reinterpret_cast<HANDLE>(output_), buffer, static_cast<DWORD>(size), &n, nullptr)) {
    *got = static_cast<long>(n);
    return 0;
  }
  // Every writer gone: the end of its output.
  const DWORD error = GetLastError();
  return error == ERROR_BROKEN_PIPE ? 0 : static_cast<int>(error);
}

bool ReceiverProcess::Wait(int milliseconds, int* status) {
  HANDLE process = reinterpret_cast<HANDLE>(process_);
  if (WaitForSingleObject(process, milliseconds < 0 ? INFINITE : static_cast<DWORD>(milliseconds)) != WAIT_OBJECT_0) {
    return false;
  }
  DWORD code = 1;
  GetExitCodeProcess(process, &code);
  *status = static_cast<int>(code);
  running_ = false;
  return true;
}

void ReceiverProcess::Stop() const {
  if (running_) TerminateProcess(reinterpret_cast<HANDLE>(process_), 1);
}

int WriteOwnOutput(const char* bytes, size_t size) {
  // WriteFile, not the C runtime's text stream, which would turn the
  // receiver's "\r\n" into "\r\r\n" a second time.
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  while (size > 0) {
    DWORD n = 0;
    if (!WriteFile(out, bytes, static_cast<DWORD>(size), &n, nullptr)) return static_cast<int>(GetLastError());
    if (n == 0) return ERROR_WRITE_FAULT;
    bytes += n;
    size -= n;
  }
  return 0;
}

void IgnoreInterrupts() { SetConsoleCtrlHandler(nullptr, TRUE); }

void WaitForKeyIfWindowCloses() {
  // Alone on the console: this program and the script that started it. A
  // console with more on it (a shell the user typed into), or none, stays.
  DWORD processes[3];
  const DWORD on_console = GetConsoleProcessList(processes, 3);
  if (on_console == 0 || on_console > 2) return;
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  DWORD mode = 0;
  if (!GetConsoleMode(input, &mode)) return;
  fputs("telegram-sender: press a key to close this window\n", stderr);
  if (!FlushConsoleInputBuffer(input)) return;
  for (;;) {
    INPUT_RECORD record;
    DWORD read = 0;
    if (!ReadConsoleInputA(input, &record, 1, &read) || read == 0) return;
    if (record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown) return;
  }
}
