#include "receiver/receive_loop.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "receiver/socket.h"
#include "telegram/report_output.h"
#include "telegram/telegram.h"
#include "telegram/telegram_report.h"

namespace {

// A scanner sends each scan as a burst of blocks at line rate, and a datagram
// the socket has no room for is lost for good. The default buffer (about
// 200 KB on Linux, 64 KB or less on Windows) overflows within a burst.
const int kSocketReceiveBufferSize = 8 * 1024 * 1024;

// Large enough that a 65,507-byte block's 32,743 values go out in one write.
const size_t kReportOutputSize = size_t{256} * 1024;

// Receives and reports datagrams until the limit or the first failed
// receive. 0 at the limit, 1 on a failure.
int ReceiveDatagrams(NetSocket sock, unsigned char* buffer, const ReceiverSettings& settings,
                     ReportOutput* out) {
  for (int count = 0; count < settings.datagram_limit; ++count) {
    // About to wait: let every line received so far reach the reader, since
    // the usual way to stop the program is to interrupt it while it waits.
    // While datagrams are queued, keep buffering to keep up with a burst.
    if (NetDatagramWaiting(sock) != 1) {
      DrainReportOutput(out);
      fflush(out->stream);
    }
    int received = NetReceive(sock, buffer, static_cast<int>(settings.buffer_size));
    if (received < 0) {
      OutputFormat(out, "WSAGetLastError: %d\r\n", NetLastError());
      return 1;
    }
    Telegram telegram = {buffer, static_cast<size_t>(received)};
    ReportTelegram(telegram, out);
  }
  return 0;
}

}  // namespace

ReceiverSettings DefaultReceiverSettings() {
  ReceiverSettings settings = {9999, size_t{2000} * 1024, 1000};
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
  if (!OpenReportOutput(&output, out, kReportOutputSize)) {
    fprintf(err, "telegram-receiver: cannot obtain memory for the %lu-byte report buffer\n",
            static_cast<unsigned long>(kReportOutputSize));
    free(buffer);
    return 1;
  }

  // The report output does the buffering: each drain goes to the system in
  // one write instead of being copied again into the stream's own buffer.
  setvbuf(out, nullptr, _IONBF, 0);

  // Any start-up failure is reported right after the banner, with no
  // receive attempted: on some platforms a receive on an unbound socket
  // waits for ever instead of failing.
  NetSocket sock = 0;
  int error = NetStartup();
  const bool started = error == 0;
  bool opened = false;
  if (error == 0) {
    error = NetOpenUdp(&sock);
    opened = error == 0;
  }
  if (error == 0) {
    // A smaller grant than asked, or none, still leaves a working socket.
    (void)NetSetReceiveBuffer(sock, kSocketReceiveBufferSize);
    error = NetBindAnyAddress(sock, settings.port);
  }

  OutputText(&output, "Receiving datagrams...\n");
  int status = 1;
  if (error != 0) {
    OutputFormat(&output, "WSAGetLastError: %d\r\n", error);
  } else {
    status = ReceiveDatagrams(sock, buffer, settings, &output);
  }

  OutputText(&output, "Finished receiving. Closing socket.\n");
  if (opened) NetClose(sock);
  OutputText(&output, "Exiting.\n");
  if (started) NetCleanup();
  free(buffer);

  DrainReportOutput(&output);
  CloseReportOutput(&output);
  if (fflush(out) != 0 || ferror(out)) {
    fprintf(err, "telegram-receiver: cannot write the report: %s\n", strerror(errno));
    status = 1;
  }
  return status;
}
