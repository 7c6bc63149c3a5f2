// What the demo needs of the platform, on Windows.
#include "sender/demo_platform.h"

#include <windows.h>

#include <cstdio>

bool StartReceiver(ReceiverProcess* receiver, const char* program, char* error, size_t error_size) {
  SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
  HANDLE read_end = nullptr;
  HANDLE write_end = nullptr;
  if (!CreatePipe(&read_end, &write_end, &inherited, 0)) {
    snprintf(error, error_size, "cannot make a pipe (error %lu)", GetLastError());
    return false;
  }
  SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = write_end;
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  char command_line[MAX_PATH + 3];
  snprintf(command_line, sizeof command_line, "\"%s\"", program);
  PROCESS_INFORMATION started = {};
  const BOOL ok =
      CreateProcessA(program, command_line, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &started);
  const DWORD failure = GetLastError();
  CloseHandle(write_end);
  if (!ok) {
    CloseHandle(read_end);
    snprintf(error, error_size, "cannot start %s (error %lu)", program, failure);
    return false;
  }
  CloseHandle(started.hThread);
  receiver->process = reinterpret_cast<std::uintptr_t>(started.hProcess);
  receiver->output = reinterpret_cast<std::uintptr_t>(read_end);
  return true;
}

long ReadReceiverOutput(const ReceiverProcess& receiver, char* buffer, size_t size) {
  DWORD n = 0;
  if (ReadFile(reinterpret_cast<HANDLE>(receiver.output), buffer, static_cast<DWORD>(size), &n, nullptr)) {
    return static_cast<long>(n);
  }
  return GetLastError() == ERROR_BROKEN_PIPE ? 0 : -1;
}

bool WriteOwnOutput(const char* bytes, size_t size) {
  // WriteFile, not the C runtime's text stream, which would turn the
  // receiver's "\r\n" into "\r\r\n" a second time.
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  while (size > 0) {
    DWORD n = 0;
    if (!WriteFile(out, bytes, static_cast<DWORD>(size), &n, nullptr) || n == 0) return false;
    bytes += n;
    size -= n;
  }
  return true;
}

bool WaitForReceiver(ReceiverProcess* receiver, int milliseconds, int* status) {
  HANDLE process = reinterpret_cast<HANDLE>(receiver->process);
  if (WaitForSingleObject(process, milliseconds < 0 ? INFINITE : static_cast<DWORD>(milliseconds)) != WAIT_OBJECT_0) {
    return false;
  }
  DWORD code = 1;
  GetExitCodeProcess(process, &code);
  *status = static_cast<int>(code);
  CloseHandle(process);
  CloseHandle(reinterpret_cast<HANDLE>(receiver->output));
  return true;
}

void StopReceiver(const ReceiverProcess& receiver) { TerminateProcess(reinterpret_cast<HANDLE>(receiver.process), 1); }

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
