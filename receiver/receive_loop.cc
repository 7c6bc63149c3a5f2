#include "receiver/receive_loop.h"

#include <climits>
#include <cstdlib>
#include <cstring>

#include "receiver/interrupt.h"
#include "receiver/socket.h"
#include "receiver/standard_output.h"
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

// The failure in words on standard error, beside the report's error line.
void SayFailure(FILE* err, const char* what, int code) {
  char cause[256];
  NetDescribeError(code, cause, sizeof cause);
  fprintf(err, "telegram-receiver: %s: %s\n", what, cause);
}

// Receives and reports datagrams until the limit, the first failure, or an
// interrupt.
RunEnd ReceiveDatagrams(NetSocket sock, unsigned char* buffer, const ReceiverSettings& settings,
                        ReportOutput* out, FILE* err) {
  for (int count = 0; count < settings.datagram_limit; ++count) {
    int error = 0;
    DatagramWait wait = WaitForDatagram(sock, false, &error);
    if (wait == kNoDatagramWaiting) {
      // About to wait: let every line received so far reach the reader.
      // While datagrams are queued, keep buffering to keep up with a burst.
      DrainReportOutput(out);
      if (ReportOutputFailure(out) != 0) return kOutputFailed;
      wait = WaitForDatagram(sock, true, &error);
    }
    if (wait == kInterrupted) return kInterruptCame;
    int received = -1;
    if (wait == kDatagramWaiting) {
      received = NetReceive(sock, buffer, static_cast<int>(settings.buffer_size));
      if (received < 0) error = NetLastError();
    }
    if (received < 0) {
      OutputFormat(out, kErrorLineFormat, error);
      SayFailure(err, "cannot receive a datagram", error);
      return kSocketFailed;
    }
    Telegram telegram = {buffer, static_cast<size_t>(received)};
    ReportTelegram(telegram, out);
    if (ReportOutputFailure(out) != 0) return kOutputFailed;
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
  // The report output does the buffering: each drain goes to the system in
  // one write instead of being copied again into the stream's own buffer.
  setvbuf(out, nullptr, _IONBF, 0);

  // Without it an interrupt still ends the run, only without the last
  // reports; that is no reason not to receive.
  (void)WatchInterrupts();

  // Any start-up failure is reported right after the banner, with no
  // receive attempted: on some platforms a receive on an unbound socket
  // waits for ever instead of failing.
  NetSocket sock = 0;
  char failed_step[64] = "cannot start the socket library";
  int error = NetStartup();
  const bool started = error == 0;
  bool opened = false;
  if (error == 0) {
    snprintf(failed_step, sizeof failed_step, "cannot open a UDP socket");
    error = NetOpenUdp(&sock);
    opened = error == 0;
  }
  if (error == 0) {
    // A smaller grant than asked, or none, still leaves a working socket.
    (void)NetSetReceiveBuffer(sock, kSocketReceiveBufferRequest);
    snprintf(failed_step, sizeof failed_step, "cannot bind UDP port %u", static_cast<unsigned>(settings.port));
    error = NetBindAnyAddress(sock, settings.port);
  }

  OutputText(&output, kBannerLine);
  RunEnd end = kSocketFailed;
  if (error != 0) {
    OutputFormat(&output, kErrorLineFormat, error);
    SayFailure(err, failed_step, error);
  } else {
    end = ReceiveDatagrams(sock, buffer, settings, &output, err);
  }

  // An interrupt or a failed write gets no closing lines: the one ends the
  // report where it stands, the other has nowhere to write them.
  const bool closing_lines = end == kLimitReached || end == kSocketFailed;
  if (closing_lines) OutputText(&output, kClosingLine);
  if (opened) NetClose(sock);
  if (closing_lines) OutputText(&output, kExitLine);
  if (started) NetCleanup();
  free(buffer);

  DrainReportOutput(&output);
  CloseReportOutput(&output);
  const int write_failure = ReportOutputFailure(&output);
  if (write_failure != 0) {
    fprintf(err, "telegram-receiver: cannot write the report: %s\n", strerror(write_failure));
  }
  if (end == kInterruptCame) return kRunInterrupted;
  return end == kLimitReached && write_failure == 0 ? 0 : 1;
}
