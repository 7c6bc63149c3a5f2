#include "receiver/receive_loop.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "receiver/waits.h"
#include "receiver/lost_datagrams.h"
#include "receiver/socket.h"
#include "telegram/report_format.h"
#include "telegram/report_output.h"
#include "telegram/telegram.h"
#include "telegram/telegram_report.h"

namespace {

// Large enough that a 65,507-byte block's 32,743 values go out in one write.
const size_t kReportOutputSize = size_t{256} * 1024;

enum RunEnd { kLimitReached, kSocketFailed, kInterruptCame, kOutputFailed };

int WriteStream(void* stream, const char* data, size_t size) {
  return WriteReport(static_cast<FILE*>(stream), data, size);
}

// How the run ends once the report output has failed: a write that an
// interrupt ended is the interrupt's end.
RunEnd OutputEnd(const ReportOutput* out) {
  return ReportOutputFailure(out) == EINTR ? kInterruptCame : kOutputFailed;
}

// The steps that can fail, as the words on standard error name them.
enum Step { kStartingLibrary, kOpeningSocket, kBindingPort, kReceiving };

// What start-up got as far as, so that the close undoes just that.
struct SocketState {
  NetSocket sock;
  bool library_started;
  bool opened;
};

// The failure in words on standard error, beside the report's error line.
void SayFailure(FILE* err, Step step, uint16_t port, int code) {
  char cause[256];
  NetDescribeError(code, cause, sizeof cause);
  switch (step) {
    case kStartingLibrary: fprintf(err, "telegram-receiver: cannot start the socket library: %s\n", cause); break;
    case kOpeningSocket: fprintf(err, "telegram-receiver: cannot open a UDP socket: %s\n", cause); break;
    case kBindingPort:
      fprintf(err, "telegram-receiver: cannot bind UDP port %u: %s\n", static_cast<unsigned>(port), cause);
      break;
    case kReceiving: fprintf(err, "telegram-receiver: cannot receive a datagram: %s\n", cause); break;
  }
}

// Starts the socket library, opens the socket and binds it. 0, or the
// error code with the step that failed in `*failed`.
int StartSocket(uint16_t port, SocketState* state, Step* failed) {
  int error = NetStartup();
  if (error != 0) {
    *failed = kStartingLibrary;
    return error;
  }
  state->library_started = true;
  error = NetOpenUdp(&state->sock);
  if (error != 0) {
    *failed = kOpeningSocket;
    return error;
  }
  state->opened = true;
  // A smaller grant than asked, or none, still leaves a working socket.
  (void)NetSetReceiveBuffer(state->sock, kSocketReceiveBufferRequest);
  error = NetBindAnyAddress(state->sock, port);
  if (error != 0) *failed = kBindingPort;
  return error;
}

// Receives and reports datagrams until the limit, the first failure (its
// code in `*error`), or an interrupt. Datagrams lost meanwhile are said on
// `err`.
RunEnd ReceiveDatagrams(NetSocket sock, unsigned char* buffer, const ReceiverSettings& settings,
                        ReportOutput* out, LossWatch* losses, FILE* err, int* error) {
  for (int count = 0; count < settings.datagram_limit; ++count) {
    DatagramWait wait = kNoDatagramWaiting;
    *error = WaitForDatagram(sock, false, &wait);
    if (*error == 0 && wait == kNoDatagramWaiting) {
      // About to wait: let every line received so far reach the reader.
      // While datagrams are queued, keep buffering to keep up with a burst.
      DrainReportOutput(out);
      if (ReportOutputFailure(out) != 0) return OutputEnd(out);
      SayNewLosses(losses, sock, err);
      *error = WaitForDatagram(sock, true, &wait);
    }
    if (*error == 0 && wait == kInterrupted) return kInterruptCame;
    int received = 0;
    if (*error == 0) *error = NetReceive(sock, buffer, static_cast<int>(settings.buffer_size), &received);
    if (*error != 0) return kSocketFailed;
    const Telegram telegram = {buffer, static_cast<size_t>(received)};
    ReportTelegram(telegram, out);
    if (ReportOutputFailure(out) != 0) return OutputEnd(out);
  }
  return kLimitReached;
}

}  // namespace

ReceiverSettings DefaultReceiverSettings() {
  ReceiverSettings settings = {kReceiverPort, kReceiveBufferSize, kDatagramLimit, kLineEndsAsWritten};
  return settings;
}

int RunReceiver(const ReceiverSettings& settings, FILE* out, FILE* err) {
  unsigned char* buffer =
      settings.buffer_size <= INT_MAX ? static_cast<unsigned char*>(malloc(settings.buffer_size)) : nullptr;
  if (buffer == nullptr) {
    fprintf(err, "telegram-receiver: cannot obtain memory for the %lu-byte receive buffer\n",
            static_cast<unsigned long>(settings.buffer_size));
    return 1;
  }
  ReportOutput output = {};
  if (!OpenReportOutput(&output, kReportOutputSize, settings.line_ends, WriteStream, out)) {
    fprintf(err, "telegram-receiver: cannot obtain memory for the %lu-byte report buffer\n",
            static_cast<unsigned long>(kReportOutputSize));
    free(buffer);
    return 1;
  }
  // Without it an interrupt still ends the run, only without the last
  // reports; that is no reason not to receive.
  const int watch_error = WatchInterrupts();
  if (watch_error != 0) {
    char cause[256];
    NetDescribeError(watch_error, cause, sizeof cause);
    fprintf(err, "telegram-receiver: cannot watch for interrupts (%s): an interrupt ends the run without the "
            "reports still buffered\n", cause);
  }

  // Any start-up failure is reported right after the banner, with no
  // receive attempted: on some platforms a receive on an unbound socket
  // waits for ever instead of failing.
  SocketState socket = {0, false, false};
  Step failed = kReceiving;
  int error = StartSocket(settings.port, &socket, &failed);
  const bool bound = error == 0;
  OutputText(&output, kBannerLine);
  RunEnd end = kSocketFailed;
  LossWatch losses = {};
  if (bound) {
    StartLossWatch(&losses, socket.sock, kSocketReceiveBufferRequest, err);
    end = ReceiveDatagrams(socket.sock, buffer, settings, &output, &losses, err, &error);
  }
  if (end == kSocketFailed) {
    OutputFormat(&output, kErrorLineFormat, error);
    SayFailure(err, failed, settings.port, error);
  }
  if (bound) SayTotalLosses(&losses, socket.sock, err);

  // An interrupt or a failed write gets no closing lines: the one ends the
  // report where it stands, the other has nowhere to write them.
  const bool closing_lines = end == kLimitReached || end == kSocketFailed;
  if (closing_lines) OutputText(&output, kClosingLine);
  if (socket.opened) NetClose(socket.sock);
  if (closing_lines) OutputText(&output, kExitLine);
  if (socket.library_started) NetCleanup();
  free(buffer);

  DrainReportOutput(&output);
  CloseReportOutput(&output);
  const int write_failure = ReportOutputFailure(&output);
  // A write that an interrupt ended is the interrupt's end, not a failure.
  if (end == kInterruptCame || write_failure == EINTR) return kRunInterrupted;
  if (write_failure != 0) {
    fprintf(err, "telegram-receiver: cannot write the report: %s\n", strerror(write_failure));
  }
  return end == kLimitReached && write_failure == 0 ? 0 : 1;
}
